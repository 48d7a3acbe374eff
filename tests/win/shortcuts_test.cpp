// The shortcut step against Wine's real shell links and special folders:
// each shortcut read back through IShellLinkW (target, arguments, working
// directory, description, icon), which exist for which shortcut_flags,
// the desktop's settings shortcut, and the file opened after the install.
#include "install/shortcuts.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/folders.h"
#include "app/records.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "package/install_info.h"
#include "progress_page.h"
#include "scratch.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace {

struct Link {
    bool loaded = false;
    std::wstring target, arguments, working_dir, description, icon_file;
    int icon_index = -1;
    bool has_arguments = false;  // the link file's own flag, not just an empty text
    std::uint32_t show = 0;      // the show command as the file stores it
};

// One link file as the shell reads it.
Link read_link(const std::wstring& path) {
    Link link;
    IShellLinkW* shell_link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shell_link))))
        return link;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            wchar_t text[INFOTIPSIZE];
            link.loaded = true;
            if (SUCCEEDED(shell_link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) link.target = text;
            if (SUCCEEDED(shell_link->GetArguments(text, INFOTIPSIZE))) link.arguments = text;
            if (SUCCEEDED(shell_link->GetWorkingDirectory(text, MAX_PATH))) link.working_dir = text;
            if (SUCCEEDED(shell_link->GetDescription(text, INFOTIPSIZE))) link.description = text;
            if (SUCCEEDED(shell_link->GetIconLocation(text, MAX_PATH, &link.icon_index))) link.icon_file = text;
        }
        file->Release();
    }
    shell_link->Release();
    // From the link header: the flags word (bit 0x20: the link has
    // arguments) and the show command. The shell hands SW_SHOW back as
    // SW_SHOWNORMAL, the one normal showing the link format knows.
    const std::vector<std::uint8_t> bytes = wintest::read_file(path);
    if (bytes.size() >= 0x40) {
        std::uint32_t flags = 0;
        std::memcpy(&flags, bytes.data() + 0x14, sizeof flags);
        link.has_arguments = (flags & 0x20) != 0;
        std::memcpy(&link.show, bytes.data() + 0x3C, sizeof link.show);
    }
    return link;
}

std::wstring special_folder(int csidl) {
    wchar_t path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) return L"";
    std::wstring folder = path;
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::vector<std::wstring> entries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// The current user's desktop moved to a scratch folder for the test, so
// that no link lands on the real one (Wine links it to the Unix home).
class DesktopRedirect {
public:
    DesktopRedirect() {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
        wchar_t old[MAX_PATH] = {};
        DWORD bytes = sizeof old - sizeof(wchar_t);
        had_value_ = RegQueryValueExW(key_.get(), L"Desktop", nullptr, &type_, reinterpret_cast<BYTE*>(old), &bytes) ==
                     ERROR_SUCCESS;
        old_ = old;
        const std::wstring path = folder_.path();
        RegSetValueExW(key_.get(), L"Desktop", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    }
    ~DesktopRedirect() {
        if (had_value_)
            RegSetValueExW(key_.get(), L"Desktop", 0, type_, reinterpret_cast<const BYTE*>(old_.c_str()),
                           static_cast<DWORD>((old_.size() + 1) * sizeof(wchar_t)));
        else
            RegDeleteValueW(key_.get(), L"Desktop");
    }
    DesktopRedirect(const DesktopRedirect&) = delete;
    DesktopRedirect& operator=(const DesktopRedirect&) = delete;
    std::wstring folder() const { return folder_.path() + L"\\"; }

private:
    static constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    wintest::ScratchFolder folder_{L"desktop"};
    support::UniqueKey key_;
    bool had_value_ = false;
    DWORD type_ = REG_SZ;
    std::wstring old_;
};

class ShortcutsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        info_ = {};
        support::copy_slot(support::wide_slot(info_.ime_name), ime_name_.c_str());
        support::copy_slot(support::wide_slot(info_.display_name), display_name_.c_str());
        run_ = install::make_install_run(nullptr, &info_, &context_);
        support::format_slot(run_.install_dir, L"%ls\\", folder_.path().c_str());
        program_folder_ = special_folder(CSIDL_COMMON_PROGRAMS) + display_name_ + L"\\";
        tools_folder_ = program_folder_ + L"更多工具\\";
    }
    void TearDown() override {
        wintest::remove_tree(program_folder_.substr(0, program_folder_.size() - 1));
        wchar_t data_dir[app::kPathUnits];
        if (app::common_data_dir(data_dir, ime_name_.c_str())) {
            std::wstring folder = data_dir;
            folder.pop_back();
            wintest::remove_tree(folder);
            // The vendor's folder goes too when no other product is in it.
            RemoveDirectoryW(folder.substr(0, folder.find_last_of(L'\\')).c_str());
        }
        CoUninitialize();
    }

    // Runs the step as the wizard does: on a worker thread of its own.
    int create_on_worker(std::uint32_t flags) {
        info_.shortcut_flags = flags;
        int result = -1;
        std::thread worker([&] { result = install::create_shortcuts(run_); });
        worker.join();
        return result;
    }

    std::wstring dir() const { return run_.install_dir; }

    void expect_link(const std::wstring& path, const std::wstring& target, const wchar_t* arguments,
                     const std::wstring& description, int icon_index) {
        SCOPED_TRACE(path);
        const Link link = read_link(path);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(link.target, target);
        if (arguments == nullptr) {
            EXPECT_EQ(link.arguments, L"");
            EXPECT_FALSE(link.has_arguments);
        } else {
            EXPECT_EQ(link.arguments, arguments);
            EXPECT_TRUE(link.has_arguments);
        }
        EXPECT_EQ(link.working_dir, dir());
        EXPECT_EQ(link.description, description);
        EXPECT_EQ(link.icon_file, target);
        EXPECT_EQ(link.icon_index, icon_index);
        EXPECT_EQ(link.show, static_cast<std::uint32_t>(SW_SHOW));
    }

    void place_user_word_table() {
        wchar_t data_dir[app::kPathUnits];
        ASSERT_TRUE(app::common_data_dir(data_dir, ime_name_.c_str()));
        ASSERT_TRUE(app::make_directory_path(data_dir));
        ASSERT_TRUE(wintest::write_file(std::wstring(data_dir) + L"danzi.zmi", {'z'}));
    }

    const std::wstring ime_name_ = wintest::unique_name(L"irlnk");
    const std::wstring display_name_ = wintest::unique_name(L"快捷测试");
    wintest::ScratchFolder folder_{L"irlnkdir"};
    DesktopRedirect desktop_;
    app::RunContext context_{};
    package::InstallInfo info_{};
    install::InstallRun run_;
    std::wstring program_folder_, tools_folder_;
};

TEST_F(ShortcutsTest, EveryShortcutWithItsTargetArgumentsAndIcon) {
    place_user_word_table();
    // All known bits, and unknown ones around them.
    EXPECT_EQ(create_on_worker(0x1FE0u | 0x1Fu | 0x80000000u), 1);

    const std::wstring& d = display_name_;
    const std::wstring& n = ime_name_;
    expect_link(program_folder_ + L"系统设置.lnk", dir() + L"config.exe", (L"/n '" + n + L"'").c_str(),
                d + L" 的使用习惯更改和设定", 0);
    expect_link(program_folder_ + L"使用帮助.lnk", dir() + L"main.chm", nullptr, L"查看 " + d + L" 的详细帮助文档", 0);
    expect_link(program_folder_ + L"检查更新.lnk", dir() + L"Unstall.exe", (L"-g name=[" + n + L"]").c_str(),
                L"检查 " + d + L" 的最新服务器版本", 0);
    expect_link(tools_folder_ + L"码表查询.lnk", dir() + L"config.exe",
                (L"/n '" + n + L"' /do mabiaochaxun").c_str(), L"查询 " + d + L" 中的编码定义", 2);
    expect_link(tools_folder_ + L"按键功能.lnk", dir() + L"config.exe",
                (L"/n '" + n + L"' /do anjianshezhi").c_str(), L"更改或定义 " + d + L" 按键功能", 3);
    expect_link(tools_folder_ + L"添加用户词.lnk", dir() + L"config.exe",
                (L"/n '" + n + L"' /do tianjiayonghuci").c_str(), d + L" 用户词添加操作", 6);
    expect_link(tools_folder_ + L"修复安装.lnk", dir() + L"Unstall.exe", (L"-r name=[" + n + L"]").c_str(),
                L"修复 " + d + L" 至新安装状态", 0);
    expect_link(tools_folder_ + L"卸载软件.lnk", dir() + L"Unstall.exe", (L"-u name=[" + n + L"]").c_str(),
                L"卸载 " + d + L" 程序", 0);

    EXPECT_EQ(entries(program_folder_),
              (std::vector<std::wstring>{L"使用帮助.lnk", L"更多工具", L"检查更新.lnk", L"系统设置.lnk"}));
    EXPECT_EQ(entries(tools_folder_).size(), 5u);
    // The settings shortcut also goes on the desktop, where the removal looks.
    expect_link(desktop_.folder() + d + L"系统设置.lnk", dir() + L"config.exe", (L"/n '" + n + L"'").c_str(),
                d + L" 的使用习惯更改和设定", 0);
}

TEST_F(ShortcutsTest, ALinkThatCannotBeWrittenIsNamedInTheStepList) {
    wintest::ProgressPage page;
    run_.report = page.report();
    info_.shortcut_flags = 0x800;
    // A file stands where the tools folder belongs.
    ASSERT_TRUE(CreateDirectoryW(program_folder_.c_str(), nullptr));
    ASSERT_TRUE(wintest::write_file(tools_folder_.substr(0, tools_folder_.size() - 1), {'x'}));

    EXPECT_EQ(install::create_shortcuts(run_), 1);

    EXPECT_EQ(page.rows(), std::vector<std::wstring>{L"创建快捷方式失败：" + tools_folder_ + L"卸载软件.lnk"});
}

TEST_F(ShortcutsTest, RepairAloneMakesTheToolsFolderWithOnlyItsShortcut) {
    EXPECT_EQ(create_on_worker(0x1000), 1);
    EXPECT_EQ(entries(program_folder_), std::vector<std::wstring>{L"更多工具"});
    EXPECT_EQ(entries(tools_folder_), std::vector<std::wstring>{L"修复安装.lnk"});
    EXPECT_TRUE(entries(desktop_.folder()).empty());
}

TEST_F(ShortcutsTest, UninstallAloneInTheToolsFolder) {
    EXPECT_EQ(create_on_worker(0x800), 1);
    EXPECT_EQ(entries(tools_folder_), std::vector<std::wstring>{L"卸载软件.lnk"});
}

TEST_F(ShortcutsTest, NoFlagsGiveAnEmptyProgramFolder) {
    EXPECT_EQ(create_on_worker(0), 1);
    EXPECT_TRUE(wintest::folder_exists(program_folder_));
    EXPECT_TRUE(entries(program_folder_).empty());
    EXPECT_TRUE(entries(desktop_.folder()).empty());
}

TEST_F(ShortcutsTest, UnknownBitsAloneMakeNothing) {
    EXPECT_EQ(create_on_worker(0xFFFFE01Fu), 1);
    EXPECT_TRUE(entries(program_folder_).empty());
}

TEST_F(ShortcutsTest, UserWordsNeedTheTableInTheDataFolder) {
    EXPECT_EQ(create_on_worker(0x400), 1);
    // The tools folder is made for the bit; the shortcut only with the table.
    EXPECT_TRUE(wintest::folder_exists(tools_folder_));
    EXPECT_TRUE(entries(tools_folder_).empty());
}

TEST_F(ShortcutsTest, HelpShortcutNamesTheInstalledHelpFileWhateverTheHelpLink) {
    for (const wchar_t* help_link : {L"", L"http://example.invalid/help"}) {
        support::copy_slot(support::wide_slot(info_.help_link), help_link);
        EXPECT_EQ(create_on_worker(0x40), 1);
        expect_link(program_folder_ + L"使用帮助.lnk", dir() + L"main.chm", nullptr,
                    L"查看 " + display_name_ + L" 的详细帮助文档", 0);
    }
}

TEST_F(ShortcutsTest, DisplayNameThatLeavesTheStartMenuMakesNoShortcut) {
    const std::wstring programs = special_folder(CSIDL_COMMON_PROGRAMS);
    const std::vector<std::wstring> before = entries(programs);
    const std::vector<std::wstring> parent_before = entries(programs + L"..\\");
    for (const wchar_t* bad : {L"", L"..", L"..\\escape", L"a/b"}) {
        support::copy_slot(support::wide_slot(info_.display_name), bad);
        EXPECT_EQ(create_on_worker(0x1FE0), 1) << bad;
    }
    EXPECT_EQ(entries(programs), before);
    EXPECT_EQ(entries(programs + L"..\\"), parent_before);
    EXPECT_TRUE(entries(desktop_.folder()).empty());
}

TEST_F(ShortcutsTest, RollbackTakesBackLinksAndFolders) {
    wintest::ScratchFolder backups{L"irlnkbak"};
    install::InstallJournal journal(backups.path().c_str());
    run_.journal = &journal;
    EXPECT_EQ(create_on_worker(0x18E0), 1);
    ASSERT_EQ(entries(tools_folder_).size(), 2u);

    journal.rollback();

    EXPECT_FALSE(wintest::folder_exists(program_folder_));
    EXPECT_TRUE(entries(desktop_.folder()).empty());
}

TEST_F(ShortcutsTest, RollbackOfARepairKeepsTheEarlierShortcuts) {
    EXPECT_EQ(create_on_worker(0x80), 1);
    const std::vector<std::uint8_t> earlier = wintest::read_file(program_folder_ + L"系统设置.lnk");
    ASSERT_FALSE(earlier.empty());

    wintest::ScratchFolder backups{L"irlnkbak"};
    install::InstallJournal journal(backups.path().c_str());
    run_.journal = &journal;
    EXPECT_EQ(create_on_worker(0x880), 1);
    journal.rollback();

    EXPECT_EQ(wintest::read_file(program_folder_ + L"系统设置.lnk"), earlier);
    EXPECT_FALSE(wintest::folder_exists(tools_folder_));
    EXPECT_TRUE(wintest::file_exists(desktop_.folder() + display_name_ + L"系统设置.lnk"));
}

TEST_F(ShortcutsTest, WorksOnAThreadInTheFreeThreadedModel) {
    info_.shortcut_flags = 0x20;
    int result = -1;
    std::thread worker([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        result = install::create_shortcuts(run_);
        CoUninitialize();
    });
    worker.join();
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(read_link(program_folder_ + L"检查更新.lnk").loaded);
}

TEST_F(ShortcutsTest, OpensThePostInstallFile) {
    // A batch file that leaves a mark shows that the shell opened it.
    const std::wstring mark = dir() + L"opened.txt";
    const std::string script = "@echo opened> \"" + std::string(mark.begin(), mark.end()) + "\"\r\n";
    ASSERT_TRUE(wintest::write_file(dir() + L"readme.bat", std::vector<std::uint8_t>(script.begin(), script.end())));
    support::copy_slot(support::wide_slot(info_.post_install_open), L"readme.bat");

    EXPECT_EQ(create_on_worker(0), 1);

    for (int i = 0; i < 100 && !wintest::file_exists(mark); ++i) Sleep(100);
    EXPECT_TRUE(wintest::file_exists(mark));
    // The interpreter running the file may still be in the folder for a
    // moment; the folder can go once it has left.
    for (int i = 0; i < 50 && !wintest::remove_tree(folder_.path()); ++i) Sleep(100);
}

TEST(CreateShellLink, WritesOneLinkAndSaysWhetherItWasSaved) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    wintest::ScratchFolder folder{L"irlnkone"};
    const std::wstring link = folder.file(L"one.lnk");
    const std::wstring target = L"C:\\windows\\notepad.exe";
    EXPECT_EQ(install::create_shell_link(target.c_str(), L"说明", link.c_str(), L"C:\\windows\\", L"a b", 4), 1);
    const Link read = read_link(link);
    ASSERT_TRUE(read.loaded);
    EXPECT_EQ(read.target, target);
    EXPECT_EQ(read.arguments, L"a b");
    EXPECT_EQ(read.working_dir, L"C:\\windows\\");
    EXPECT_EQ(read.description, L"说明");
    EXPECT_EQ(read.icon_index, 4);

    // A folder that doesn't exist can't hold the link: no success then.
    EXPECT_EQ(install::create_shell_link(target.c_str(), L"", folder.file(L"missing\\x.lnk").c_str(), L"", nullptr, 0),
              0);
    CoUninitialize();
}

}  // namespace
