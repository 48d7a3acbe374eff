#pragma once
// Editing the version resource of a file as bytes: the published layout
// of a tree of blocks, each a 16-bit total length (the block with its
// children, without trailing padding), a 16-bit value length (characters
// for text, bytes for binary values), a 16-bit type (1 text, 0 binary), a
// NUL-terminated UTF-16LE key, padding to 4 bytes, the value, padding to 4
// bytes, and the children. The root holds the fixed file information;
// its "StringFileInfo" children hold one string table per language and code
// page, and those hold the String blocks (key and text).

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace support {

// Replaces the text of every String block keyed exactly `key` (case
// matters) in every string table of the root's "StringFileInfo" blocks by
// `text` (up to its first NUL, if any). The lengths of the String's table,
// of its "StringFileInfo" block and of the root follow: they grow or shrink
// by the change of the String's padded size, or end exactly at the new
// String when it is their last child.
//
// `info` is the version information as the system hands it out (the
// resource, possibly followed by more bytes). The result is the new
// resource, exactly as long as its root says. There is none when no String
// has the key, when the blocks are damaged (a length that leaves its
// parent or the buffer, a key without its NUL), or when a length would
// pass 65535 bytes.
std::optional<std::vector<std::uint8_t>> replace_version_string(std::span<const std::uint8_t> info,
                                                                 std::u16string_view key,
                                                                 std::u16string_view text);

}  // namespace support
