#include "support/system_folder.h"

#include <cwchar>

namespace support {

bool restrict_dll_search() {
    // Looked up rather than imported: the program must still start where
    // the call is missing. kernel32 is a known DLL, loaded from the system
    // folder whatever the search order.
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto set_default = kernel == nullptr ? nullptr
                                               : reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void*>(
                                                     GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set_default != nullptr && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
    return SetDllDirectoryW(L"") != FALSE;
}

bool system_file_path(const wchar_t* name, wchar_t* path, std::size_t units) {
    if (path == nullptr || units == 0) return false;
    path[0] = L'\0';
    if (name == nullptr || name[0] == L'\0') return false;
    const UINT length = GetSystemDirectoryW(path, static_cast<UINT>(units));
    const std::size_t name_length = std::wcslen(name);
    // The folder, a backslash, the name and the terminator must all fit.
    if (length == 0 || length >= units || length + 1 + name_length + 1 > units) {
        path[0] = L'\0';
        return false;
    }
    if (path[length - 1] != L'\\') std::wcscat(path, L"\\");
    std::wcscat(path, name);
    return true;
}

HMODULE load_system_library(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    if (!system_file_path(name, path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    return LoadLibraryExW(path, nullptr, 0);
}

}  // namespace support
