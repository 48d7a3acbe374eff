#include "app/protected_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace app {
namespace {

bool same_text(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool is_plain_absolute(std::wstring_view path) {
    if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) {
        const wchar_t drive = path[0];
        return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    }
    // A share: two separators, then a server name (not "?" or ".").
    if (path.size() >= 3 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/')) {
        return !(path[2] == L'?' || path[2] == L'.');
    }
    return false;
}

// The system's full, long spelling without trailing separators. A path
// that doesn't exist keeps its full spelling (it can't be removed anyway).
std::wstring canonical(const wchar_t* path) {
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path, needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return {};
    full.resize(written);

    const DWORD long_needed = GetLongPathNameW(full.c_str(), nullptr, 0);
    if (long_needed != 0) {
        std::wstring long_path(long_needed, L'\0');
        const DWORD long_written = GetLongPathNameW(full.c_str(), long_path.data(), long_needed);
        if (long_written != 0 && long_written < long_needed) {
            long_path.resize(long_written);
            full = std::move(long_path);
        }
    }
    while (!full.empty() && full.back() == L'\\') full.pop_back();
    return full;
}

// "C:" or "\\server" or "\\server\share" (already canonical).
bool is_root(std::wstring_view path) {
    if (path.size() == 2 && path[1] == L':') return true;
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        const std::size_t server_end = path.find(L'\\', 2);
        return server_end == std::wstring_view::npos || path.find(L'\\', server_end + 1) == std::wstring_view::npos;
    }
    return false;
}

std::wstring parent_of(std::wstring_view path) {
    const std::size_t last = path.rfind(L'\\');
    return last == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, last));
}

void add(std::vector<std::wstring>& list, const wchar_t* path) {
    if (path == nullptr || path[0] == L'\0') return;
    std::wstring text = canonical(path);
    if (!text.empty()) list.push_back(std::move(text));
}

void add_special_folder(std::vector<std::wstring>& list, int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) add(list, path);
}

void add_environment_folder(std::vector<std::wstring>& list, const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(name, path, MAX_PATH);
    if (length != 0 && length < MAX_PATH) add(list, path);
}

// The folder that holds the users' profiles, as the system records it.
void add_profiles_folder(std::vector<std::wstring>& list) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
        return;
    }
    wchar_t stored[MAX_PATH] = {};
    DWORD bytes = sizeof stored - sizeof(wchar_t);  // room left for a terminator
    DWORD type = REG_NONE;
    const LONG status =
        RegQueryValueExW(key, L"ProfilesDirectory", nullptr, &type, reinterpret_cast<BYTE*>(stored), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return;
    wchar_t expanded[MAX_PATH] = {};
    const DWORD length = ExpandEnvironmentStringsW(stored, expanded, MAX_PATH);
    if (length != 0 && length <= MAX_PATH) add(list, expanded);
}

// Folders that may be neither removed nor emptied by removing a folder
// above them.
std::vector<std::wstring> guarded_folders() {
    std::vector<std::wstring> list;
    wchar_t path[MAX_PATH] = {};
    if (const UINT n = GetWindowsDirectoryW(path, MAX_PATH); n != 0 && n < MAX_PATH) add(list, path);
    if (const UINT n = GetSystemDirectoryW(path, MAX_PATH); n != 0 && n < MAX_PATH) add(list, path);
    if (const UINT n = GetSystemWow64DirectoryW(path, MAX_PATH); n != 0 && n < MAX_PATH) add(list, path);
    for (const int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES,
                            CSIDL_PROGRAM_FILESX86, CSIDL_COMMON_APPDATA, CSIDL_FONTS, CSIDL_PROFILE}) {
        add_special_folder(list, csidl);
    }
    // A 32-bit process is shown the 32-bit Program Files by the shell; the
    // environment also names the native one.
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"SystemRoot",
                                L"windir", L"ProgramData", L"ALLUSERSPROFILE", L"USERPROFILE"}) {
        add_environment_folder(list, name);
    }
    add_profiles_folder(list);
    return list;
}

// The folders whose direct children are profile roots.
std::vector<std::wstring> profiles_folders() {
    std::vector<std::wstring> list;
    add_profiles_folder(list);
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path))) {
        const std::wstring profile = canonical(path);
        if (const std::wstring parent = parent_of(profile); !parent.empty()) list.push_back(parent);
    }
    return list;
}

// `ancestor` is `path` itself or a folder above it.
bool is_same_or_above(std::wstring_view ancestor, std::wstring_view path) {
    if (path.size() < ancestor.size()) return false;
    if (!same_text(ancestor, path.substr(0, ancestor.size()))) return false;
    return path.size() == ancestor.size() || path[ancestor.size()] == L'\\';
}

// Folders whose every subfolder is the system's.
std::vector<std::wstring> system_folders() {
    std::vector<std::wstring> list;
    wchar_t path[MAX_PATH] = {};
    if (const UINT n = GetWindowsDirectoryW(path, MAX_PATH); n != 0 && n < MAX_PATH) add(list, path);
    if (const UINT n = GetSystemDirectoryW(path, MAX_PATH); n != 0 && n < MAX_PATH) add(list, path);
    if (const UINT n = GetSystemWow64DirectoryW(path, MAX_PATH); n != 0 && n < MAX_PATH) add(list, path);
    for (const int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_FONTS}) add_special_folder(list, csidl);
    for (const wchar_t* name : {L"SystemRoot", L"windir"}) add_environment_folder(list, name);
    return list;
}

bool is_inside_any(std::wstring_view path, const std::vector<std::wstring>& folders) {
    for (const std::wstring& folder : folders)
        if (is_same_or_above(folder, path)) return true;
    return false;
}

}  // namespace

bool is_system_location(const wchar_t* folder) {
    if (is_protected_folder(folder)) return true;
    return is_inside_any(canonical(folder), system_folders());
}

bool is_inside_profile(const wchar_t* folder) {
    if (folder == nullptr) return true;
    std::vector<std::wstring> profiles = profiles_folders();
    add_special_folder(profiles, CSIDL_PROFILE);
    add_environment_folder(profiles, L"USERPROFILE");
    return is_inside_any(canonical(folder), profiles);
}

bool passes_through_link(const wchar_t* folder) {
    if (folder == nullptr || !is_plain_absolute(folder)) return true;
    const std::wstring path = canonical(folder);
    if (path.empty()) return true;
    // Every level from the first below the root down to the folder itself.
    std::size_t from = 2;  // "C:\..."
    if (path[0] == L'\\') {  // "\\server\share\...": past the share
        from = path.find(L'\\', 2);
        if (from != std::wstring::npos) from = path.find(L'\\', from + 1);
    }
    while (from != std::wstring::npos && from < path.size()) {
        const std::size_t next = path.find(L'\\', from + 1);
        const std::wstring level = path.substr(0, next);
        const DWORD attributes = GetFileAttributesW(level.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
        from = next;
    }
    return false;
}

bool is_protected_folder(const wchar_t* folder) {
    if (folder == nullptr || !is_plain_absolute(folder)) return true;
    const std::wstring path = canonical(folder);
    if (path.empty() || is_root(path)) return true;

    for (const std::wstring& guarded : guarded_folders()) {
        if (is_same_or_above(path, guarded)) return true;
    }
    const std::wstring parent = parent_of(path);
    for (const std::wstring& profiles : profiles_folders()) {
        if (same_text(parent, profiles)) return true;
    }
    return false;
}

}  // namespace app
