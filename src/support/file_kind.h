#pragma once
// What stands at a path, and the read-only attribute that stops a file
// from being replaced or deleted: the one place these checks live.

#include <windows.h>

namespace support {

// A folder (or a link to one) is there.
inline bool is_folder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Something that isn't a folder is there.
inline bool is_file(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A read-only file can be neither overwritten nor deleted until its
// attribute is cleared: the steps that replace, move or take back files
// clear it first. Its other attributes stay.
inline void clear_read_only(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// Deletes `path` even when it is read-only. Best effort.
inline void force_delete(const wchar_t* path) {
    clear_read_only(path);
    DeleteFileW(path);
}

}  // namespace support
