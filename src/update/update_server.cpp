#include <windows.h>

#include <string>
#include <string_view>

#include "support/registry_value.h"
#include "update/ime_update.h"

// The vendor's server as the build gives it (CMake cache variable
// IMEBASE_UPDATE_SERVER); empty when the build names none.
#ifndef IMEBASE_UPDATE_SERVER_DEFAULT
#define IMEBASE_UPDATE_SERVER_DEFAULT ""
#endif
// 1 in the build of this file that the test programs link, never in the
// installer's (src/update/CMakeLists.txt).
#ifndef IMEBASE_UPDATE_SERVER_FROM_ENVIRONMENT
#define IMEBASE_UPDATE_SERVER_FROM_ENVIRONMENT 0
#endif

namespace update {
namespace {

constexpr const wchar_t* kCompiledServer = L"" IMEBASE_UPDATE_SERVER_DEFAULT;

// The value of the machine's key (64-bit view, shared by both builds).
// HKEY_LOCAL_MACHINE\SOFTWARE is writable by administrators only, so the
// elevated updater takes no address a plain user could have planted.
std::wstring server_from_machine() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServerKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return {};
    wchar_t value[kServerAddressUnits] = {};
    const bool read = support::read_string_value(key, kServerValue, value);
    RegCloseKey(key);
    return read ? std::wstring(value) : std::wstring();
}

#if IMEBASE_UPDATE_SERVER_FROM_ENVIRONMENT
// Test builds only: a user's environment must never steer the elevated
// updater of a shipped program.
std::wstring server_from_environment() {
    const DWORD needed = GetEnvironmentVariableW(kServerVariable, nullptr, 0);
    if (needed <= 1) return {};
    std::wstring value(needed, L'\0');
    const DWORD written = GetEnvironmentVariableW(kServerVariable, value.data(), needed);
    if (written == 0 || written >= needed) return {};
    value.resize(written);
    return value;
}
#endif

bool starts_with_scheme(std::wstring_view address, std::wstring_view scheme) {
    if (address.size() <= scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        if (towlower(address[i]) != scheme[i]) return false;
    }
    return true;
}

// "http://host[:port]" or "https://..."; trailing slashes dropped (the
// list paths bring their own). Anything else is no address.
std::wstring usable(std::wstring address) {
    while (!address.empty() && (address.back() == L'/' || address.back() == L'\\')) address.pop_back();
    if (!starts_with_scheme(address, L"http://") && !starts_with_scheme(address, L"https://")) return {};
    return address;
}

}  // namespace

bool update_server_from_environment_allowed() noexcept {
    return IMEBASE_UPDATE_SERVER_FROM_ENVIRONMENT != 0;
}

std::wstring update_server_address() {
#if IMEBASE_UPDATE_SERVER_FROM_ENVIRONMENT
    if (std::wstring address = usable(server_from_environment()); !address.empty()) return address;
#endif
    if (std::wstring address = usable(server_from_machine()); !address.empty()) return address;
    return usable(kCompiledServer);
}

std::wstring update_list_address(const wchar_t* list_path) {
    const std::wstring server = update_server_address();
    if (server.empty()) return {};
    return server + (list_path != nullptr ? list_path : L"");
}

}  // namespace update
