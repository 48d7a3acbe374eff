// The uninstall run against Wine's real file system, registry and shell
// folders: what a product left on the machine goes, its neighbours stay
// (another product's keys, data folder and Start-menu folder), and a run
// that finds nothing to do still posts its seven rows.
#include "remove/uninstall_run.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/folders.h"
#include "install/registry_entries.h"
#include "remove/install_ownership.h"
#include "install_fixture.h"
#include "progress_page.h"
#include "scratch.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace {

using Rows = std::vector<std::wstring>;
using wintest::file_exists;
using wintest::folder_exists;
using wintest::put_file;

const Rows kRows = {L"开始卸载...",        L"  1.卸载输入接口...", L"  2.删除文件系统...", L"  3.删除快捷方式...",
                    L"  4.删除注册表信息...", L"  5.卸载输入法...",   L"  6.卸载完成."};

const wchar_t* const kLinks[] = {L"系统设置.lnk",           L"使用帮助.lnk",           L"检查更新.lnk",
                                 L"更多工具\\码表查询.lnk", L"更多工具\\按键功能.lnk", L"更多工具\\添加用户词.lnk",
                                 L"更多工具\\修复安装.lnk", L"更多工具\\卸载软件.lnk"};

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The seven rows with `row` after step 2's.
Rows rows_with(const std::wstring& row) {
    Rows rows = kRows;
    rows.insert(rows.begin() + 3, row);
    return rows;
}

std::wstring row_of(const wchar_t* format, const std::wstring& folder) {
    wchar_t row[520];
    support::format_slot(row, format, folder.c_str());
    return row;
}

std::wstring key_path(const wchar_t* parent, const std::wstring& name) { return std::wstring(parent) + L"\\" + name; }

void create_key(HKEY root, const std::wstring& path) {
    support::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
}

bool key_exists(HKEY root, const std::wstring& path) {
    support::UniqueKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void delete_key(HKEY root, const std::wstring& path) { RegDeleteKeyW(root, path.c_str()); }

// What an installed product leaves on the machine, under unique names,
// and a neighbouring product's pieces beside each of them.
class InstalledProduct {
public:
    InstalledProduct() {
        support::copy_slot(command.product_name, ime_.c_str());
        support::copy_slot(command.display_name, display_.c_str());
        support::copy_slot(command.install_dir, install_dir_.c_str());

        put_file(install_dir_ + L"unstall.exe", "uninstaller");
        put_file(install_dir_ + L"_backup_.dat", "package");
        // The install's list of what it placed: the folder was its own.
        put_file(install_dir_ + L"_installed_.lst", "product=" + narrow(ime_) +
                                                        "\r\nfolder=own\r\nunstall.exe\r\n_backup_.dat\r\n"
                                                        "ITF\\Interface.dll\r\n_installed_.lst\r\n");
        // An interface library without the export: step 1 loads it, finds
        // nothing to call and the run goes on.
        CopyFileW(wintest::fixture_path(L"verfix_none.dll").c_str(), (install_dir_ + L"ITF\\Interface.dll").c_str(),
                  FALSE);
        put_file(data_dir(ime_) + L"config.dsc", "settings");
        put_file(data_dir(other_) + L"config.dsc", "the other product's settings");
        for (const wchar_t* link : kLinks) put_file(program_folder(display_) + link, "link");
        put_file(program_folder(display_) + L"我的笔记.txt", "the user's own file");
        put_file(program_folder(other_) + L"系统设置.lnk", "the other product's link");
        for (const auto& [root, parent] : kKeys) {
            create_key(root, key_path(parent, ime_));
            create_key(root, key_path(parent, other_));
        }
    }
    ~InstalledProduct() {
        for (const auto& [root, parent] : kKeys) {
            delete_key(root, key_path(parent, ime_));
            delete_key(root, key_path(parent, other_));
        }
        for (const std::wstring& folder : {data_dir(ime_), data_dir(other_), program_folder(display_),
                                           program_folder(other_)})
            wintest::remove_tree(folder);
    }
    InstalledProduct(const InstalledProduct&) = delete;
    InstalledProduct& operator=(const InstalledProduct&) = delete;

    static std::wstring program_folder(const std::wstring& name) {
        return wintest::special_folder(CSIDL_COMMON_PROGRAMS) + name + L"\\";
    }
    static std::wstring data_dir(const std::wstring& name) { return wintest::data_dir(name); }

    // Everything of this product is gone.
    void expect_removed() const {
        EXPECT_FALSE(folder_exists(install_dir_));
        EXPECT_FALSE(folder_exists(data_dir(ime_)));
        EXPECT_FALSE(folder_exists(program_folder(display_)));
        for (const auto& [root, parent] : kKeys) EXPECT_FALSE(key_exists(root, key_path(parent, ime_))) << parent;
    }
    // Everything of the neighbour is still there.
    void expect_neighbour_kept() const {
        EXPECT_TRUE(folder_exists(scratch_.path()));
        EXPECT_TRUE(file_exists(data_dir(other_) + L"config.dsc"));
        EXPECT_TRUE(file_exists(program_folder(other_) + L"系统设置.lnk"));
        for (const auto& [root, parent] : kKeys) EXPECT_TRUE(key_exists(root, key_path(parent, other_))) << parent;
        EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, install::kVendorKey));
    }

    app::CommandRecord command{};

private:
    struct RootKey {
        HKEY root;
        const wchar_t* parent;
    };
    static inline const RootKey kKeys[] = {{HKEY_LOCAL_MACHINE, install::kUninstallKey},
                                        {HKEY_LOCAL_MACHINE, install::kVendorKey},
                                        {HKEY_CURRENT_USER, install::kVendorKey}};

    wintest::ScratchFolder scratch_{L"uninstall"};
    std::wstring ime_ = wintest::unique_name(L"zzrm");
    std::wstring other_ = wintest::unique_name(L"zzkeep");
    std::wstring display_ = wintest::unique_name(L"卸载测试");
    std::wstring install_dir_ = scratch_.file(display_) + L"\\";
};

Rows run_over_page(app::CommandRecord* command, int* position = nullptr) {
    wintest::ProgressPage page;
    removal::UninstallRun run = removal::make_uninstall_run(page.report(), command);
    EXPECT_EQ(removal::run_uninstall(run), 1);
    EXPECT_EQ(run.percent, 100);
    if (position != nullptr) *position = page.position();
    return page.rows();
}

TEST(UninstallRun, RemovesTheProductTwiceOverAndLeavesItsNeighbours) {
    InstalledProduct product;
    int position = 0;
    EXPECT_EQ(run_over_page(&product.command, &position), kRows);
    EXPECT_EQ(position, 100);
    product.expect_removed();
    product.expect_neighbour_kept();

    // Again, now that everything is gone: the same seven rows, nothing
    // more removed.
    EXPECT_EQ(run_over_page(&product.command), kRows);
    product.expect_neighbour_kept();
}

TEST(UninstallRun, TheLogHearsOfEveryFileLinkAndKeyItRemoves) {
    using support::Touch;
    InstalledProduct product;
    wintest::ProgressPage page;
    removal::UninstallRun run = removal::make_uninstall_run(page.report(), &product.command);
    EXPECT_EQ(removal::run_uninstall(run), 1);
    const wintest::ReportRecorder& log = page.recorded();
    const std::wstring dir = product.command.install_dir;
    const std::wstring ime = product.command.product_name;
    for (const wchar_t* file : {L"unstall.exe", L"_backup_.dat", L"_installed_.lst"})
        EXPECT_TRUE(log.has(Touch::file_deleted, dir + file)) << file;
    EXPECT_TRUE(log.has(Touch::file_deleted, InstalledProduct::data_dir(ime) + L"config.dsc"));
    const std::wstring links = InstalledProduct::program_folder(product.command.display_name);
    for (const wchar_t* link : kLinks) EXPECT_TRUE(log.has(Touch::shortcut_removed, links + link)) << link;
    // The user's own file in the Start-menu folder goes with it, and says so.
    EXPECT_TRUE(log.has(Touch::file_deleted, links + L"我的笔记.txt"));
    for (const wchar_t* key : {L"HKLM\\", L"HKCU\\"})
        EXPECT_TRUE(log.has(Touch::key_removed, key + std::wstring(install::kVendorKey) + L"\\" + ime)) << key;
    EXPECT_TRUE(log.has(Touch::key_removed, L"HKLM\\" + std::wstring(install::kUninstallKey) + L"\\" + ime));
    EXPECT_EQ(log.failures().size(), 0u);
    EXPECT_EQ(run.restart_needed, 0);
}

TEST(UninstallRun, DisplayNamesThatArentPlainLeaveTheStartMenuAlone) {
    // An empty display name would name the Programs folder itself, ".."
    // the Start menu above it.
    InstalledProduct product;
    const std::wstring programs = wintest::special_folder(CSIDL_COMMON_PROGRAMS);
    const std::wstring marker = programs + wintest::unique_name(L"loose") + L".lnk";
    ASSERT_TRUE(put_file(marker, "a link straight in Programs"));

    app::CommandRecord command{};
    support::copy_slot(command.install_dir, product.command.install_dir);
    for (const wchar_t* name : {L"", L"..", L"a\\..\\.."}) {
        support::copy_slot(command.display_name, name);
        support::copy_slot(command.product_name, name);
        // No product of such a name owns the folder either.
        EXPECT_EQ(run_over_page(&command), rows_with(row_of(removal::kNotOursFormat, command.install_dir)));
    }
    EXPECT_TRUE(file_exists(std::wstring(command.install_dir) + L"unstall.exe"));
    EXPECT_TRUE(file_exists(marker));
    EXPECT_TRUE(file_exists(InstalledProduct::program_folder(product.command.display_name) + L"我的笔记.txt"));
    product.expect_neighbour_kept();
    DeleteFileW(marker.c_str());
}

// A folder the install shared with the user's files loses only what the
// install listed; a folder the product has no list in (another product's,
// or one a tampered value names) loses nothing. A row says so each time.
TEST(UninstallRun, OnlyTheListedFilesOfTheProductGoAndARowSaysWhatStayed) {
    InstalledProduct product;
    const std::wstring dir = product.command.install_dir;
    ASSERT_TRUE(put_file(dir + L"我的文档.txt", "the user's own file"));
    EXPECT_EQ(run_over_page(&product.command), rows_with(row_of(removal::kOthersKeptFormat, dir)));
    EXPECT_EQ(wintest::file_text(dir + L"我的文档.txt"), "the user's own file");
    for (const wchar_t* name : {L"unstall.exe", L"_backup_.dat", L"_installed_.lst", L"ITF"})
        EXPECT_FALSE(file_exists(dir + name) || folder_exists(dir + name)) << name;

    wintest::ScratchFolder other(L"other product");
    const std::wstring folder = other.file(L"Other") + L"\\";
    for (const wchar_t* name : {L"unstall.exe", L"_backup_.dat", L"sentinel.txt"}) ASSERT_TRUE(put_file(folder + name, "x"));
    ASSERT_TRUE(put_file(folder + L"_installed_.lst", "product=Other\r\nfolder=own\r\nunstall.exe\r\n"));
    support::copy_slot(product.command.install_dir, folder.c_str());
    EXPECT_EQ(run_over_page(&product.command), rows_with(row_of(removal::kNotOursFormat, folder)));
    for (const wchar_t* name : {L"unstall.exe", L"_backup_.dat", L"sentinel.txt", L"_installed_.lst"})
        EXPECT_TRUE(file_exists(folder + name)) << name;

    // A list that leads out of its folder is no list at all.
    ASSERT_TRUE(put_file(folder + L"_installed_.lst", "product=" + narrow(product.command.product_name) +
                                                          "\r\nfolder=own\r\nunstall.exe\r\n..\\outside.txt\r\n"));
    ASSERT_TRUE(put_file(other.file(L"outside.txt"), "x"));
    EXPECT_EQ(run_over_page(&product.command), rows_with(row_of(removal::kNotOursFormat, folder)));
    EXPECT_TRUE(file_exists(other.file(L"outside.txt")));
    EXPECT_TRUE(file_exists(folder + L"unstall.exe"));
}

TEST(UninstallRun, ARecordWithoutDialogOrCommandPostsNowhereAndRemovesNothing) {
    removal::UninstallRun run = removal::make_uninstall_run(nullptr);
    ASSERT_NE(run.report, nullptr);
    EXPECT_EQ(run.command, nullptr);  // no start-up records in a test program
    EXPECT_EQ(removal::run_uninstall(run), 1);
    EXPECT_EQ(run.percent, 100);
}

}  // namespace
