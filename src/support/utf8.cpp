#include "support/utf8.h"

#include <cstdint>

namespace support {

namespace {

// Decodes one code point starting at text[i]; advances i. Nothing on error.
std::optional<char32_t> decode_one(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<std::uint8_t>(text[i++]);
    if (lead < 0x80) return lead;
    int extra;
    char32_t cp;
    char32_t smallest;
    if ((lead & 0xE0) == 0xC0) { extra = 1; cp = lead & 0x1F; smallest = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { extra = 2; cp = lead & 0x0F; smallest = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { extra = 3; cp = lead & 0x07; smallest = 0x10000; }
    else return std::nullopt;
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size()) return std::nullopt;
        const auto next = static_cast<std::uint8_t>(text[i++]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return cp;
}

}  // namespace

std::optional<std::u16string> utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto cp = decode_one(text, i);
        if (!cp) return std::nullopt;
        if (*cp < 0x10000) {
            out.push_back(static_cast<char16_t>(*cp));
        } else {
            const char32_t v = *cp - 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        }
    }
    return out;
}

bool is_ascii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<std::uint8_t>(c) >= 0x80) return false;
    }
    return true;
}

}  // namespace support
