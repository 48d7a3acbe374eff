#pragma once
// Version numbers of files: four 16-bit parts a.b.c.d packed into an
// unsigned 64-bit value (a in the top bits), so that newer compares larger.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace support {

using VersionNumber = std::uint64_t;

// Units in a name slot; a version text always fits in one.
inline constexpr std::size_t kVersionTextUnits = 40;

constexpr VersionNumber make_version(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
    return (VersionNumber{a} << 48) | (VersionNumber{b} << 32) | (VersionNumber{c} << 16) | VersionNumber{d};
}

// "1.2.3.4" -> 1.2.3.4. Each part is the integer after the previous dot
// (leading blanks and a sign allowed, reading stops at the first non-digit);
// missing parts are 0 and every part is taken modulo 65536. So "1.2" is
// 1.2.0.0 and "2, 5, 0, 1153" is 2.0.0.0.
VersionNumber ParseVersion(std::u16string_view text);

// Writes "a.b.c.d" into a 40-unit slot. The third number is shown with its
// lowest four bits cleared, as the version texts of the update lists do.
void format_file_version(char16_t (&out)[kVersionTextUnits], VersionNumber version);

}  // namespace support
