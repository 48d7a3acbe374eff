// query_display_name against Wine's registry: a real uninstall entry with
// a unique product name, written the way the installer writes its values.
#include "support/display_name.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "scratch.h"

using support::query_display_name;

namespace {

const std::wstring kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class DisplayName : public ::testing::Test {
protected:
    void SetUp() override {
        product_ = wintest::unique_name(L"ImeBaseTest");
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kUninstall + product_).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kUninstall + product_).c_str());
    }
    // Stored as the installer stores strings: the terminator not counted.
    void set_name(const std::wstring& text, bool with_terminator = false) {
        const auto bytes = static_cast<DWORD>((text.size() + (with_terminator ? 1 : 0)) * sizeof(wchar_t));
        ASSERT_EQ(RegSetValueExW(key_, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes),
                  ERROR_SUCCESS);
    }

    std::wstring product_;
    HKEY key_ = nullptr;
};

}  // namespace

TEST_F(DisplayName, ReadsTheNameOfTheUninstallEntry) {
    set_name(L"紫金拼音输入法");
    wchar_t out[support::kDisplayNameUnits];
    EXPECT_EQ(query_display_name(product_.c_str(), out), 7u);
    EXPECT_STREQ(out, L"紫金拼音输入法");
    EXPECT_EQ(query_display_name(product_.c_str()), 7u);

    set_name(L"With its own NUL", true);
    EXPECT_EQ(query_display_name(product_.c_str(), out), 16u);
    EXPECT_STREQ(out, L"With its own NUL");
}

TEST_F(DisplayName, NineteenCharactersFitTwentyDoNot) {
    wchar_t out[support::kDisplayNameUnits];
    set_name(std::wstring(19, L'n'));
    EXPECT_EQ(query_display_name(product_.c_str(), out), 19u);
    EXPECT_EQ(std::wstring(out), std::wstring(19, L'n'));

    set_name(std::wstring(20, L'n'));  // 40 bytes: no room for the terminator
    EXPECT_EQ(query_display_name(product_.c_str(), out), 0u);
    EXPECT_STREQ(out, L"");
    set_name(std::wstring(40, L'n'));
    EXPECT_EQ(query_display_name(product_.c_str(), out), 0u);
    EXPECT_STREQ(out, L"");
}

TEST_F(DisplayName, MissingOrWrongValuesGiveZero) {
    wchar_t out[support::kDisplayNameUnits] = L"stale";
    EXPECT_EQ(query_display_name(product_.c_str(), out), 0u);  // the key has no value yet
    EXPECT_STREQ(out, L"");

    const DWORD number = 7;
    RegSetValueExW(key_, L"DisplayName", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    EXPECT_EQ(query_display_name(product_.c_str(), out), 0u);

    EXPECT_EQ(query_display_name((product_ + L"_missing").c_str(), out), 0u);
}
