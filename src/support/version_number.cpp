#include "support/version_number.h"

#include <cstdio>

namespace support {
namespace {

// Reads an integer the way the C library's atoi does: blanks, an optional
// sign, then digits up to the first non-digit. Overflow wraps; only the low
// 16 bits are kept by the caller anyway.
std::uint32_t leading_integer(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - u'0');
    return negative ? 0u - value : value;
}

}  // namespace

VersionNumber ParseVersion(std::u16string_view text) {
    VersionNumber parts[4] = {0, 0, 0, 0};
    std::u16string_view rest = text;
    for (int n = 0; n < 4; ++n) {
        parts[n] = leading_integer(rest) & 0xFFFFu;
        const std::size_t dot = rest.find(u'.');
        if (dot == std::u16string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    return (parts[0] << 48) | (parts[1] << 32) | (parts[2] << 16) | parts[3];
}

void format_file_version(char16_t (&out)[kVersionTextUnits], VersionNumber version) {
    const auto high = static_cast<std::uint32_t>(version >> 32);
    const auto low = static_cast<std::uint32_t>(version);
    char narrow[kVersionTextUnits];
    const int n = std::snprintf(narrow, sizeof narrow, "%u.%u.%u.%u", (high >> 16) & 0xFFFFu, high & 0xFFFFu,
                                (low >> 16) & 0xFFF0u, low & 0xFFFFu);
    std::size_t i = 0;
    for (; n > 0 && i < static_cast<std::size_t>(n) && i + 1 < kVersionTextUnits; ++i) out[i] = static_cast<char16_t>(narrow[i]);
    out[i] = u'\0';
}

}  // namespace support
