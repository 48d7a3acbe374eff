#pragma once
// UTF-8 checks and conversion for names and description texts.

#include <optional>
#include <string>
#include <string_view>

namespace imepack {

// The UTF-16 form of `text`, or nothing when it isn't well-formed UTF-8
// (stray or missing continuation bytes, overlong forms, surrogates, code
// points beyond U+10FFFF).
std::optional<std::u16string> utf8_to_utf16(std::string_view text);

// True when every byte is below 0x80.
bool is_ascii(std::string_view text);

}  // namespace imepack
