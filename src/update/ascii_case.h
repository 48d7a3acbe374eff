#pragma once
// Case-blind comparison of list keywords. Only ASCII letters fold: the
// keywords are ASCII, and a full-width or accented letter in a list is a
// different word.

#include <algorithm>
#include <string_view>

namespace update {

constexpr char16_t fold_ascii_upper(char16_t c) noexcept {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

constexpr bool same_ascii_text(std::u16string_view a, std::u16string_view b) noexcept {
    return std::ranges::equal(a, b, [](char16_t x, char16_t y) { return fold_ascii_upper(x) == fold_ascii_upper(y); });
}

}  // namespace update
