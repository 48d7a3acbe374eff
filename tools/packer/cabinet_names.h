#pragma once
// The names a cabinet may store: what Windows (and the installer's own
// extraction) can create below the folder it extracts to.

#include "cabinet_writer.h"

#include <span>
#include <string>

namespace imepack {

// What is wrong with one stored name, or an empty text when nothing is.
// A name is 1 to 255 bytes of UTF-8, its parts separated by single
// backslashes, with no empty part, no "." or ".." part, no part ending in
// a dot or blank, no device name (CON, NUL, COM1 ...) and none of the
// characters Windows refuses in file names.
std::string stored_name_problem(const std::string& name);

// Throws InputError when two names differ only in letter case (Windows
// would extract one over the other) or a name is both a file and a folder.
void check_names_distinct(std::span<const CabinetFile> files);

}  // namespace imepack
