// Deflater over zlib (Windows build, linked statically).
#include "deflater.h"
#include "zlib_raw.h"

#include <new>

namespace imepack {

struct Deflater::State {
    z_stream stream{};
};

Deflater::Deflater(int level) : state_(std::make_unique<State>()) {
    if (!init_raw_deflate(state_->stream, level)) {
        throw std::bad_alloc();
    }
}

Deflater::~Deflater() {
    deflateEnd(&state_->stream);
}

std::size_t Deflater::deflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                              std::span<const std::uint8_t> history) {
    return raw_deflate(state_->stream, in, out, history);
}

}  // namespace imepack
