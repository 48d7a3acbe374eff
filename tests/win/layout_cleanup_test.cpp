// The keyboard-layout cleanup against Wine's real input-method manager,
// registry and system folder: the IME's layout leaves the preload list,
// both layout keys and the thread's layout list, and its file leaves the
// system folder at once or, while held open, at the next restart.
#include "remove/layout_cleanup.h"

#include <gtest/gtest.h>
#include <imm.h>

#include <string>
#include <vector>

#include "scratch.h"
#include "support/unique_handle.h"

namespace {

constexpr wchar_t kPreloadKey[] = L"Keyboard Layout\\Preload";
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t* const kLayoutRoots[] = {L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts",
                                       L"SYSTEM\\ControlSet001\\Control\\Keyboard Layouts"};

std::wstring test_ime_file() {
    std::wstring path = L"Z:";
    for (const char* p = TEST_IME_FILE; *p != '\0'; ++p) path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
    return path;
}

std::wstring system_file(const std::wstring& product) {
    wchar_t dir[MAX_PATH];
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir) + L"\\" + product + L".zin.ime";
}

// The same file as the 64-bit system names it at boot: a 32-bit program's
// system folder is SysWOW64.
std::wstring boot_name(const std::wstring& product) {
    BOOL wow64 = FALSE;
    wchar_t folder[MAX_PATH] = {};
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) GetSystemWow64DirectoryW(folder, MAX_PATH);
    else GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + product + L".zin.ime";
}

bool in_layout_list(HKL layout) {
    std::vector<HKL> list(static_cast<std::size_t>(GetKeyboardLayoutList(0, nullptr)) + 1);
    list.resize(static_cast<std::size_t>(GetKeyboardLayoutList(static_cast<int>(list.size()), list.data())));
    for (HKL each : list)
        if (each == layout) return true;
    return false;
}

bool has_subkey(const wchar_t* root, const wchar_t* name) {
    support::UniqueKey key;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(root) + L"\\" + name).c_str(), 0, KEY_READ, key.put()) ==
           ERROR_SUCCESS;
}

void set_preload(const std::wstring& name, const std::wstring& text) {
    support::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kPreloadKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The preload value's text, or "-" when there is no such value.
std::wstring get_preload(const std::wstring& name) {
    wchar_t text[64] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kPreloadKey, name.c_str(), RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS)
        return L"-";
    return text;
}

void delete_preload(const std::wstring& name) {
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPreloadKey, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS)
        RegDeleteValueW(key.get(), name.c_str());
}

std::vector<BYTE> pending_renames(bool& present) {
    std::vector<BYTE> data(1 << 16);
    DWORD bytes = static_cast<DWORD>(data.size());
    present = RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations", RRF_RT_ANY, nullptr,
                           data.data(), &bytes) == ERROR_SUCCESS;
    data.resize(present ? bytes : 0);
    return data;
}

void restore_pending_renames(bool present, const std::vector<BYTE>& data) {
    support::UniqueKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
    if (present)
        RegSetValueExW(key.get(), L"PendingFileRenameOperations", 0, REG_MULTI_SZ, data.data(),
                       static_cast<DWORD>(data.size()));
    else
        RegDeleteValueW(key.get(), L"PendingFileRenameOperations");
}

// A test IME installed as "<product>.zin.ime" in the system folder and
// registered; whatever the cleanup leaves is removed afterwards.
class LayoutCleanup : public ::testing::Test {
protected:
    void SetUp() override {
        product_ = wintest::unique_name(L"LayoutClean");
        file_ = system_file(product_);
        ASSERT_TRUE(CopyFileW(test_ime_file().c_str(), file_.c_str(), FALSE));
        layout_ = ImmInstallIMEW(file_.c_str(), L"Layout cleanup test");
        ASSERT_NE(layout_, nullptr);
        wchar_t text[20];
        removal::layout_text(layout_, text);
        text_ = text;
    }
    void TearDown() override {
        for (const wchar_t* root : kLayoutRoots) RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(root) + L"\\" + text_).c_str());
        DeleteFileW(file_.c_str());
    }

    std::wstring product_, file_, text_;
    HKL layout_ = nullptr;
};

TEST_F(LayoutCleanup, TakesTheLayoutOutEverywhereAndDeletesTheFile) {
    // Windows adds a registered IME to the preload list; Wine never does,
    // so the test writes the value Windows would have written. The first
    // matching value goes (case ignored); a second match and the others
    // stay under their own names.
    const std::wstring base = wintest::unique_name(L"9");
    std::wstring lower_text = text_;
    for (wchar_t& c : lower_text) c = static_cast<wchar_t>(towlower(c));
    set_preload(base + L"1", L"00000409");
    set_preload(base + L"2", lower_text);
    set_preload(base + L"3", text_);
    ASSERT_TRUE(in_layout_list(layout_));
    // Wine has no layouts under ControlSet001: the test gives the layout a
    // key there too, so that both scans have something to delete.
    const std::wstring set001 = std::wstring(kLayoutRoots[1]) + L"\\" + text_;
    const bool had_set001 = has_subkey(L"SYSTEM", L"ControlSet001");
    support::UniqueKey seeded;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, set001.c_str(), 0, nullptr, 0, KEY_READ, nullptr, seeded.put(), nullptr),
              ERROR_SUCCESS);
    seeded.reset();
    ASSERT_TRUE(has_subkey(kLayoutRoots[1], text_.c_str()));

    EXPECT_EQ(removal::clean_up_ime_layout(product_.c_str()), 1);

    EXPECT_EQ(get_preload(base + L"1"), L"00000409");
    EXPECT_EQ(get_preload(base + L"2"), L"-");
    EXPECT_EQ(get_preload(base + L"3"), text_);
    for (const wchar_t* root : kLayoutRoots) EXPECT_FALSE(has_subkey(root, text_.c_str())) << root;
    EXPECT_FALSE(in_layout_list(layout_));
    EXPECT_FALSE(wintest::file_exists(file_));
    for (const wchar_t* suffix : {L"1", L"3"}) delete_preload(base + suffix);
    if (!had_set001) RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\ControlSet001");
}

TEST_F(LayoutCleanup, AFileHeldOpenIsDeletedAtTheNextRestart) {
    bool had_renames = false;
    const std::vector<BYTE> renames_before = pending_renames(had_renames);
    {
        support::UniqueHandle held(CreateFileW(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_EQ(removal::clean_up_ime_layout(product_.c_str()), 1);
        EXPECT_TRUE(wintest::file_exists(file_));
    }
    bool has_renames = false;
    const std::vector<BYTE> renames = pending_renames(has_renames);
    const std::wstring listed(reinterpret_cast<const wchar_t*>(renames.data()), renames.size() / sizeof(wchar_t));
    EXPECT_NE(listed.find(boot_name(product_)), std::wstring::npos);
    EXPECT_FALSE(in_layout_list(layout_));
    restore_pending_renames(had_renames, renames_before);
}

TEST_F(LayoutCleanup, LeavesEverythingWhenNoLayoutBelongsToTheFile) {
    // Another product's name: its file exists, but nothing registered it.
    const std::wstring other = wintest::unique_name(L"LayoutOther");
    const std::wstring other_file = system_file(other);
    ASSERT_TRUE(CopyFileW(test_ime_file().c_str(), other_file.c_str(), FALSE));
    EXPECT_EQ(removal::clean_up_ime_layout(other.c_str()), 0);
    EXPECT_TRUE(wintest::file_exists(other_file));
    DeleteFileW(other_file.c_str());

    // Names that aren't one plain file name, or don't fit, touch nothing.
    EXPECT_EQ(removal::clean_up_ime_layout(L"..\\x"), 0);
    EXPECT_EQ(removal::clean_up_ime_layout(std::wstring(60, L'a').c_str()), 0);
    EXPECT_TRUE(in_layout_list(layout_));
    EXPECT_TRUE(has_subkey(kLayoutRoots[0], text_.c_str()));
    EXPECT_TRUE(wintest::file_exists(file_));
}

TEST(LayoutText, IsUpperCaseHexWithoutPadding) {
    wchar_t text[20];
    removal::layout_text(reinterpret_cast<HKL>(static_cast<std::uintptr_t>(0xE0200804u)), text);
    EXPECT_STREQ(text, L"E0200804");
    removal::layout_text(reinterpret_cast<HKL>(static_cast<std::uintptr_t>(0x409u)), text);
    EXPECT_STREQ(text, L"409");
}

}  // namespace
