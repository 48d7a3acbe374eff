#pragma once
// File names and paths as the install steps compare them: by their last
// part (Wine's IME manager reports the path an IME was registered with,
// Windows the bare file name) and without regard to case, as the file
// system and the registry treat them.

#include <windows.h>

#include <string>

namespace install {

// The part after the last backslash or slash.
inline const wchar_t* file_name_part(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p != L'\0'; ++p)
        if (*p == L'\\' || *p == L'/') name = p + 1;
    return name;
}

inline bool same_name(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

inline bool same_name(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace install
