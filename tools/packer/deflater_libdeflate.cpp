// Deflater for the native build: libdeflate, which is several times faster
// than zlib and compresses a little better; zlib for blocks compressed with
// history, which libdeflate can't take. Where its output carries a
// Huffman code that strict MSZIP decoders refuse (an empty distance code in
// a block without matches, see deflate_check.h), the block is compressed
// again with zlib, whose codes are always complete.
#include "deflate_check.h"
#include "deflater.h"
#include "zlib_raw.h"

#include <libdeflate.h>

#include <new>

namespace imepack {

struct Deflater::State {
    libdeflate_compressor* compressor = nullptr;
    z_stream zlib{};
    bool zlib_ready = false;
};

Deflater::Deflater(int level) : state_(std::make_unique<State>()) {
    state_->compressor = libdeflate_alloc_compressor(level);
    if (state_->compressor == nullptr) throw std::bad_alloc();
    if (!init_raw_deflate(state_->zlib, level)) {
        libdeflate_free_compressor(state_->compressor);
        throw std::bad_alloc();
    }
    state_->zlib_ready = true;
}

Deflater::~Deflater() {
    libdeflate_free_compressor(state_->compressor);
    if (state_->zlib_ready) deflateEnd(&state_->zlib);
}

std::size_t Deflater::deflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                              std::span<const std::uint8_t> history) {
    if (!history.empty()) return raw_deflate(state_->zlib, in, out, history);
    const std::size_t size =
        libdeflate_deflate_compress(state_->compressor, in.data(), in.size(), out.data(), out.size());
    if (size == 0 || deflate_codes_complete(out.first(size))) return size;
    return raw_deflate(state_->zlib, in, out);
}

}  // namespace imepack
