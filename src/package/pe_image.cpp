#include "package/pe_image.h"

namespace package {
namespace {

constexpr std::size_t kLfanewOffset = 0x3C;
constexpr std::size_t kSignatureSize = 4;          // "PE\0\0"
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kOptionalSizeOffset = 16;    // SizeOfOptionalHeader, in the file header
// LoaderFlags within the optional header, and the header's first bytes
// that must be present for it to count.
constexpr std::size_t kLoaderFlagsPe32 = 0x58;
constexpr std::size_t kLoaderFlagsPe32Plus = 0x68;
constexpr std::size_t kFieldSize = 4;

std::uint16_t read16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t read32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

// True when [at, at + size) lies inside the bytes; no overflow for any at.
bool fits(std::span<const std::uint8_t> b, std::uint64_t at, std::uint64_t size) {
    return at <= b.size() && size <= b.size() - at;
}

}  // namespace

std::optional<std::uint32_t> loader_flags_field_offset(std::span<const std::uint8_t> image_start) {
    const auto& b = image_start;
    if (!fits(b, 0, kLfanewOffset + 4) || b[0] != 'M' || b[1] != 'Z') {
        return std::nullopt;
    }
    const std::uint64_t nt = read32(b, kLfanewOffset);
    const std::uint64_t optional = nt + kSignatureSize + kFileHeaderSize;
    if (!fits(b, nt, kSignatureSize + kFileHeaderSize + 2) || b[nt] != 'P' || b[nt + 1] != 'E' ||
        b[nt + 2] != 0 || b[nt + 3] != 0) {
        return std::nullopt;
    }
    std::uint64_t within = 0;
    switch (read16(b, optional)) {
    case kPe32Magic:
        within = kLoaderFlagsPe32;
        break;
    case kPe32PlusMagic:
        within = kLoaderFlagsPe32Plus;
        break;
    default:
        return std::nullopt;
    }
    // The field must belong to the optional header the image declares.
    const std::uint64_t declared = read16(b, nt + kSignatureSize + kOptionalSizeOffset);
    if (declared < within + kFieldSize || !fits(b, optional + within, kFieldSize)) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(optional + within);
}

std::optional<std::uint32_t> read_package_offset(std::span<const std::uint8_t> image) {
    const auto field = loader_flags_field_offset(image);
    if (!field) {
        return std::nullopt;
    }
    return read32(image, *field);
}

bool write_package_offset(std::span<std::uint8_t> image, std::uint32_t offset) {
    const auto field = loader_flags_field_offset(image);
    if (!field) {
        return false;
    }
    for (std::size_t i = 0; i < kFieldSize; ++i) {
        image[*field + i] = static_cast<std::uint8_t>(offset >> (8 * i));
    }
    return true;
}

std::span<const std::uint8_t> package_span(std::span<const std::uint8_t> image) {
    const auto offset = read_package_offset(image);
    if (!offset || *offset == 0 || *offset >= image.size()) {
        return {};
    }
    return image.subspan(*offset);
}

}  // namespace package
