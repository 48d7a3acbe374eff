#include "app/install_path.h"

#include <windows.h>

#include <cwchar>

#include "support/format_bounded.h"
#include "support/plain_name.h"
#include "support/registry_value.h"
#include "support/unique_handle.h"

namespace app {
namespace {

constexpr wchar_t kVendorKeyFormat[] = L"Software\\marlix\\%ls";
constexpr wchar_t kInstallPathValue[] = L"ZMEInstallPath";

bool read_from(HKEY root, const wchar_t* key_path, wchar_t (&path)[kPathUnits]) {
    support::UniqueKey key;
    if (RegOpenKeyExW(root, key_path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
    return support::read_whole_string_value(key.get(), kInstallPathValue, path, kPathUnits) && path[0] != L'\0';
}

}  // namespace

bool read_install_path(const wchar_t* product, wchar_t (&path)[kPathUnits], InstallPathRoots roots) {
    path[0] = L'\0';
    if (!support::is_plain_name(product)) return false;
    wchar_t key_path[128];
    if (support::format_slot(key_path, kVendorKeyFormat, product) != support::kStatusOk) return false;
    bool read = read_from(HKEY_LOCAL_MACHINE, key_path, path);
    if (!read && roots == InstallPathRoots::machine_then_user) read = read_from(HKEY_CURRENT_USER, key_path, path);
    if (!read) {
        path[0] = L'\0';
        return false;
    }
    // A missing or empty value is no folder: a bare "\" would be taken for one.
    if (path[std::wcslen(path) - 1] != L'\\' && !support::append_slot(path, L"\\")) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

}  // namespace app
