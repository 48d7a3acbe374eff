// The update server's address as a shipped (release) build finds it: the
// program's own source compiled without the test builds' environment
// override. A user's environment variable must not steer the elevated
// updater; the machine's value, which only administrators write, does.

#include <windows.h>

#include <gtest/gtest.h>

#include "scoped_variable.h"
#include "update/ime_update.h"

namespace {

void set_machine_server(const wchar_t* address) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, update::kServerKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (address == nullptr) {
        RegDeleteValueW(key, update::kServerValue);
    } else {
        RegSetValueExW(key, update::kServerValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(address),
                       static_cast<DWORD>(wcslen(address) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

TEST(ReleaseBuildServerAddress, TheEnvironmentIsIgnoredAndTheMachinesValueTaken) {
    ASSERT_FALSE(update::update_server_from_environment_allowed());
    wintest::ScopedVariable planted(update::kServerVariable, L"http://127.0.0.1:9/planted");
    set_machine_server(nullptr);
    EXPECT_EQ(update::update_server_address(), L"");  // and no server built in
    EXPECT_EQ(update::update_list_address(update::kDriverListPath), L"");
    set_machine_server(L"https://updates.example.com/");
    EXPECT_EQ(update::update_list_address(update::kDriverListPath),
              L"https://updates.example.com/_supports/zzime_drives/UpdateList.txt");
    set_machine_server(nullptr);
}

}  // namespace
