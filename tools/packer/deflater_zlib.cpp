// Deflater over zlib (Windows build, linked statically).
#include "deflater.h"

#include <zlib.h>

#include <new>

namespace imepack {

struct Deflater::State {
    z_stream stream{};
};

Deflater::Deflater(int level) : state_(std::make_unique<State>()) {
    // Negative window bits: raw deflate, no zlib header or trailer.
    if (deflateInit2(&state_->stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
}

Deflater::~Deflater() {
    deflateEnd(&state_->stream);
}

std::size_t Deflater::deflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    z_stream& s = state_->stream;
    deflateReset(&s);
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    // Z_FINISH with too little room answers Z_OK or Z_BUF_ERROR: no fit.
    if (::deflate(&s, Z_FINISH) != Z_STREAM_END) return 0;
    return out.size() - s.avail_out;
}

}  // namespace imepack
