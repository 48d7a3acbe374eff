#pragma once
// The product description: a UTF-8 text with one "field = value" a line,
// from which the packer writes "InstallInfo.dif".
//
//   # comment lines start with '#'; blank lines are skipped
//   ime_name = ZZDemo
//   shortcut_flags = 0x1CE0
//
// Field names are those of the install information record. Text values are
// everything after the first '=', without the blanks around it; a slot of N
// units takes N-1 UTF-16 units. Numbers are decimal or 0x-hexadecimal and
// fit 32 bits. Fields left out stay empty (zero). A UTF-8 byte-order mark
// and CR LF line ends are accepted.

#include "tool_error.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace imepack {

// The 2668 bytes of the record. Throws InputError with "FILE:LINE: what"
// for an unknown or repeated field, a line without '=', text too long for
// its slot, a malformed number, invalid UTF-8 or a NUL character; and
// "FILE: ..." when ime_name is missing or empty. ime_name must also be
// usable as a file and registry key name, and post_install_open must be a
// path relative to the install folder.
std::vector<std::uint8_t> record_from_description(std::span<const std::uint8_t> text, const std::string& file_name);

}  // namespace imepack
