#pragma once
// Raw deflate of one data block. The native build uses libdeflate, the
// Windows build zlib; this is the only place that knows which.
//
// One Deflater per thread: it keeps the compressor's work memory between
// blocks. Blocks are compressed independently of each other, or (the best
// level) with the previous block's data as history the matches may reach
// into, which MSZIP decoders keep from one block to the next.

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
    // With `history` (the previous block's data, at most 32 KiB) the stream
    // may refer back into it.
    std::size_t deflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        std::span<const std::uint8_t> history = {});

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The level the packer compresses with. Measured on a mixed 64 MiB product
// tree, libdeflate's level 5 takes a sixth less time than 6 for 0.1 % more
// output, and is still smaller than zlib's level 6; zlib (Windows) gets
// the same level.
inline constexpr int kDeflateLevel = 5;

// The best level (imepack --best): every block after a folder's first is
// compressed by zlib with the previous block as history (libdeflate can't
// take one). Measured on the same tree: history takes 3 % off zlib's
// level-6 output, level 9 only 0.2 % more for half as much time again.
inline constexpr int kBestDeflateLevel = 6;

}  // namespace imepack
