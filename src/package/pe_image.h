#pragma once
// The package offset stored in an executable's image header. The offset
// lives in the LoaderFlags field of the optional header, which the loader
// ignores: (e_lfanew) + 0x70 in a PE32 image, + 0x80 in a PE32+ image.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace package {

inline constexpr std::uint16_t kPe32Magic = 0x10B;
inline constexpr std::uint16_t kPe32PlusMagic = 0x20B;
// Enough leading bytes of any ordinary image to find the field.
inline constexpr std::size_t kPeHeaderProbeSize = 4096;

// File offset of the LoaderFlags field, from the start of the image. Empty
// when the bytes are no PE image ("MZ", "PE\0\0", optional-header magic) or
// the header is truncated or points outside the bytes given.
std::optional<std::uint32_t> loader_flags_field_offset(std::span<const std::uint8_t> image_start);

// The stored package offset (0 when the image carries none); empty when the
// header can't be read.
std::optional<std::uint32_t> read_package_offset(std::span<const std::uint8_t> image);

// Stores the package offset; false (and nothing written) when the header
// can't be read.
bool write_package_offset(std::span<std::uint8_t> image, std::uint32_t offset);

// The package bytes behind the image: empty when the header is unreadable,
// the offset is 0 or the offset lies at or beyond the end of the file.
std::span<const std::uint8_t> package_span(std::span<const std::uint8_t> image);

}  // namespace package
