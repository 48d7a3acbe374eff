// Deflater for the native build: libdeflate, which is several times faster
// than zlib and compresses a little better. Where its output carries a
// Huffman code that strict MSZIP decoders refuse (an empty distance code in
// a block without matches, see deflate_check.h), the block is compressed
// again with zlib, whose codes are always complete.
#include "deflate_check.h"
#include "deflater.h"

#include <libdeflate.h>
#include <zlib.h>

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
    // Negative window bits: raw deflate, no zlib header or trailer.
    if (deflateInit2(&state_->zlib, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        libdeflate_free_compressor(state_->compressor);
        throw std::bad_alloc();
    }
    state_->zlib_ready = true;
}

Deflater::~Deflater() {
    libdeflate_free_compressor(state_->compressor);
    if (state_->zlib_ready) deflateEnd(&state_->zlib);
}

std::size_t Deflater::deflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    const std::size_t size =
        libdeflate_deflate_compress(state_->compressor, in.data(), in.size(), out.data(), out.size());
    if (size == 0 || deflate_codes_complete(out.first(size))) return size;
    z_stream& s = state_->zlib;
    deflateReset(&s);
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    if (::deflate(&s, Z_FINISH) != Z_STREAM_END) return 0;
    return out.size() - s.avail_out;
}

}  // namespace imepack
