#include "install/access_rights.h"

#include <aclapi.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

#include "app/folders.h"
#include "app/protected_folders.h"
#include "install/users_acl.h"
#include "support/format_bounded.h"

namespace install {
namespace {

RightsWatcher g_watcher = nullptr;

void watch(const wchar_t* path, GivenRights rights) {
    if (g_watcher != nullptr) g_watcher(path, rights);
}

// `path` made full, without trailing separators; empty when it can't be.
std::wstring full_path(const wchar_t* path) {
    wchar_t full[app::kPathUnits] = {};
    const DWORD length = GetFullPathNameW(path, app::kPathUnits, full, nullptr);
    if (length == 0 || length >= app::kPathUnits) return {};
    std::wstring text(full, length);
    while (!text.empty() && text.back() == L'\\') text.pop_back();
    return text;
}

// The object's present descriptor, its discretionary access list only.
bool read_access_list(const wchar_t* path, HeapBlock& descriptor) {
    DWORD needed = 0;
    if (GetFileSecurityW(path, DACL_SECURITY_INFORMATION, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        report_failure("GetFileSecurity() failed. Error %d");
        return false;
    }
    if (!descriptor.allocate(needed)) {
        report_failure("HeapAlloc() failed. Error %d");
        return false;
    }
    if (!GetFileSecurityW(path, DACL_SECURITY_INFORMATION, descriptor.get(), needed, &needed)) {
        report_failure("GetFileSecurity() failed. Error %d");
        return false;
    }
    return true;
}

}  // namespace

void set_rights_watcher(RightsWatcher watcher) { g_watcher = watcher; }

int grant_users_access(const wchar_t* path) {
    if (path == nullptr) return 0;
    watch(path, GivenRights::UsersModify);
    UsersSid users;
    if (!users.create()) return 0;
    HeapBlock old;
    if (!read_access_list(path, old)) return 0;
    GrantedDescriptor granted;
    if (!build_granted_descriptor(old.get(), users.get(), granted, system_acl_routines())) return 0;
    if (!SetFileSecurityW(path, DACL_SECURITY_INFORMATION, granted.descriptor())) {
        report_failure("SetFileSecurity() failed. Error %d");
        return 0;
    }
    return 1;
}

int restore_default_rights(const wchar_t* path) {
    if (path == nullptr) return 0;
    watch(path, GivenRights::FolderDefault);
    // An empty list that isn't protected: the object keeps no entries of
    // its own and takes its folder's inheritable ones.
    ACL empty{};
    if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) {
        report_failure("InitializeAcl() failed. Error %d");
        return 0;
    }
    const DWORD status = SetNamedSecurityInfoW(const_cast<wchar_t*>(path), SE_FILE_OBJECT,
                                               DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                               nullptr, nullptr, &empty, nullptr);
    if (status != ERROR_SUCCESS) {
        SetLastError(status);
        report_failure("SetNamedSecurityInfo() failed. Error %d");
        return 0;
    }
    return 1;
}

namespace {

// "<common application data>\ZinzinIMEs\" made full; empty when the
// folder can't be named. Looked up once: the run asks for every file it
// places, and the shell's look-up costs more than placing a small file.
std::wstring find_data_area() {
    wchar_t common[app::kPathUnits] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common))) return {};
    std::wstring area = full_path(common);
    if (area.empty()) return {};
    return area + L"\\ZinzinIMEs\\";
}

}  // namespace

bool is_in_data_area(const wchar_t* path) {
    if (path == nullptr) return false;
    static const std::wstring area = find_data_area();
    if (area.empty()) return false;
    // Made full first: "..\" can't lead out of the area unseen.
    const std::wstring full = full_path(path);
    return full.size() > area.size() &&
           CompareStringOrdinal(full.c_str(), static_cast<int>(area.size()), area.c_str(),
                                static_cast<int>(area.size()), TRUE) == CSTR_EQUAL;
}

int apply_install_rights(const wchar_t* path) {
    // ProgramData lets any user make folders: a data folder made in advance
    // as a link to a folder of programs must not open that folder to Users.
    const bool data = is_in_data_area(path) && !app::passes_through_link(path);
    return data ? grant_users_access(path) : restore_default_rights(path);
}

int copy_file_granting_users(const wchar_t* existing, const wchar_t* new_file, BOOL fail_if_exists) {
    if (existing == nullptr || new_file == nullptr) return 0;
    if (std::wcscmp(existing, new_file) == 0) return 1;
    if (!CopyFileW(existing, new_file, fail_if_exists)) return 0;
    return apply_install_rights(new_file);
}

void clean_virtualized_store() {
    wchar_t cache[app::kPathUnits] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, SHGFP_TYPE_CURRENT, cache))) return;
    if (GetFileAttributesW(cache) == INVALID_FILE_ATTRIBUTES) return;
    const std::size_t length = std::wcslen(cache);
    if (length == 0 || cache[length - 1] != L'\\') support::append_slot(cache, L"\\");
    // No shadow copies at all (the common case): nothing to look for under
    // each drive letter.
    wchar_t virtualized[app::kPathUnits];
    if (support::format_slot(virtualized, L"%lsVirtualized", cache) != support::kStatusOk) return;
    if (GetFileAttributesW(virtualized) == INVALID_FILE_ATTRIBUTES &&
        (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
        return;

    for (wchar_t drive = L'c'; drive <= L'y'; ++drive) {
        const wchar_t letter[2] = {drive, L'\0'};
        wchar_t shadow[app::kPathUnits];
        // A cut path would name a folder above the product's shadow.
        if (support::format_slot(shadow, L"%lsVirtualized\\%ls\\ProgramData\\ZinzinIMEs\\", cache, letter) !=
            support::kStatusOk) {
            return;
        }
        app::remove_directory_tree(shadow);
    }
}

}  // namespace install
