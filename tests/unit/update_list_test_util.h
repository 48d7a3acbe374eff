#pragma once
// Update list texts in the encodings a list file may use, for the decoder
// and parser tests. A tiny stand-in for the GBK code page knows the few
// Chinese characters the tests use.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace update_test {

using Bytes = std::vector<std::uint8_t>;

struct GbkChar {
    char16_t unit;
    std::uint8_t lead, trail;
};

inline constexpr GbkChar kGbk[] = {
    {u'五', 0xCE, 0xE5}, {u'笔', 0xB1, 0xCA}, {u'码', 0xC2, 0xEB}, {u'表', 0xB1, 0xED}, {u'一', 0xD2, 0xBB},
};

inline Bytes ascii_of(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// BMP text only (no surrogates in these tests).
inline Bytes utf8_of(std::u16string_view text) {
    Bytes out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<std::uint8_t>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<std::uint8_t>(0xC0 | c >> 6));
            out.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<std::uint8_t>(0xE0 | c >> 12));
            out.push_back(static_cast<std::uint8_t>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

inline Bytes with_utf8_mark(Bytes bytes) {
    bytes.insert(bytes.begin(), {0xEF, 0xBB, 0xBF});
    return bytes;
}

inline Bytes utf16le_of(std::u16string_view text) {
    Bytes out{0xFF, 0xFE};
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

inline Bytes utf16be_of(std::u16string_view text) {
    Bytes out{0xFE, 0xFF};
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c));
    }
    return out;
}

inline Bytes gbk_of(std::u16string_view text) {
    Bytes out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<std::uint8_t>(c));
            continue;
        }
        bool known = false;
        for (const auto& g : kGbk) {
            if (g.unit == c) {
                out.push_back(g.lead);
                out.push_back(g.trail);
                known = true;
            }
        }
        if (!known) throw std::invalid_argument("character outside the test's GBK table");
    }
    return out;
}

// The stand-in ANSI converter: ASCII as it is, known pairs to their
// characters, anything else "?".
inline std::u16string fake_gbk(std::span<const std::uint8_t> bytes) {
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] < 0x80) {
            out.push_back(bytes[i]);
            continue;
        }
        char16_t unit = u'?';
        if (i + 1 < bytes.size()) {
            for (const auto& g : kGbk) {
                if (g.lead == bytes[i] && g.trail == bytes[i + 1]) unit = g.unit;
            }
            ++i;
        }
        out.push_back(unit);
    }
    return out;
}

}  // namespace update_test
