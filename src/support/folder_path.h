#pragma once
// Recursive folder creation.

#include <cstdint>

namespace support {

// Creates `path` and every missing parent folder. Returns 0 when the folder
// exists afterwards (or was there already), else the system error code that
// stopped it: 15 (invalid drive) when a missing level has no backslash
// before it, e.g. a relative name whose first folder doesn't exist. Folders
// created before an error stay. A file standing in the path's place counts
// as success, as the system reports it "already exists".
std::uint32_t create_folder_path(const wchar_t* path);

}  // namespace support
