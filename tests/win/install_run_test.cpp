// The install run over a hidden page with a real step list (1006) and
// progress bar (1008), against Wine's real files, registry, shell links
// and input-method manager: the rows a person sees, what ends up where,
// and that a failed run takes back everything it did.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/process_records.h"
#include "install/access_rights.h"
#include "install/file_placement.h"
#include "install/font_install.h"
#include "install/ime_layout_removal.h"
#include "install/ime_registration.h"
#include "install/install_journal.h"
#include "install/install_list.h"
#include "install/pending_renames.h"
#include "install/raw_value.h"
#include "install/registry_entries.h"
#include "install/run_install.h"
#include "failure_log.h"
#include "install_fixture.h"
#include "progress_page.h"
#include "scratch.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace {

using wintest::data_dir;
using wintest::file_exists;
using wintest::file_text;
using wintest::folder_exists;
using wintest::InstallFixture;
using wintest::ProgressPage;
using wintest::put_file;
using wintest::special_folder;
using wintest::system_dir;
using wintest::windows_dir;

using Rows = std::vector<std::wstring>;

// A string value as its text (up to a NUL); `present` false when missing.
struct Text {
    bool present = false;
    std::wstring text;
};

Text string_value(HKEY root, const std::wstring& path, const wchar_t* name) {
    Text value;
    support::UniqueKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | install::kRegistryView, key.put()) != ERROR_SUCCESS)
        return value;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    if (install::read_raw_value(key.get(), name, type, data) != ERROR_SUCCESS) return value;
    value.present = true;
    value.text.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    value.text.resize(std::wcslen(value.text.c_str()));
    return value;
}

bool key_exists(HKEY root, const std::wstring& path) {
    support::UniqueKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | install::kRegistryView, key.put()) == ERROR_SUCCESS;
}

// The places a run of the fixture's product writes to, outside the
// install folder. The synthetic tree puts one file into each macro folder,
// named after the product.
struct Product {
    explicit Product(const InstallFixture& fixture)
        : ime(fixture.ime_name()),
          display(fixture.display_name()),
          install_dir(fixture.install_dir()),
          system_ime(system_dir() + ime + L".zin.ime"),
          system_file(system_dir() + ime + L".dll"),
          windows_file(windows_dir() + ime + L".ini"),
          font_file(special_folder(CSIDL_FONTS) + ime + L".ttf"),
          font_value(ime + L"(TrueType)"),
          data(data_dir(ime)),
          uninstall_key(std::wstring(install::kUninstallKey) + L"\\" + ime),
          vendor_key(std::wstring(install::kVendorKey) + L"\\" + ime),
          program_folder(special_folder(CSIDL_COMMON_PROGRAMS) + display),
          desktop_link(special_folder(CSIDL_DESKTOPDIRECTORY) + display + L"系统设置.lnk") {}

    HKL layout() const { return install::find_ime_layout((ime + L".zin.ime").c_str()); }

    // What of the product is on the machine, by name; empty when nothing.
    std::vector<std::wstring> traces() const {
        std::vector<std::wstring> found;
        for (const std::wstring& file : {system_ime, system_file, windows_file, font_file, desktop_link})
            if (file_exists(file)) found.push_back(file);
        for (const std::wstring& file : extra_files)
            if (file_exists(file)) found.push_back(file);
        for (const std::wstring& folder : {data, program_folder})
            if (folder_exists(folder)) found.push_back(folder);
        if (string_value(HKEY_LOCAL_MACHINE, install::kFontsKey, font_value.c_str()).present)
            found.push_back(L"Fonts value " + font_value);
        if (key_exists(HKEY_LOCAL_MACHINE, uninstall_key)) found.push_back(L"HKLM\\" + uninstall_key);
        if (key_exists(HKEY_LOCAL_MACHINE, vendor_key)) found.push_back(L"HKLM\\" + vendor_key);
        if (key_exists(HKEY_CURRENT_USER, vendor_key)) found.push_back(L"HKCU\\" + vendor_key);
        if (layout() != nullptr) found.push_back(L"keyboard layout");
        return found;
    }

    // Takes away everything a successful run left.
    void remove() const {
        for (const std::wstring& file : {system_ime, system_file, windows_file, font_file, desktop_link}) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        }
        for (const std::wstring& file : extra_files) {
            RemoveFontResourceW(file.c_str());
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        }
        for (const std::wstring& name : extra_font_values) {
            support::UniqueKey fonts;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, install::kFontsKey, 0, KEY_SET_VALUE, fonts.put()) == ERROR_SUCCESS)
                RegDeleteValueW(fonts.get(), name.c_str());
        }
        wintest::remove_tree(data);
        wintest::remove_tree(program_folder);
        wintest::remove_tree(install_dir.substr(0, install_dir.size() - 1));
        support::UniqueKey fonts;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, install::kFontsKey, 0, KEY_SET_VALUE, fonts.put()) == ERROR_SUCCESS)
            RegDeleteValueW(fonts.get(), font_value.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, uninstall_key.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, vendor_key.c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, vendor_key.c_str());
        // The shared parents go when nothing else is in them.
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, install::kVendorKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, install::kVendorKey);
        if (!data.empty()) RemoveDirectoryW(data.substr(0, data.find_last_of(L'\\', data.size() - 2)).c_str());
        for (HKL found = layout(); found != nullptr; found = layout()) {
            install::remove_ime_layout(found, (ime + L".zin.ime").c_str());
            if (layout() == found) break;
        }
    }

    std::wstring ime, display, install_dir;
    std::wstring system_ime, system_file, windows_file, font_file, font_value, data;
    std::wstring uninstall_key, vendor_key, program_folder, desktop_link;
    // Files and font values of a real product tree whose names aren't the product's.
    std::vector<std::wstring> extra_files;
    std::vector<std::wstring> extra_font_values;
};

// Cleans up after a test whatever happens to it.
struct ProductCleanup {
    explicit ProductCleanup(const Product& installed) : product(installed) {}
    ~ProductCleanup() { product.remove(); }
    const Product& product;
};

// A product tree with one file for every path macro, the settings and
// uninstall shortcuts (one of them on the desktop).
void add_full_product(InstallFixture& fixture) {
    fixture.info.shortcut_flags = package::kShortcutSettings | package::kShortcutUninstall;
    const std::wstring tag = fixture.ime_name();
    fixture.add(L"$system32$\\" + tag + L".dll", "system");
    fixture.add(L"$windows$\\" + tag + L".ini", "windows");
    fixture.add(L"$fonts$\\" + tag + L".ttf", "font");
    fixture.add(L"$dataFiles$\\danzi.zmi", "table");
    fixture.add_product();
}

// The rights calls made while it lives: Wine keeps no access lists to read
// back, so which file got which rights is watched at the call.
class RightsCalls {
public:
    RightsCalls() {
        calls_.clear();
        install::set_rights_watcher(&record);
    }
    ~RightsCalls() { install::set_rights_watcher(nullptr); }
    std::set<std::wstring> of(install::GivenRights rights) const {
        std::set<std::wstring> paths;
        for (const auto& [path, given] : calls_) {
            std::wstring plain = path;
            while (!plain.empty() && plain.back() == L'\\') plain.pop_back();
            if (given == rights) paths.insert(plain);
        }
        return paths;
    }

private:
    static void record(const wchar_t* path, install::GivenRights rights) { calls_.emplace_back(path, rights); }
    static inline std::vector<std::pair<std::wstring, install::GivenRights>> calls_;
};

install::InstallRun page_run(ProgressPage& page, InstallFixture& fixture) {
    return install::make_install_run(page.report(), &fixture.info, &fixture.context);
}

std::wstring without_backslash(const std::wstring& folder) { return folder.substr(0, folder.size() - 1); }

const Rows kSuccessRows = {install::kRowVerifying,      install::kRowStarting, install::kRowPlaceFiles,
                           install::kRowEnvironment,    install::kRowUninstallEntry, install::kRowBackup,
                           install::kRowShortcuts,      install::kRowCleanUp,  install::kRowDone};

Rows first_rows(std::size_t count) { return Rows(kSuccessRows.begin(), kSuccessRows.begin() + count); }

// --- the record and its reports ---

TEST(PostProgress, RowsAndPositionsReachTheControls) {
    ProgressPage page;
    InstallFixture fixture(L"run");
    install::InstallRun run = page_run(page, fixture);
    EXPECT_EQ(run.report, page.report());
    EXPECT_EQ(run.context, &fixture.context);
    EXPECT_EQ(run.info, &fixture.info);
    EXPECT_EQ(run.progress_position, 0);
    EXPECT_EQ(run.install_dir[0], L'\0');
    EXPECT_EQ(run.journal, nullptr);
    EXPECT_EQ(run.restart_needed, 0);

    install::post_progress(run, 5, L"first");
    install::post_progress(run, 42, nullptr);  // the bar moves, no row
    EXPECT_EQ(page.rows(), Rows{L"first"});
    EXPECT_EQ(page.position(), 42);
    install::post_progress(run, -1, L"second");  // a row, the bar stays
    EXPECT_EQ(page.rows(), (Rows{L"first", L"second"}));
    EXPECT_EQ(page.position(), 42);
    EXPECT_EQ(run.progress_position, 42);
    install::post_progress(run, 0, L"");
    EXPECT_EQ(page.rows().size(), 3u);
    EXPECT_EQ(page.position(), 0);
}

TEST(PostProgress, APageWithoutABarGetsRowsOnly) {
    ProgressPage page;
    DestroyWindow(GetDlgItem(page.window(), ui::kProgressBarId));
    ui::StepLogReport rows_only(page.window());
    install::InstallRun run = install::make_install_run(&rows_only, nullptr);
    install::post_progress(run, 50, L"row");
    EXPECT_EQ(page.rows(), Rows{L"row"});
    EXPECT_EQ(run.progress_position, 50);

    // Without a context of its own the record takes the start-up's.
    {
        app::ProcessRecords records;
        EXPECT_EQ(install::make_install_run(&rows_only, nullptr).context, &records.run());
    }
    EXPECT_EQ(run.context, nullptr);  // none when the start-up hasn't run

    // No reporter at all: nothing to post to, the position is still kept.
    install::InstallRun bare = install::make_install_run(nullptr, nullptr);
    ASSERT_NE(bare.report, nullptr);
    install::post_progress(bare, 7, L"nowhere");
    EXPECT_EQ(bare.progress_position, 7);
}

// --- whole runs ---

TEST(RunInstall, ASuccessfulRunPostsNineRowsAndPutsEverythingInPlace) {
    ProgressPage page;
    InstallFixture fixture(L"run");
    add_full_product(fixture);
    const Product product(fixture);
    ProductCleanup cleanup(product);
    install::InstallRun run = page_run(page, fixture);
    RightsCalls rights;

    // Given without its trailing backslash.
    ASSERT_EQ(install::run_install(run, without_backslash(fixture.install_dir()).c_str(), L"张三", L"公司"), 1);
    EXPECT_EQ(page.rows(), kSuccessRows);
    EXPECT_EQ(page.position(), 100);
    EXPECT_EQ(std::wstring(run.install_dir), fixture.install_dir());
    EXPECT_EQ(run.journal, nullptr);  // the run's own journal was for the run only

    const std::wstring dir = fixture.install_dir();
    EXPECT_EQ(file_text(dir + L"config.exe"), "settings program");
    EXPECT_EQ(file_text(dir + L"ITF\\Interface.dll"), "interface library");
    EXPECT_EQ(file_text(dir + L"unstall.exe"), "MZ uninstaller");
    EXPECT_EQ(file_text(dir + L"_backup_.dat"), "CRYP package");
    EXPECT_FALSE(file_exists(dir + L"InstallInfo.dif"));
    EXPECT_FALSE(file_exists(dir + product.ime + L".ime"));  // its only copy is in the system folder
    EXPECT_EQ(file_text(product.system_ime), "IME module");
    EXPECT_EQ(file_text(product.system_file), "system");
    EXPECT_EQ(file_text(product.windows_file), "windows");
    EXPECT_EQ(file_text(product.font_file), "font");
    EXPECT_EQ(file_text(product.data + L"danzi.zmi"), "table");
    EXPECT_NE(product.layout(), nullptr);
    EXPECT_EQ(string_value(HKEY_LOCAL_MACHINE, product.uninstall_key, L"RegOwner").text, L"张三");
    EXPECT_EQ(string_value(HKEY_CURRENT_USER, product.vendor_key, install::kInstallPathValue).text, dir);
    EXPECT_TRUE(file_exists(product.program_folder + L"\\更多工具\\卸载软件.lnk"));
    EXPECT_TRUE(file_exists(product.desktop_link));
    EXPECT_FALSE(folder_exists(without_backslash(fixture.workspace())));

    // The run's log hears of every file, value and shortcut it made.
    using support::Touch;
    const wintest::ReportRecorder& log = page.recorded();
    for (const std::wstring& file : {dir + L"config.exe", dir + L"ITF\\Interface.dll", dir + L"unstall.exe",
                                     dir + L"_backup_.dat", product.system_ime, product.system_file,
                                     product.windows_file, product.font_file, product.data + L"danzi.zmi"})
        EXPECT_TRUE(log.has(Touch::file_copied, file)) << file;
    EXPECT_TRUE(log.has(Touch::file_deleted, dir + L"InstallInfo.dif"));
    EXPECT_TRUE(log.has(Touch::value_written, L"HKLM\\" + product.uninstall_key + L"\\RegOwner"));
    EXPECT_TRUE(log.has(Touch::value_written, L"HKCU\\" + product.vendor_key + L"\\" + install::kInstallPathValue));
    EXPECT_TRUE(log.has(Touch::shortcut_created, product.program_folder + L"\\更多工具\\卸载软件.lnk"));
    EXPECT_TRUE(log.has(Touch::shortcut_created, product.desktop_link));
    EXPECT_EQ(log.failures().size(), 0u);

    // Users may change the data folder and its files, and nothing else:
    // code keeps its folder's default rights (an earlier install's entry
    // taken away), where Users read and run it.
    EXPECT_EQ(rights.of(install::GivenRights::UsersModify),
              (std::set<std::wstring>{without_backslash(product.data), product.data + L"danzi.zmi"}));
    const std::set<std::wstring> code = rights.of(install::GivenRights::FolderDefault);
    for (const std::wstring& file : {dir + L"config.exe", dir + L"ITF\\Interface.dll", dir + L"unstall.exe",
                                     dir + L"_backup_.dat", product.system_ime, product.system_file,
                                     product.windows_file})
        EXPECT_EQ(code.count(file), 1u) << file;
}

TEST(RunInstall, AFailureInStepOneIsReportedAndLeavesNothing) {
    ProgressPage page;
    InstallFixture fixture(L"run");
    add_full_product(fixture);
    DeleteFileW(fixture.context.uninstaller_path);  // no uninstaller: the placement fails
    const Product product(fixture);
    ProductCleanup cleanup(product);
    install::InstallRun run = page_run(page, fixture);

    EXPECT_EQ(install::run_install(run, fixture.install_dir().c_str(), L"o", L"c"), 0);
    Rows expected = first_rows(3);
    expected.push_back(install::kRowFailed);
    EXPECT_EQ(page.rows(), expected);
    EXPECT_EQ(page.position(), 2);
    // The log names the step that failed.
    ASSERT_FALSE(page.recorded().failures().empty());
    EXPECT_EQ(page.recorded().failures().back().first, L"1.创建文件系统....");
    EXPECT_FALSE(folder_exists(without_backslash(fixture.workspace())));
    EXPECT_EQ(product.traces(), std::vector<std::wstring>{});
    EXPECT_FALSE(folder_exists(without_backslash(fixture.install_dir())));
}

TEST(RunInstall, ALaterFailureLeavesTheMachineAsItWas) {
    ProgressPage page;
    InstallFixture fixture(L"run");
    add_full_product(fixture);
    const Product product(fixture);
    ProductCleanup cleanup(product);
    // The IME file is missing from the package: the registration step fails
    // after the files and the vendor keys are in place.
    DeleteFileW((fixture.extract() + product.ime + L".ime").c_str());
    fixture.add(L"readme.txt", "new readme");
    // An install folder that already holds files the package overwrites.
    const std::wstring dir = fixture.install_dir();
    put_file(dir + L"config.exe", "old settings program");
    put_file(dir + L"readme.txt", "old readme");
    SetFileAttributesW((dir + L"readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    install::InstallRun run = page_run(page, fixture);

    EXPECT_EQ(install::run_install(run, dir.c_str(), L"o", L"c"), 0);
    Rows expected = first_rows(4);
    expected.push_back(L"复制IME文件到系统目录发生错误，复制文件路径：" + dir + product.ime + L".ime");
    expected.push_back(install::kRowFailed);
    EXPECT_EQ(page.rows(), expected);
    EXPECT_EQ(page.position(), 42);

    EXPECT_EQ(product.traces(), std::vector<std::wstring>{});
    EXPECT_EQ(file_text(dir + L"config.exe"), "old settings program");
    EXPECT_EQ(file_text(dir + L"readme.txt"), "old readme");
    EXPECT_NE(GetFileAttributesW((dir + L"readme.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    for (const wchar_t* name : {L"unstall.exe", L"main.chm", L"ITF", L"InstallInfo.dif"})
        EXPECT_EQ(GetFileAttributesW((dir + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    EXPECT_FALSE(folder_exists(without_backslash(fixture.workspace())));
    SetFileAttributesW((dir + L"readme.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(RunInstall, AFailedReinstallLeavesTheInstalledProductAsItWas) {
    ProgressPage first_page;
    InstallFixture first(L"run");
    add_full_product(first);
    const Product product(first);
    ProductCleanup cleanup(product);
    install::InstallRun first_run = page_run(first_page, first);
    ASSERT_EQ(install::run_install(first_run, first.install_dir().c_str(), L"first owner", L"c"), 1);
    const HKL layout = product.layout();
    ASSERT_NE(layout, nullptr);

    // The same product again from a newer package, as repair runs it; its
    // package can't be kept, so the backup step fails after the files, the
    // IME and the uninstall entry have been rewritten.
    ProgressPage page;
    InstallFixture second(L"run");
    second.adopt_product(first);
    second.add(product.ime + L".ime", "IME module v2");
    second.add(L"config.exe", "settings program v2");
    second.add(L"new-in-v2.txt", "new");
    second.add(L"$system32$\\" + product.ime + L".dll", "system v2");
    second.add_uninstaller("uninstaller v2");
    install::InstallRun run = page_run(page, second);
    EXPECT_EQ(install::run_install(run, first.install_dir().c_str(), L"second owner", L"c"), 0);
    Rows expected = first_rows(6);
    expected.push_back(install::kRowFailed);
    EXPECT_EQ(page.rows(), expected);
    EXPECT_EQ(page.position(), 82);

    const std::wstring dir = first.install_dir();
    EXPECT_EQ(file_text(dir + L"config.exe"), "settings program");
    EXPECT_EQ(file_text(dir + L"unstall.exe"), "MZ uninstaller");
    EXPECT_EQ(file_text(dir + L"_backup_.dat"), "CRYP package");
    EXPECT_FALSE(file_exists(dir + L"new-in-v2.txt"));
    EXPECT_FALSE(file_exists(dir + product.ime + L".ime"));
    EXPECT_EQ(file_text(product.system_ime), "IME module");
    EXPECT_EQ(file_text(product.system_file), "system");
    EXPECT_EQ(product.layout(), layout);
    EXPECT_EQ(string_value(HKEY_LOCAL_MACHINE, product.uninstall_key, L"RegOwner").text, L"first owner");
    EXPECT_TRUE(file_exists(product.desktop_link));
    EXPECT_TRUE(file_exists(product.program_folder + L"\\系统设置.lnk"));
}

TEST(RunInstall, AFileThatCantBePlacedFailsTheRunWithItsErrorAndKeepsTheInstalledProduct) {
    ProgressPage first_page;
    InstallFixture first(L"run");
    add_full_product(first);
    const Product product(first);
    ProductCleanup cleanup(product);
    install::InstallRun first_run = page_run(first_page, first);
    ASSERT_EQ(install::run_install(first_run, first.install_dir().c_str(), L"first owner", L"c"), 1);
    const std::wstring dir = first.install_dir();
    const std::string list = file_text(dir + install::kInstallListName);

    // A newer package with a file whose folder can't be made: the user's
    // file of that name is in the way.
    ProgressPage page;
    InstallFixture second(L"run");
    second.adopt_product(first);
    second.add(L"config.exe", "settings program v2");
    second.add(L"blocked\\x.txt", "x");
    second.add_uninstaller("uninstaller v2");
    put_file(dir + L"blocked", "the user's file");
    install::InstallRun run = page_run(page, second);
    EXPECT_EQ(install::run_install(run, dir.c_str(), L"second owner", L"c"), 0);
    Rows expected = first_rows(3);
    expected.push_back(install::kRowFailed);
    EXPECT_EQ(page.rows(), expected);
    // The file that failed with its error, then the step.
    const auto& failures = page.recorded().failures();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].first, dir + L"blocked");
    EXPECT_EQ(failures[0].second, static_cast<unsigned long>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(failures[1].first, L"1.创建文件系统....");

    // Undone: the first install as it was, nothing of the second left.
    EXPECT_EQ(file_text(dir + L"config.exe"), "settings program");
    EXPECT_EQ(file_text(dir + L"unstall.exe"), "MZ uninstaller");
    EXPECT_EQ(file_text(dir + L"blocked"), "the user's file");
    EXPECT_EQ(file_text(dir + install::kInstallListName), list);
    EXPECT_EQ(file_text(product.system_ime), "IME module");
    EXPECT_EQ(string_value(HKEY_LOCAL_MACHINE, product.uninstall_key, L"RegOwner").text, L"first owner");
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((dir + L"~zz*").c_str(), &entry);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a new file left beside its target";
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    DeleteFileW((dir + L"blocked").c_str());
}

TEST(RunInstall, AFileInUseIsReplacedAtTheRestartAndTheLastRowSaysSo) {
    ProgressPage page;
    InstallFixture fixture(L"run");
    add_full_product(fixture);
    const Product product(fixture);
    ProductCleanup cleanup(product);
    const std::wstring busy = fixture.install_dir() + L"config.exe";
    const std::wstring staged = busy + install::kStagedSuffix;
    put_file(busy, "running settings program");
    install::InstallRun run = page_run(page, fixture);
    {
        support::UniqueHandle holder(
            CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        ASSERT_EQ(install::run_install(run, fixture.install_dir().c_str(), L"o", L"c"), 1);
    }
    Rows expected = first_rows(8);
    expected.push_back(install::kRowDoneAfterRestart);
    EXPECT_EQ(page.rows(), expected);
    EXPECT_EQ(page.position(), 100);
    EXPECT_EQ(run.restart_needed, 1);
    EXPECT_EQ(file_text(busy), "running settings program");
    EXPECT_EQ(file_text(staged), "settings program");
    EXPECT_EQ(install::scheduled_target(staged.c_str()), busy);
    EXPECT_TRUE(install::cancel_scheduled_replacement(staged.c_str()));
}

TEST(RunInstall, AnInstallFolderTooLongForItsSlotFailsInStepOne) {
    ProgressPage page;
    InstallFixture fixture(L"run");
    add_full_product(fixture);
    const Product product(fixture);
    ProductCleanup cleanup(product);
    const std::wstring long_dir = L"C:\\" + std::wstring(300, L'x');
    install::InstallRun run = page_run(page, fixture);
    EXPECT_EQ(install::run_install(run, long_dir.c_str(), L"o", L"c"), 0);
    // Cut to 259 units, no room left for the backslash.
    EXPECT_EQ(std::wstring(run.install_dir), long_dir.substr(0, 259));
    Rows expected = first_rows(3);
    expected.push_back(install::kRowFailed);
    EXPECT_EQ(page.rows(), expected);
    EXPECT_EQ(product.traces(), std::vector<std::wstring>{});
    EXPECT_FALSE(folder_exists(without_backslash(fixture.workspace())));
}

TEST(RunInstall, ACallersJournalIsCommittedAndStaysTheCallers) {
    ProgressPage page;
    InstallFixture fixture(L"run");
    add_full_product(fixture);
    const Product product(fixture);
    ProductCleanup cleanup(product);
    install::InstallJournal journal(fixture.scratch_file(L"journal").c_str());
    install::InstallRun run = page_run(page, fixture);
    run.journal = &journal;
    ASSERT_EQ(install::run_install(run, fixture.install_dir().c_str(), L"o", L"c"), 1);
    EXPECT_EQ(run.journal, &journal);
    EXPECT_EQ(journal.size(), 0u);
    journal.rollback();  // committed: nothing is left to undo
    EXPECT_EQ(file_text(fixture.install_dir() + L"config.exe"), "settings program");
}

// --- the demo product ---

#ifdef DEMO_IME_PRODUCT_DIR
// The demo product's folder as the build lays it out, as a Windows path.
std::wstring demo_product_dir() {
    std::wstring path = L"Z:";
    for (const char* p = DEMO_IME_PRODUCT_DIR; *p != '\0'; ++p) path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(*p));
    return path + L"\\";
}
#endif

// Every file below `folder`, as paths relative to it.
void list_files(const std::wstring& folder, const std::wstring& relative, std::vector<std::wstring>& files) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + relative + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) list_files(folder, relative + name + L"\\", files);
        else files.push_back(relative + name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

TEST(RunInstall, TheDemoProductInstallsWithEveryFileShortcutAndLayout) {
#ifndef DEMO_IME_PRODUCT_DIR
    GTEST_SKIP() << "built without the demo product";
#else
    const std::wstring demo = demo_product_dir();
    ASSERT_TRUE(file_exists(demo + L"ZZPinyin.ime")) << "the demo product folder isn't laid out";
    ProgressPage page;
    InstallFixture fixture(L"demo");
    // The demo's own record, with names of this test's own so that it
    // can't meet another install of the demo; nothing is opened at the end.
    fixture.info.shortcut_flags = 0x1FE0;
    support::copy_slot(support::wide_slot(fixture.info.help_telephone), L"010-12345678");
    ASSERT_EQ(install::copy_tree(demo.c_str(), fixture.extract().c_str(), 1), 1);
    ASSERT_TRUE(MoveFileW((fixture.extract() + L"ZZPinyin.ime").c_str(),
                          (fixture.extract() + fixture.ime_name() + L".ime").c_str()));
    fixture.add(L"InstallInfo.dif", std::string(reinterpret_cast<const char*>(&fixture.info), sizeof fixture.info));
    fixture.add_uninstaller();
    fixture.add_package();
    Product product(fixture);
    const std::wstring fonts = special_folder(CSIDL_FONTS);
    product.extra_files = {system_dir() + L"ZZPinyin.lex", windows_dir() + L"ZZPinyin.ini",
                           fonts + L"Comfortaa-Regular.ttf"};
    for (const std::wstring& file : product.extra_files)
        if (file_exists(file)) GTEST_SKIP() << "the demo product is installed in this prefix already";
    product.extra_font_values = {L"Comfortaa-Regular(TrueType)"};
    ProductCleanup cleanup(product);

    install::InstallRun run = page_run(page, fixture);
    ASSERT_EQ(install::run_install(run, fixture.install_dir().c_str(), L"演示用户", L"演示公司"), 1);
    EXPECT_EQ(page.rows(), kSuccessRows);
    EXPECT_EQ(page.position(), 100);

    // Every file of the product folder, byte for byte, where it belongs.
    std::vector<std::wstring> files;
    list_files(demo, L"", files);
    ASSERT_FALSE(files.empty());
    for (const std::wstring& file : files) {
        std::wstring placed = fixture.install_dir() + file;
        if (file == L"ZZPinyin.ime") placed = product.system_ime;
        else if (file.rfind(L"$system32$\\", 0) == 0) placed = system_dir() + file.substr(11);
        else if (file.rfind(L"$windows$\\", 0) == 0) placed = windows_dir() + file.substr(10);
        else if (file.rfind(L"$fonts$\\", 0) == 0) placed = fonts + file.substr(8);
        else if (file.rfind(L"$dataFiles$\\", 0) == 0) placed = product.data + file.substr(12);
        EXPECT_EQ(wintest::read_file(placed), wintest::read_file(demo + file)) << file;
    }
    EXPECT_EQ(string_value(HKEY_LOCAL_MACHINE, install::kFontsKey, L"Comfortaa-Regular(TrueType)").text,
              L"Comfortaa-Regular.ttf");
    EXPECT_NE(product.layout(), nullptr);
    const std::wstring program = product.program_folder + L"\\";
    for (const wchar_t* link : {L"系统设置.lnk", L"使用帮助.lnk", L"检查更新.lnk", L"更多工具\\码表查询.lnk",
                                L"更多工具\\按键功能.lnk", L"更多工具\\添加用户词.lnk", L"更多工具\\修复安装.lnk",
                                L"更多工具\\卸载软件.lnk"})
        EXPECT_TRUE(file_exists(program + link)) << link;
    EXPECT_TRUE(file_exists(product.desktop_link));
    EXPECT_EQ(string_value(HKEY_LOCAL_MACHINE, product.uninstall_key, L"UninstallString").text,
              L"\"" + fixture.install_dir() + L"Unstall.exe\" -u name=[" + product.ime + L"]");
#endif
}

// --- the steps of the run's own ---

TEST(RunSteps, BackupKeepsThePackageAndRepairsFromItInPlace) {
    InstallFixture fixture(L"run");
    fixture.add_package("the package");
    install::InstallRun run = install::make_install_run(nullptr, &fixture.info, &fixture.context);
    support::copy_slot(run.install_dir, fixture.install_dir().c_str());
    CreateDirectoryW(without_backslash(fixture.scratch_file(L"Program Files\\")).c_str(), nullptr);
    CreateDirectoryW(without_backslash(fixture.install_dir()).c_str(), nullptr);
    EXPECT_EQ(install::backup_package(run), 1);
    const std::wstring kept = fixture.install_dir() + L"_backup_.dat";
    EXPECT_EQ(file_text(kept), "the package");

    // Repair reads its package from the kept file itself: nothing to copy.
    support::copy_slot(fixture.context.package_path, kept.c_str());
    EXPECT_EQ(install::backup_package(run), 1);
    EXPECT_EQ(file_text(kept), "the package");

    DeleteFileW(kept.c_str());
    support::copy_slot(fixture.context.package_path, fixture.scratch_file(L"missing.cab").c_str());
    EXPECT_EQ(install::backup_package(run), 0);
    EXPECT_FALSE(file_exists(kept));
}

TEST(RunSteps, FinishingRemovesTheInstallInformationAndTheWorkspace) {
    InstallFixture fixture(L"run");
    fixture.add(L"leftover.txt", "x");
    install::InstallRun run = install::make_install_run(nullptr, &fixture.info, &fixture.context);
    support::copy_slot(run.install_dir, fixture.install_dir().c_str());
    put_file(fixture.install_dir() + L"InstallInfo.dif", "record");
    put_file(fixture.install_dir() + L"config.exe", "stays");
    install::finish_install(run);
    EXPECT_FALSE(file_exists(fixture.install_dir() + L"InstallInfo.dif"));
    EXPECT_TRUE(file_exists(fixture.install_dir() + L"config.exe"));
    EXPECT_FALSE(folder_exists(without_backslash(fixture.workspace())));
    install::finish_install(run);  // a second time: nothing left, nothing fails
}

}  // namespace
