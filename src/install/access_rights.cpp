#include "install/access_rights.h"

#include <shlobj.h>

#include <cwchar>

#include "app/folders.h"
#include "install/users_acl.h"
#include "support/format_bounded.h"

namespace install {
namespace {

// The security identifier of the local group "Users", looked up by name.
bool lookup_users(HeapBlock& sid) {
    DWORD sid_bytes = 0;
    DWORD domain_units = 0;
    SID_NAME_USE use = SidTypeUnknown;
    if (LookupAccountNameW(nullptr, L"Users", nullptr, &sid_bytes, nullptr, &domain_units, &use)) return false;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        report_failure("LookupAccountName() failed. Error %d");
        return false;
    }
    HeapBlock domain;
    if (!sid.allocate(sid_bytes) || !domain.allocate(domain_units * sizeof(wchar_t))) {
        report_failure("HeapAlloc() failed. Error %d");
        return false;
    }
    if (!LookupAccountNameW(nullptr, L"Users", sid.get(), &sid_bytes, static_cast<wchar_t*>(domain.get()),
                            &domain_units, &use)) {
        report_failure("LookupAccountName() failed. Error %d");
        return false;
    }
    return true;
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

int grant_users_access(const wchar_t* path) {
    HeapBlock users;
    if (!lookup_users(users)) return 0;
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

int copy_file_granting_users(const wchar_t* existing, const wchar_t* new_file, BOOL fail_if_exists) {
    if (existing == nullptr || new_file == nullptr) return 0;
    if (std::wcscmp(existing, new_file) == 0) return 1;
    if (!CopyFileW(existing, new_file, fail_if_exists)) return 0;
    return grant_users_access(new_file);
}

void clean_virtualized_store() {
    wchar_t cache[app::kPathUnits] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, SHGFP_TYPE_CURRENT, cache))) return;
    if (GetFileAttributesW(cache) == INVALID_FILE_ATTRIBUTES) return;
    const std::size_t length = std::wcslen(cache);
    if (length == 0 || cache[length - 1] != L'\\') support::append_slot(cache, L"\\");

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
