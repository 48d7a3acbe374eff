#pragma once
// Raw deflate through zlib, one block at a time: the Windows build's
// deflater and the native build's fallback for blocks whose codes strict
// MSZIP decoders refuse.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace imepack {

// Negative window bits: raw deflate, no zlib header or trailer.
inline bool init_raw_deflate(z_stream& s, int level) {
    return deflateInit2(&s, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

// Compresses `in` as one whole stream into `out`; 0 when it does not fit.
// `history` (at most 32 KiB) is the data the decoder has just produced
// before this stream: matches may reach back into it.
inline std::size_t raw_deflate(z_stream& s, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                               std::span<const std::uint8_t> history = {}) {
    deflateReset(&s);
    if (!history.empty() &&
        deflateSetDictionary(&s, history.data(), static_cast<uInt>(history.size())) != Z_OK) {
        return 0;
    }
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = static_cast<uInt>(in.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    // Z_FINISH with too little room answers Z_OK or Z_BUF_ERROR: no fit.
    if (::deflate(&s, Z_FINISH) != Z_STREAM_END) return 0;
    return out.size() - s.avail_out;
}

}  // namespace imepack
