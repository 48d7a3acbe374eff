#include "cabinet_format.h"

namespace imepack::cab {

namespace {

std::uint32_t fold(std::span<const std::uint8_t> bytes, std::uint32_t seed) {
    std::uint32_t sum = seed;
    const std::size_t words = bytes.size() / 4;
    for (std::size_t i = 0; i < words; ++i) sum ^= get32(bytes, i * 4);
    // The tail bytes go in from the highest used position down, as the
    // format's reference code does (not in little-endian order).
    std::uint32_t tail = 0;
    const std::size_t at = words * 4;
    switch (bytes.size() % 4) {
    case 3: tail |= static_cast<std::uint32_t>(bytes[at]) << 16;
            tail |= static_cast<std::uint32_t>(bytes[at + 1]) << 8;
            tail |= bytes[at + 2];
            break;
    case 2: tail |= static_cast<std::uint32_t>(bytes[at]) << 8;
            tail |= bytes[at + 1];
            break;
    case 1: tail |= bytes[at];
            break;
    default: break;
    }
    return sum ^ tail;
}

}  // namespace

std::uint32_t data_block_checksum(std::span<const std::uint8_t> payload, std::uint16_t uncompressed_size) {
    std::uint8_t sizes[4];
    put16(sizes, 0, static_cast<std::uint16_t>(payload.size()));
    put16(sizes, 2, uncompressed_size);
    return fold(sizes, fold(payload, 0));
}

}  // namespace imepack::cab
