// The names a repair installs with: the uninstall entry's, else Windows'
// registered owner and organisation, cut to 127 characters.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "remove/repair_run.h"
#include "scratch.h"

namespace {

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";

std::optional<std::wstring> read_value(const wchar_t* key, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

void write_value(const wchar_t* key, const wchar_t* name, const std::optional<std::wstring>& text) {
    if (!text) {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, name);
        return;
    }
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, name, REG_SZ, text->c_str(),
                    static_cast<DWORD>(text->size() * sizeof(wchar_t)));
}

// Windows' registered names, set for the test and given back afterwards.
class RegisteredUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        product_ = wintest::unique_name(L"IRREPAIR");
        entry_ = kUninstallKey + product_;
        owner_ = read_value(kWindowsKey, L"RegisteredOwner");
        organisation_ = read_value(kWindowsKey, L"RegisteredOrganization");
        write_value(kWindowsKey, L"RegisteredOwner", L"系统用户");
        write_value(kWindowsKey, L"RegisteredOrganization", L"系统公司");
    }
    void TearDown() override {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, entry_.c_str());
        write_value(kWindowsKey, L"RegisteredOwner", owner_);
        write_value(kWindowsKey, L"RegisteredOrganization", organisation_);
    }

    void write_entry(const wchar_t* name, const std::wstring& text) { write_value(entry_.c_str(), name, text); }
    removal::RegisteredUser read() const { return removal::read_registered_user(product_.c_str()); }

    std::wstring product_;
    std::wstring entry_;
    std::optional<std::wstring> owner_;
    std::optional<std::wstring> organisation_;
};

TEST_F(RegisteredUserTest, TheUninstallEntryNamesComeFirst) {
    write_entry(L"RegOwner", L"测试用户");
    write_entry(L"RegCompany", L"测试公司");
    const removal::RegisteredUser user = read();
    EXPECT_STREQ(user.owner, L"测试用户");
    EXPECT_STREQ(user.company, L"测试公司");
}

TEST_F(RegisteredUserTest, WhatTheEntryLacksComesFromWindows) {
    write_entry(L"RegCompany", L"测试公司");
    removal::RegisteredUser user = read();
    EXPECT_STREQ(user.owner, L"系统用户");
    EXPECT_STREQ(user.company, L"测试公司");

    // An empty value counts as missing; no entry at all takes both.
    write_entry(L"RegCompany", L"");
    write_entry(L"RegOwner", L"测试用户");
    user = read();
    EXPECT_STREQ(user.owner, L"测试用户");
    EXPECT_STREQ(user.company, L"系统公司");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, entry_.c_str());
    user = read();
    EXPECT_STREQ(user.owner, L"系统用户");
    EXPECT_STREQ(user.company, L"系统公司");
}

TEST_F(RegisteredUserTest, NamesNowhereStayEmpty) {
    write_value(kWindowsKey, L"RegisteredOwner", std::nullopt);
    write_value(kWindowsKey, L"RegisteredOrganization", std::nullopt);
    const removal::RegisteredUser user = read();
    EXPECT_STREQ(user.owner, L"");
    EXPECT_STREQ(user.company, L"");
}

TEST_F(RegisteredUserTest, LongNamesAreCutTo127Characters) {
    write_entry(L"RegOwner", std::wstring(200, L'名'));
    write_entry(L"RegCompany", std::wstring(127, L'c'));
    const removal::RegisteredUser user = read();
    EXPECT_EQ(std::wstring(user.owner), std::wstring(127, L'名'));
    EXPECT_EQ(std::wstring(user.company), std::wstring(127, L'c'));
}

}  // namespace
