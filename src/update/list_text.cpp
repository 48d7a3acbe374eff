#include "update/list_text.h"

#include <algorithm>

namespace update {
namespace {

bool starts_with(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

// Leading one-bits of a byte: 0 for ASCII, 1 for a continuation byte, 8 for 0xFF.
int leading_ones(std::uint8_t byte) {
    int n = 0;
    while (n < 8 && (byte & (0x80u >> n)) != 0) ++n;
    return n;
}

// UTF-16 after a two-byte mark. The mark's place is kept as a zero unit at
// the end, so the text's length is half the byte count.
std::u16string decode_utf16(std::span<const std::uint8_t> bytes, bool big_endian) {
    const std::size_t units = (bytes.size() - 2) / 2;
    std::u16string text(units + 1, u'\0');
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint8_t first = bytes[2 + 2 * i];
        const std::uint8_t second = bytes[3 + 2 * i];
        text[i] = big_endian ? static_cast<char16_t>(first << 8 | second) : static_cast<char16_t>(second << 8 | first);
    }
    return text;
}

std::u16string decode_ansi(std::span<const std::uint8_t> bytes, const AnsiDecoder& ansi) {
    const auto zero = std::ranges::find(bytes, std::uint8_t{0});
    const auto text_bytes = bytes.first(static_cast<std::size_t>(zero - bytes.begin()));
    std::u16string text;
    if (ansi) {
        text = ansi(text_bytes);
    } else {
        text.assign(text_bytes.begin(), text_bytes.end());
    }
    const std::size_t end = text.find(u'\0');
    if (end != std::u16string::npos) text.resize(end);
    return text;
}

}  // namespace

bool looks_like_utf8(std::span<const std::uint8_t> bytes) {
    bool any_high = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i++];
        if (lead < 0x80) continue;
        any_high = true;
        const int ones = leading_ones(lead);
        if (ones < 2) return false;
        const auto following = static_cast<std::size_t>(ones - 1);
        if (bytes.size() - i < following) return false;  // cut by the end
        for (std::size_t k = 0; k < following; ++k, ++i) {
            if ((bytes[i] & 0xC0u) != 0x80u) return false;
        }
    }
    return any_high;
}

std::u16string decode_utf8_lenient(std::span<const std::uint8_t> bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    // A byte of the sequence at i; beyond the data it reads as 0.
    const auto at = [&](std::size_t k) -> unsigned { return i + k < bytes.size() ? bytes[i + k] : 0u; };
    while (i < bytes.size()) {
        const unsigned b0 = at(0);
        unsigned unit = 0;
        std::size_t length = 0;
        if (b0 < 0x80u) {
            unit = b0;
            length = 1;
        } else if ((b0 & 0xE0u) == 0xC0u) {
            unit = (b0 & 0x1Fu) << 6 | (at(1) & 0x3Fu);
            length = 2;
        } else if ((b0 & 0xF0u) == 0xE0u) {
            unit = (b0 & 0x0Fu) << 12 | (at(1) & 0x3Fu) << 6 | (at(2) & 0x3Fu);
            length = 3;
        } else if ((b0 & 0xF8u) == 0xF0u) {
            unit = (at(1) & 0x0Fu) << 12 | (at(2) & 0x3Fu) << 6 | (at(3) & 0x3Fu);
            length = 4;
        } else {
            unit = (at(2) & 0x0Fu) << 12 | (at(3) & 0x3Fu) << 6 | (at(4) & 0x3Fu);
            length = 5;
        }
        text.push_back(static_cast<char16_t>(unit));
        i += std::min(length, bytes.size() - i);
    }
    return text;
}

TextEncoding detect_text_encoding(std::span<const std::uint8_t> bytes) {
    if (starts_with(bytes, {0xEF, 0xBB, 0xBF})) return TextEncoding::utf8_marked;
    if (starts_with(bytes, {0xFF, 0xFE})) return TextEncoding::utf16_le;
    if (starts_with(bytes, {0xFE, 0xFF})) return TextEncoding::utf16_be;
    if (looks_like_utf8(bytes)) return TextEncoding::utf8;
    return TextEncoding::ansi;
}

std::u16string decode_list_text(std::span<const std::uint8_t> bytes, const AnsiDecoder& ansi) {
    switch (detect_text_encoding(bytes)) {
        case TextEncoding::utf8_marked:
            return decode_utf8_lenient(bytes.subspan(3));
        case TextEncoding::utf16_le:
            return decode_utf16(bytes, false);
        case TextEncoding::utf16_be:
            return decode_utf16(bytes, true);
        case TextEncoding::utf8:
            return decode_utf8_lenient(bytes);
        case TextEncoding::ansi:
            break;
    }
    return decode_ansi(bytes, ansi);
}

}  // namespace update
