#pragma once
// Raw deflate of one data block. The native build uses libdeflate, the
// Windows build zlib; this is the only place that knows which.
//
// One Deflater per thread: it keeps the compressor's work memory between
// blocks, and blocks are compressed independently of each other.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace imepack {

class Deflater {
public:
    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Writes `in` as one complete raw deflate stream (final block set) into
    // `out` and returns its size, or 0 when it doesn't fit into `out`.
    std::size_t deflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The level the packer compresses with.
inline constexpr int kDeflateLevel = 6;

}  // namespace imepack
