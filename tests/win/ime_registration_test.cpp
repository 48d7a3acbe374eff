// IME registration against Wine's real input-method manager, registry and
// system folder: the IME file lands in the system folder, its layout is
// found through the thread's layout list, a second registration reuses the
// first layout, and a failed copy says which file it couldn't copy.
#include "install/ime_registration.h"

#include <gtest/gtest.h>
#include <imm.h>

#include <cwctype>
#include <string>
#include <vector>

#include "app/records.h"
#include "install/ime_layout_removal.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "package/install_info.h"
#include "progress_page.h"
#include "scratch.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace {

constexpr wchar_t kLayoutsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";

// The fixture IME module built beside the tests, as a Windows path.
std::wstring test_ime_file() {
    std::wstring path = L"Z:";
    for (const char* p = TEST_IME_FILE; *p != '\0'; ++p) path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
    return path;
}

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring name_part(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring system_dir() {
    wchar_t dir[MAX_PATH];
    GetSystemDirectoryW(dir, MAX_PATH);
    return dir;
}

struct LayoutKey {
    std::wstring name;
    std::wstring ime_file;
    std::wstring layout_text;
};

std::wstring read_text(HKEY key, const wchar_t* value) {
    wchar_t text[MAX_PATH] = {};
    DWORD bytes = sizeof text - sizeof(wchar_t);
    if (RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS)
        return L"";
    return text;
}

// The registry's layouts whose IME file has `ime_file_name` as its name part.
std::vector<LayoutKey> layout_keys_for(const std::wstring& ime_file_name, const wchar_t* root = kLayoutsKey) {
    std::vector<LayoutKey> found;
    support::UniqueKey layouts;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, root, 0, KEY_READ, layouts.put()) != ERROR_SUCCESS) return found;
    for (DWORD i = 0;; ++i) {
        wchar_t name[64];
        DWORD length = 64;
        if (RegEnumKeyExW(layouts.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        support::UniqueKey layout;
        if (RegOpenKeyExW(layouts.get(), name, 0, KEY_READ, layout.put()) != ERROR_SUCCESS) continue;
        LayoutKey key{name, read_text(layout.get(), L"Ime File"), read_text(layout.get(), L"Layout Text")};
        if (lower(name_part(key.ime_file)) == lower(ime_file_name)) found.push_back(key);
    }
    return found;
}

std::vector<HKL> layout_list() {
    const int count = GetKeyboardLayoutList(0, nullptr);
    std::vector<HKL> list(static_cast<std::size_t>(count > 0 ? count : 0));
    if (count > 0) list.resize(static_cast<std::size_t>(GetKeyboardLayoutList(count, list.data())));
    return list;
}

bool listed(HKL layout) {
    for (HKL each : layout_list())
        if (each == layout) return true;
    return false;
}

// Removes what a registration of `ime_name` leaves on the machine: the
// system IME file and every layout key (and preload entry) that names it.
class ImeCleanup {
public:
    explicit ImeCleanup(std::wstring ime_name) : file_name_(ime_name + L".zin.ime") {}
    ~ImeCleanup() {
        for (const wchar_t* root : {kLayoutsKey, L"SYSTEM\\ControlSet001\\Control\\Keyboard Layouts"}) {
            for (const LayoutKey& key : layout_keys_for(file_name_, root)) {
                remove_preload(key.name);
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(root) + L"\\" + key.name).c_str());
            }
        }
        const std::wstring system_file = system_dir() + L"\\" + file_name_;
        SetFileAttributesW(system_file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(system_file.c_str());
    }
    ImeCleanup(const ImeCleanup&) = delete;
    ImeCleanup& operator=(const ImeCleanup&) = delete;

private:
    static void remove_preload(const std::wstring& layout) {
        support::UniqueKey preload;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Keyboard Layout\\Preload", 0, KEY_ALL_ACCESS, preload.put()) !=
            ERROR_SUCCESS)
            return;
        for (DWORD i = 0;;) {
            wchar_t name[64];
            wchar_t data[64] = {};
            DWORD name_length = 64;
            DWORD bytes = sizeof data - sizeof(wchar_t);
            if (RegEnumValueW(preload.get(), i, name, &name_length, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                              &bytes) != ERROR_SUCCESS)
                break;
            if (lower(data) == lower(layout)) RegDeleteValueW(preload.get(), name);
            else ++i;
        }
    }

    std::wstring file_name_;
};

// An install run over a hidden progress page, for product `ime_name`,
// installing into a scratch folder.
class ImeRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        info_ = {};
        support::copy_slot(support::wide_slot(info_.ime_name), ime_name_.c_str());
        support::copy_slot(support::wide_slot(info_.layout_text), L"测试输入法 Layout");
        run_ = install::make_install_run(page_.report(), &info_, &context_);
        support::format_slot(run_.install_dir, L"%ls\\", folder_.path().c_str());
    }

    std::wstring installed_ime() const { return std::wstring(run_.install_dir) + ime_name_ + L".ime"; }
    std::wstring system_ime() const { return system_dir() + L"\\" + ime_name_ + L".zin.ime"; }
    void place_ime() const { ASSERT_TRUE(CopyFileW(test_ime_file().c_str(), installed_ime().c_str(), FALSE)); }

    // Upper case, so that every lookup below also proves case doesn't matter.
    const std::wstring ime_name_ = wintest::unique_name(L"IRTESTIME");
    ImeCleanup cleanup_{ime_name_};
    wintest::ScratchFolder folder_{L"imereg"};
    wintest::ProgressPage page_;
    app::RunContext context_{};
    package::InstallInfo info_{};
    install::InstallRun run_;
};

TEST_F(ImeRegistrationTest, RegistersTheSystemCopyAndFindsItsLayout) {
    place_ime();
    const std::vector<std::uint8_t> module = wintest::read_file(test_ime_file());

    const HKL layout = install::register_ime(run_);

    ASSERT_NE(layout, nullptr);
    EXPECT_TRUE(listed(layout));
    // The system folder holds the only copy, byte for byte.
    EXPECT_EQ(wintest::read_file(system_ime()), module);
    EXPECT_FALSE(wintest::file_exists(installed_ime()));
    const std::vector<LayoutKey> keys = layout_keys_for(ime_name_ + L".zin.ime");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].layout_text, L"测试输入法 Layout");
    EXPECT_EQ(lower(keys[0].ime_file), lower(system_ime()));
    // Found under its lower-case name, though registered in upper case.
    EXPECT_EQ(install::find_ime_layout(lower(ime_name_ + L".zin.ime").c_str()), layout);
    // Nothing was said: rows are for failures only.
    EXPECT_TRUE(page_.rows().empty());
}

TEST_F(ImeRegistrationTest, SecondRegistrationReusesTheLayoutWithTheNewText) {
    place_ime();
    const HKL first = install::register_ime(run_);
    ASSERT_NE(first, nullptr);
    place_ime();  // a repair or a newer package brings the file again
    support::copy_slot(support::wide_slot(info_.layout_text), L"新的输入法名称");

    const HKL second = install::register_ime(run_);

    EXPECT_EQ(second, first);
    const std::vector<LayoutKey> keys = layout_keys_for(ime_name_ + L".zin.ime");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].layout_text, L"新的输入法名称");
    EXPECT_TRUE(wintest::file_exists(system_ime()));
    EXPECT_FALSE(wintest::file_exists(installed_ime()));
}

TEST_F(ImeRegistrationTest, MissingImeFileGivesTheCopyRowAndNoLayout) {
    EXPECT_EQ(install::register_ime(run_), nullptr);

    const std::vector<std::wstring> rows = page_.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], L"复制IME文件到系统目录发生错误，复制文件路径：" + installed_ime());
    EXPECT_FALSE(wintest::file_exists(system_ime()));
    EXPECT_TRUE(layout_keys_for(ime_name_ + L".zin.ime").empty());
    // The bar is the run's business: the row comes without a position.
    EXPECT_EQ(run_.progress_position, 0);
}

TEST_F(ImeRegistrationTest, NameThatLeavesTheSystemFolderIsRefused) {
    // "..\<name>" would put the file next to the system folder.
    const std::wstring escaping = L"..\\" + ime_name_;
    support::copy_slot(support::wide_slot(info_.ime_name), escaping.c_str());
    const std::wstring installed = std::wstring(run_.install_dir) + escaping + L".ime";
    ASSERT_TRUE(CopyFileW(test_ime_file().c_str(), installed.c_str(), FALSE));
    const std::wstring outside = system_dir() + L"\\..\\" + ime_name_ + L".zin.ime";

    EXPECT_EQ(install::register_ime(run_), nullptr);

    EXPECT_FALSE(wintest::file_exists(outside));
    DeleteFileW(outside.c_str());
    DeleteFileW(installed.c_str());
    const std::vector<std::wstring> rows = page_.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], L"复制IME文件到系统目录发生错误，复制文件路径：" + installed);
}

TEST_F(ImeRegistrationTest, InstallFolderTooLongForTheFileNameIsACopyFailure) {
    // The folder fits its slot; with the file name the path would be cut.
    support::format_slot(run_.install_dir, L"C:\\%ls\\", std::wstring(250, L'd').c_str());

    EXPECT_EQ(install::register_ime(run_), nullptr);

    const std::vector<std::wstring> rows = page_.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].rfind(L"复制IME文件到系统目录发生错误，复制文件路径：C:\\ddd", 0), 0u);
    EXPECT_FALSE(wintest::file_exists(system_ime()));
}

TEST_F(ImeRegistrationTest, RecordWithoutPageStillRegisters) {
    // Repair and the tests may run a step with no list to report to.
    install::InstallRun bare = install::make_install_run(nullptr, &info_, &context_);
    support::copy_slot(bare.install_dir, run_.install_dir);
    EXPECT_EQ(install::register_ime(bare), nullptr);  // no file: the row has nowhere to go, no crash
    place_ime();
    EXPECT_NE(install::register_ime(bare), nullptr);
}

TEST_F(ImeRegistrationTest, RollbackRemovesLayoutAndFileOfTheRun) {
    wintest::ScratchFolder backups{L"imeregbak"};
    install::InstallJournal journal(backups.path().c_str());
    run_.journal = &journal;
    place_ime();

    const HKL layout = install::register_ime(run_);
    ASSERT_NE(layout, nullptr);
    journal.rollback();

    EXPECT_FALSE(wintest::file_exists(system_ime()));
    EXPECT_TRUE(layout_keys_for(ime_name_ + L".zin.ime").empty());
    EXPECT_FALSE(listed(layout));
}

TEST_F(ImeRegistrationTest, RollbackOfAReuseKeepsTheEarlierRegistration) {
    place_ime();
    const HKL first = install::register_ime(run_);
    ASSERT_NE(first, nullptr);
    const std::vector<std::uint8_t> before = wintest::read_file(system_ime());
    // The system copy of the earlier install differs from what comes now.
    ASSERT_TRUE(wintest::write_file(installed_ime(), {'n', 'e', 'w'}));

    wintest::ScratchFolder backups{L"imeregbak"};
    install::InstallJournal journal(backups.path().c_str());
    run_.journal = &journal;
    EXPECT_EQ(install::register_ime(run_), first);
    EXPECT_EQ(wintest::read_file(system_ime()), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
    journal.rollback();

    EXPECT_EQ(wintest::read_file(system_ime()), before);
    EXPECT_EQ(layout_keys_for(ime_name_ + L".zin.ime").size(), 1u);
    EXPECT_TRUE(listed(first));
}

TEST_F(ImeRegistrationTest, LookupTakesTheFirstOfTwoLayoutsInListOrder) {
    place_ime();
    ASSERT_TRUE(CopyFileW(installed_ime().c_str(), system_ime().c_str(), FALSE));
    // Wine's manager registers the same file twice; Windows can end up so
    // after registrations by other means.
    const HKL one = ImmInstallIMEW(system_ime().c_str(), L"one");
    const HKL two = ImmInstallIMEW(system_ime().c_str(), L"two");
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    HKL first_listed = nullptr;
    for (HKL each : layout_list())
        if (each == one || each == two) {
            first_listed = each;
            break;
        }

    EXPECT_EQ(install::find_ime_layout((ime_name_ + L".zin.ime").c_str()), first_listed);
}

TEST(FindImeLayout, NamesThatMatchNoIme) {
    // Layouts that are no IME report an empty name: an empty name matches nothing.
    EXPECT_EQ(install::find_ime_layout(L""), nullptr);
    EXPECT_EQ(install::find_ime_layout(nullptr), nullptr);
    EXPECT_EQ(install::find_ime_layout(L"never-registered-name.zin.ime"), nullptr);
}

TEST(SystemImePath, OneBackslashBetweenFolderAndName) {
    wchar_t path[app::kPathUnits];
    ASSERT_TRUE(install::system_ime_path(path, L"Zin"));
    EXPECT_EQ(std::wstring(path), system_dir() + L"\\Zin.zin.ime");
    EXPECT_EQ(std::wstring(path).find(L"\\\\"), std::wstring::npos);
}

TEST(SystemImePath, RefusesNamesThatAreNoPlainFileName) {
    wchar_t path[app::kPathUnits] = L"old";
    for (const wchar_t* name : {L"", L".", L"..", L"a\\b", L"a/b", L"c:x", L"a*b"}) {
        EXPECT_FALSE(install::system_ime_path(path, name)) << name;
        EXPECT_STREQ(path, L"");
    }
    // A name of 300 units can't be a file in a 260-unit path.
    const std::wstring long_name(300, L'n');
    EXPECT_FALSE(install::system_ime_path(path, long_name.c_str()));
}

// The Preload list changes in place: the entries after the layout move up
// one number each, the last number goes, and whatever else the key holds
// stays as it was.
TEST(RemoveImeLayout, TakesTheLayoutOutOfThePreloadListInPlace) {
    constexpr wchar_t kKey[] = L"Keyboard Layout\\Preload";
    support::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    struct Saved {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Saved> saved;
    for (DWORD index = 0;; ++index) {
        wchar_t name[64];
        DWORD units = 64;
        BYTE data[256];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key.get(), index, name, &units, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
        saved.push_back({name, type, std::vector<BYTE>(data, data + size)});
    }
    for (const Saved& value : saved) RegDeleteValueW(key.get(), value.name.c_str());
    const auto set = [&key](const wchar_t* name, const std::wstring& text) {
        RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    };
    const auto get = [&key](const wchar_t* name) -> std::wstring {
        wchar_t data[64] = {};
        DWORD size = sizeof data - sizeof(wchar_t);
        if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
            return L"(none)";
        return data;
    };
    set(L"1", L"00000409");
    set(L"2", L"e0ff0804");
    set(L"3", L"00000804");
    set(L"4", L"E0FF0804");  // listed twice, in other case
    set(L"5", L"00000411");
    set(L"x", L"not a number");

    install::remove_ime_layout(reinterpret_cast<HKL>(static_cast<std::uintptr_t>(0xE0FF0804u)), L"none.zin.ime");
    EXPECT_EQ(get(L"1"), L"00000409");
    EXPECT_EQ(get(L"2"), L"00000804");
    EXPECT_EQ(get(L"3"), L"00000411");
    EXPECT_EQ(get(L"4"), L"(none)");
    EXPECT_EQ(get(L"5"), L"(none)");
    EXPECT_EQ(get(L"x"), L"not a number");

    for (const wchar_t* name : {L"1", L"2", L"3", L"x"}) RegDeleteValueW(key.get(), name);
    for (const Saved& value : saved)
        RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
}

}  // namespace
