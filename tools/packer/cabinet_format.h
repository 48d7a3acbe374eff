#pragma once
// The Microsoft cabinet (MSCF) layout as this tool writes and reads it:
// one cabinet, no reserve areas, no neighbouring cabinets.
//
//   CFHEADER (36 bytes) | CFFOLDER (8 bytes) x folders |
//   CFFILE (16 bytes + NUL-terminated name) x files | CFDATA blocks
//
// Each CFDATA block holds at most 32 KiB of uncompressed data; for MSZIP
// its payload is "CK" followed by a complete raw deflate stream.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace imepack::cab {

inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::size_t kFolderEntrySize = 8;
inline constexpr std::size_t kFileEntryFixedSize = 16;
inline constexpr std::size_t kDataHeaderSize = 8;

inline constexpr std::uint8_t kVersionMinor = 3;
inline constexpr std::uint8_t kVersionMajor = 1;

inline constexpr std::uint16_t kCompressNone = 0;
inline constexpr std::uint16_t kCompressMszip = 1;

// Uncompressed bytes in one data block.
inline constexpr std::size_t kBlockSize = 32768;
// The most payload a data block may carry (the format allows 6 KiB of growth).
inline constexpr std::size_t kMaxBlockPayload = kBlockSize + 6144;

// Format limits: 16-bit counts, names up to 255 bytes, a cabinet below 2 GiB.
inline constexpr std::size_t kMaxFiles = 65535;
inline constexpr std::size_t kMaxFolders = 65535;
inline constexpr std::size_t kMaxBlocksPerFolder = 65535;
inline constexpr std::size_t kMaxNameBytes = 255;
inline constexpr std::uint64_t kMaxCabinetSize = 0x7FFFFFFF;

// File attribute bits of CFFILE.
inline constexpr std::uint16_t kAttribReadOnly = 0x01;
inline constexpr std::uint16_t kAttribHidden = 0x02;
inline constexpr std::uint16_t kAttribSystem = 0x04;
inline constexpr std::uint16_t kAttribArchive = 0x20;
inline constexpr std::uint16_t kAttribExecute = 0x40;
inline constexpr std::uint16_t kAttribNameIsUtf8 = 0x80;

// Header flags we refuse to read (this tool writes single cabinets only).
inline constexpr std::uint16_t kFlagPrevCabinet = 0x0001;
inline constexpr std::uint16_t kFlagNextCabinet = 0x0002;
inline constexpr std::uint16_t kFlagReservePresent = 0x0004;

inline std::uint16_t get16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline void put16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void append16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void append32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The CFDATA checksum of the format: the payload folded into 32-bit
// little-endian words by XOR (a short tail taken in its own odd byte order),
// then the block's size fields folded on top.
std::uint32_t data_block_checksum(std::span<const std::uint8_t> payload, std::uint16_t uncompressed_size);

}  // namespace imepack::cab
