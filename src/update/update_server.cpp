#include <windows.h>

#include <string>

#include "update/ime_update.h"

// The build passes the vendor's server (CMake cache variable
// IMEBASE_UPDATE_SERVER); a build without it talks to a local server.
#ifndef IMEBASE_UPDATE_SERVER_DEFAULT
#define IMEBASE_UPDATE_SERVER_DEFAULT "http://127.0.0.1:18080"
#endif

namespace update {
namespace {

constexpr const wchar_t* kServerVariable = L"IMEBASE_UPDATE_SERVER";
constexpr const wchar_t* kCompiledServer = L"" IMEBASE_UPDATE_SERVER_DEFAULT;

// The variable's value; empty when it is not set (or set to nothing).
std::wstring server_from_environment() {
    const DWORD needed = GetEnvironmentVariableW(kServerVariable, nullptr, 0);
    if (needed <= 1) return {};
    std::wstring value(needed, L'\0');
    const DWORD written = GetEnvironmentVariableW(kServerVariable, value.data(), needed);
    if (written == 0 || written >= needed) return {};
    value.resize(written);
    return value;
}

}  // namespace

std::wstring update_server_address() {
    std::wstring address = server_from_environment();
    if (address.empty()) address = kCompiledServer;
    // The list paths bring their own leading slash.
    while (!address.empty() && (address.back() == L'/' || address.back() == L'\\')) address.pop_back();
    return address;
}

std::wstring update_list_address(const wchar_t* list_path) {
    return update_server_address() + (list_path != nullptr ? list_path : L"");
}

}  // namespace update
