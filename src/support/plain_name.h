#pragma once
// Names from the package that become one file, folder or registry key name:
// the IME name (registry subkeys, "%s.zin.ime") and the display name (the
// Start-menu folder). A name that is empty, "." or "..", or that holds a
// path separator, a drive colon or a character no file name may hold,
// would name another place than the product's own (the Uninstall key
// itself, a folder above the Start menu, a file outside the system
// folder), so the steps refuse it.

#include <cwchar>

namespace support {

inline bool is_plain_name(const wchar_t* name) {
    if (name == nullptr || name[0] == L'\0') return false;
    if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0) return false;
    for (const wchar_t* p = name; *p != L'\0'; ++p)
        if (*p < L' ') return false;
    return std::wcspbrk(name, L"\\/:*?\"<>|") == nullptr;
}

}  // namespace support
