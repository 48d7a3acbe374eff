#pragma once
// What every fuzz target shares: a check that stops the run (a finding)
// when the parser's answer contradicts its input, and small byte helpers.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

// Unlike assert, active in every build type: a broken promise is a finding.
#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

namespace fuzz {

inline std::span<const std::uint8_t> bytes_of(const std::uint8_t* data, std::size_t size) {
    return {data, size};
}

// Pairs of bytes as UTF-16LE units; an odd last byte is dropped.
inline std::u16string utf16_of(std::span<const std::uint8_t> bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return text;
}

}  // namespace fuzz
