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

// True when every block of the stream up to its final block has complete
// code-length, literal/length and distance codes. The symbols of blocks
// before the final one are decoded to find the next header (and must be
// well formed); the final block's symbols are not looked at.
bool deflate_codes_complete(std::span<const std::uint8_t> stream);

}  // namespace imepack
