#pragma once
// A structural check of a raw deflate stream for strict MSZIP decoders.
//
// The deflate format allows a compressed block to carry an empty or
// incomplete Huffman code (libdeflate writes an empty distance code for a
// block without matches), and zlib accepts that. libmspack, which cabextract
// uses, builds its decoding tables only from complete codes and rejects
// such a block. The packer therefore walks each block it compressed and
// uses another compressor where this check fails.

#include <cstdint>
#include <span>

namespace imepack {

// True when the stream is well formed, ends with its final block, and every
// dynamic block's code-length, literal/length and distance codes are
// complete Huffman codes.
bool deflate_codes_complete(std::span<const std::uint8_t> stream);

}  // namespace imepack
