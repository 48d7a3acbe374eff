#pragma once
// The program's one strict UTF-8 decoder: the packer's names and
// description texts, the install list kept beside the package. (The update
// list's reader decodes on its own, leniently, the way that list's
// producers have always been read: update/list_text.h.)

#include <optional>
#include <string>
#include <string_view>

namespace support {

// The UTF-16 form of `text`, or nothing when it isn't well-formed UTF-8
// (stray or missing continuation bytes, overlong forms, surrogates, code
// points beyond U+10FFFF).
std::optional<std::u16string> utf8_to_utf16(std::string_view text);

// True when every byte is below 0x80.
bool is_ascii(std::string_view text);

}  // namespace support
