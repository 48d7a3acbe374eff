#pragma once
// Which stored file names of a cabinet may be written below the extraction
// folder. A cabinet is outside data: a name that reaches outside the folder
// (an absolute path, a drive, a ".." step, a stream, a device) is refused
// rather than trimmed, so that nothing is ever written anywhere else.

#include <string_view>

namespace package {

// True when `name` (UTF-16, folders separated by backslashes or forward
// slashes, both of which the system treats as separators) names a file
// inside the folder it is extracted to. Refused:
//   - an empty name, or one that starts with a separator (root, UNC, "\\?\")
//   - any ":" (a drive such as "C:", or a named stream such as "a.txt:s")
//   - an empty part ("a\\b", a trailing separator)
//   - a part made only of dots and spaces (".", "..", "...", ".. "), which
//     the system would read as the current or parent folder
//   - a part naming a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$,
//     CONOUT$, with or without an extension)
bool is_contained_name(std::u16string_view name);

}  // namespace package
