#pragma once
// A read-only file can be neither overwritten nor deleted until its
// attribute is cleared: the steps that replace, move or take back files
// clear it first.

#include <windows.h>

namespace install {

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

}  // namespace install
