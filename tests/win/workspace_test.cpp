// The workspace folder, the relaunch from the temporary folder and the
// self-deletion command, under Wine's real shell, interpreter and message
// boxes.
//
// The relaunch starts a copy of this very program under the temporary
// copy's name: started so, the program only writes its command line to
// the file named by kRelaunchLogVariable and ends (see kActingAsCopy).
// Each test points TMP at a scratch folder, so the copy lands there.
#include "app/workspace.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "app/folders.h"
#include "app/startup_messages.h"
#include "scoped_variable.h"
#include "scratch.h"
#include "support/format_bounded.h"

namespace {

using wintest::file_exists;
using wintest::folder_exists;
using wintest::ScopedVariable;
using wintest::ScratchFolder;

constexpr wchar_t kRelaunchLogVariable[] = L"WORKSPACE_TEST_RELAUNCH_LOG";

void append_line(const wchar_t* log, const wchar_t* line) {
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::wstring text = std::wstring(line) + L"\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

// Started as the temporary copy, the program records how it was started.
const bool kActingAsCopy = [] {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (std::wcsstr(self, app::kTemporaryCopyName) == nullptr) return false;
    wchar_t log[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(kRelaunchLogVariable, log, MAX_PATH);
    if (n != 0 && n < MAX_PATH) append_line(log, GetCommandLineW());
    ExitProcess(0);
}();

std::wstring own_path() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring read_text(const std::wstring& path) {
    const std::vector<std::uint8_t> bytes = wintest::read_file(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

// The copy's log is whole once its line ends (the copy may still be
// writing it when the file appears).
bool logged(const std::wstring& log) {
    return file_exists(log) && read_text(log).find(L'\n') != std::wstring::npos;
}

bool soon(const auto& condition) {
    for (int i = 0; i < 300 && !condition(); ++i) Sleep(50);
    return condition();
}

// Answers the message boxes of this process (OK) until one with
// `caption` has come, and keeps its text. The system may show a box of its
// own first (a program the shell can't start), which is answered too.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(const wchar_t* caption)
        : caption_(caption), thread_([this] { answer(); }) {}
    ~MessageBoxAnswerer() { text(); }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    // The text of the box with the caption; empty when none came.
    std::wstring text() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return text_;
    }

private:
    static BOOL CALLBACK find_box(HWND window, LPARAM found) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t class_name[16] = {};
        GetClassNameW(window, class_name, 16);
        if (process == GetCurrentProcessId() && std::wcscmp(class_name, L"#32770") == 0 && IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    void answer() {
        for (int i = 0; i < 400 && !stop_; ++i) {
            HWND box = nullptr;
            EnumWindows(find_box, reinterpret_cast<LPARAM>(&box));
            if (box == nullptr) {
                Sleep(50);
                continue;
            }
            wchar_t caption[256] = {};
            wchar_t text[512] = {};
            GetWindowTextW(box, caption, 256);
            GetDlgItemTextW(box, 0xFFFF, text, 512);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            if (caption_ == caption) {
                text_ = text;
                return;
            }
            Sleep(200);
        }
    }

    std::wstring caption_;
    std::wstring text_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// TMP and TEMP both naming `folder` for one test.
struct TempFolderIs {
    explicit TempFolderIs(const std::wstring& folder) : tmp(L"TMP", folder.c_str()), temp(L"TEMP", folder.c_str()) {}
    ScopedVariable tmp;
    ScopedVariable temp;
};

// --- the workspace folder ---------------------------------------------------

// The workspaces made under `folder`, by name.
std::vector<std::wstring> workspaces_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\__ZZIMEInstall.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

TEST(MakeWorkspaceDir, EachRunGetsANewUnpredictableFolder) {
    ScratchFolder scratch(L"ws");
    const TempFolderIs redirected(scratch.path() + L"\\");
    app::RunContext first{};
    app::RunContext second{};
    ASSERT_EQ(app::make_workspace_dir(first), app::Workspace::Made);
    ASSERT_EQ(app::make_workspace_dir(second), app::Workspace::Made);
    const std::wstring name = std::wstring(first.workspace_dir).substr(scratch.path().size() + 1);
    // "__ZZIMEInstall." and 16 hexadecimal digits, then the backslash.
    ASSERT_EQ(name.size(), 15u + 16u + 1u) << name;
    EXPECT_EQ(name.substr(0, 15), L"__ZZIMEInstall.");
    EXPECT_EQ(name.find_first_not_of(L"0123456789abcdef", 15), 31u) << name;
    EXPECT_STRNE(first.workspace_dir, second.workspace_dir);
    EXPECT_TRUE(folder_exists(first.workspace_dir));
    EXPECT_EQ(workspaces_in(scratch.path()).size(), 2u);
    app::discard_workspace(first);
    app::discard_workspace(second);
    EXPECT_TRUE(workspaces_in(scratch.path()).empty());
}

TEST(MakeWorkspaceDir, AWorkspaceThatCantBeMadeFailsAndNothingUsesIt) {
    ScratchFolder scratch(L"ws");
    ASSERT_TRUE(wintest::write_file(scratch.file(L"file"), {'x'}));
    {
        // A file stands where the temporary folder should be.
        const TempFolderIs redirected(scratch.file(L"file") + L"\\sub");
        app::RunContext run{};
        EXPECT_EQ(app::make_workspace_dir(run), app::Workspace::Failed);
        EXPECT_EQ(run.workspace_dir[0], L'\0');
        EXPECT_EQ(app::prepare_package(run), 0);
    }
    {
        // 240 characters: the workspace's name would be cut, and a cut
        // name would be another folder (which the clean-up would remove).
        std::wstring long_temp = scratch.path() + L"\\";
        while (long_temp.size() < 240) long_temp += L"t";
        ASSERT_TRUE(CreateDirectoryW(long_temp.c_str(), nullptr));
        const TempFolderIs redirected(long_temp);
        app::RunContext run{};
        EXPECT_EQ(app::make_workspace_dir(run), app::Workspace::Failed);
        EXPECT_EQ(run.workspace_dir[0], L'\0');
        EXPECT_TRUE(workspaces_in(long_temp).empty());
        RemoveDirectoryW(long_temp.c_str());
    }
}

// --- the temporary copy -----------------------------------------------------

TEST(TemporaryCopy, IsRecognisedByItsExactNameInItsOwnWorkspaceOnly) {
    EXPECT_TRUE(app::is_temporary_copy(L"C:\\users\\me\\Temp\\___zinzin_install_base___.exe"));
    EXPECT_FALSE(app::is_temporary_copy(L"C:\\Temp\\___ZINZIN_INSTALL_BASE___.EXE"));
    EXPECT_FALSE(app::is_temporary_copy(L"C:\\Temp\\setup.exe"));
    EXPECT_FALSE(app::is_temporary_copy(nullptr));

    // Started under the copy's name from anywhere but a workspace of the
    // temporary folder, it is no copy: it would otherwise take the folder
    // it was started from (a download folder) for its workspace.
    ScratchFolder scratch(L"ws");
    const TempFolderIs redirected(scratch.path());
    for (const std::wstring& folder :
         {scratch.path(), scratch.file(L"__ZZIMEInstall.0123"), scratch.file(L"__ZZIMEInstall.0123456789abcdef\\x"),
          scratch.file(L"other.0123456789abcdef")}) {
        ASSERT_TRUE(app::make_directory_path(folder.c_str()));
        app::RunContext run{};
        support::copy_slot(run.module_path, (folder + L"\\" + app::kTemporaryCopyName).c_str());
        EXPECT_FALSE(app::adopt_workspace(run)) << folder;
        EXPECT_FALSE(app::runs_in_own_workspace(run));
    }
    const std::wstring own = scratch.file(L"__ZZIMEInstall.0123456789abcdef");
    app::RunContext run{};
    support::copy_slot(run.module_path, (own + L"\\" + app::kTemporaryCopyName).c_str());
    ASSERT_TRUE(app::adopt_workspace(run));
    EXPECT_EQ(std::wstring(run.workspace_dir), own + L"\\");
    EXPECT_TRUE(app::runs_in_own_workspace(run));
    app::discard_workspace(run);
}

// --- the relaunch -------------------------------------------------------------

TEST(RelaunchFromTemp, TheCopyKeepsItsArgumentsAndGoesOn) {
    ScratchFolder scratch(L"relaunch");
    const TempFolderIs redirected(scratch.path());
    const std::wstring own = scratch.file(L"__ZZIMEInstall.00112233aabbccdd");
    ASSERT_TRUE(CreateDirectoryW(own.c_str(), nullptr));
    app::RunContext run{};
    support::copy_slot(run.module_path, (own + L"\\" + app::kTemporaryCopyName).c_str());
    ASSERT_TRUE(app::adopt_workspace(run));
    EXPECT_EQ(app::relaunch_from_temp(run, L"-u name=[X] file=C:\\setup.exe"), app::Relaunch::Continue);
    EXPECT_STREQ(run.command_line, L"-u name=[X] file=C:\\setup.exe");

    const std::wstring long_arguments(300, L'a');
    EXPECT_EQ(app::relaunch_from_temp(run, long_arguments.c_str()), app::Relaunch::Continue);
    EXPECT_EQ(std::wstring(run.command_line), long_arguments.substr(0, 259));
    app::discard_workspace(run);
}

TEST(RelaunchFromTemp, CopiesItselfIntoItsWorkspaceStartsTheCopyWithFileAndStops) {
    ScratchFolder scratch(L"relaunch");
    const TempFolderIs redirected(scratch.path());
    const std::wstring log = scratch.file(L"started.log");
    const ScopedVariable log_variable(kRelaunchLogVariable, log.c_str());

    // Started from a read-only file.
    const std::wstring source = scratch.file(L"setup folder & more") + L"\\setup.exe";
    ASSERT_TRUE(CreateDirectoryW(scratch.file(L"setup folder & more").c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(own_path().c_str(), source.c_str(), FALSE));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);

    app::RunContext run{};
    support::copy_slot(run.module_path, source.c_str());
    EXPECT_EQ(app::relaunch_from_temp(run, L"-g name=[Some IME]"), app::Relaunch::Stop);
    EXPECT_EQ(std::wstring(run.command_line), L"-g name=[Some IME] file=" + source);
    const std::wstring copy = std::wstring(run.workspace_dir) + app::kTemporaryCopyName;
    EXPECT_EQ(std::wstring(run.workspace_dir).rfind(scratch.path() + L"\\__ZZIMEInstall.", 0), 0u);

    ASSERT_TRUE(soon([&] { return logged(log); })) << "the copy was not started";
    const std::wstring started = read_text(log);
    EXPECT_NE(started.find(copy), std::wstring::npos) << started;
    EXPECT_NE(started.find(L"-g name=[Some IME] file=" + source + L"\n"), std::wstring::npos) << started;
    // The copy is this program and isn't read-only.
    EXPECT_EQ(wintest::read_file(copy), wintest::read_file(own_path()));
    EXPECT_EQ(GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(soon([&] { return DeleteFileW(copy.c_str()) || !file_exists(copy); }));
    app::discard_workspace(run);
}

TEST(RelaunchFromTemp, NoArgumentsGiveASpaceBeforeFile) {
    ScratchFolder scratch(L"relaunch");
    const TempFolderIs redirected(scratch.path());
    const std::wstring log = scratch.file(L"started.log");
    const ScopedVariable log_variable(kRelaunchLogVariable, log.c_str());
    app::RunContext run{};
    support::copy_slot(run.module_path, own_path().c_str());
    EXPECT_EQ(app::relaunch_from_temp(run, L""), app::Relaunch::Stop);
    EXPECT_EQ(std::wstring(run.command_line), L" file=" + own_path());
    ASSERT_TRUE(soon([&] { return logged(log); }));
    EXPECT_NE(read_text(log).find(L" file=" + own_path()), std::wstring::npos);
    const std::wstring copy = std::wstring(run.workspace_dir) + app::kTemporaryCopyName;
    ASSERT_TRUE(soon([&] { return DeleteFileW(copy.c_str()) || !file_exists(copy); }));
    app::discard_workspace(run);
}

TEST(RelaunchFromTemp, ATemporaryFolderTooLongForTheCopyIsReported) {
    ScratchFolder scratch(L"relaunch");
    std::wstring temp = scratch.path() + L"\\";
    while (temp.size() < 240) temp += L"t";
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    const TempFolderIs redirected(temp);
    app::RunContext run{};
    support::copy_slot(run.module_path, own_path().c_str());

    MessageBoxAnswerer answerer(app::kRelaunchErrorCaption);
    EXPECT_EQ(app::relaunch_from_temp(run, L""), app::Relaunch::Stop);
    EXPECT_EQ(answerer.text(), app::kRelaunchCopyFailedText);
    RemoveDirectoryW(temp.c_str());
}

TEST(RelaunchFromTemp, ACopyThatCantRunIsReported) {
    ScratchFolder scratch(L"relaunch");
    const TempFolderIs redirected(scratch.path());
    // Copied fine, but no program.
    const std::wstring source = scratch.file(L"broken.exe");
    ASSERT_TRUE(wintest::write_file(source, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'x', 'e'}));
    app::RunContext run{};
    support::copy_slot(run.module_path, source.c_str());

    MessageBoxAnswerer answerer(app::kRelaunchErrorCaption);
    EXPECT_EQ(app::relaunch_from_temp(run, L""), app::Relaunch::Stop);
    EXPECT_EQ(answerer.text(), app::kRelaunchStartFailedText);
    // Nothing will run there: the workspace and the copy are gone.
    EXPECT_TRUE(workspaces_in(scratch.path()).empty());
}

// --- the self-deletion ----------------------------------------------------------

TEST(SelfDelete, CommandQuotesInterpreterAndFile) {
    wchar_t command[app::kCommandUnits];
    ASSERT_TRUE(app::format_delete_command(command, L"C:\\windows\\system32\\cmd.exe",
                                           L"C:\\users\\me\\Temp\\a b & c\\___zinzin_install_base___.exe"));
    EXPECT_STREQ(command,
                 L"\"C:\\windows\\system32\\cmd.exe\" /c del \"C:\\users\\me\\Temp\\a b & c\\"
                 L"___zinzin_install_base___.exe\"");

    // Texts that can't stand between quotes, and a command that doesn't fit.
    EXPECT_FALSE(app::format_delete_command(command, L"C:\\cmd.exe", L"C:\\a\"&del x\\f.exe"));
    EXPECT_EQ(command[0], L'\0');
    EXPECT_FALSE(app::format_delete_command(command, L"C:\\cmd.exe", L"C:\\%PATH%\\f.exe"));
    EXPECT_FALSE(app::format_delete_command(command, L"C:\\cmd.exe", L"C:\\a!b\\f.exe"));
    EXPECT_FALSE(app::format_delete_command(command, L"C:\\cmd.exe", L""));
    const std::wstring long_path = L"C:\\" + std::wstring(255, L'x');
    EXPECT_FALSE(app::format_delete_command(command, long_path.c_str(), long_path.c_str()));
}

TEST(SelfDelete, TheInterpreterDeletesAReadOnlyFileWithSpacesAndAmpersands) {
    ScratchFolder scratch(L"selfdel");
    // What an unquoted command would run as a second command: "mkdir injected".
    const std::wstring folder = scratch.file(L"x & mkdir injected");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring target = folder + L"\\___zinzin_install_base___.exe";
    const std::wstring neighbour = folder + L"\\other.txt";
    ASSERT_TRUE(wintest::write_file(target, {'x'}));
    ASSERT_TRUE(wintest::write_file(neighbour, {'y'}));
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);

    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    EXPECT_NE(app::schedule_file_delete(target.c_str()), 0);
    EXPECT_TRUE(soon([&] { return !file_exists(target); }));
    Sleep(300);
    EXPECT_TRUE(file_exists(neighbour));
    EXPECT_FALSE(folder_exists(std::wstring(cwd) + L"\\injected"));
    EXPECT_FALSE(folder_exists(scratch.file(L"injected")));
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

TEST(SelfDelete, NothingIsStartedWithoutAFileAndCOMSPECIsNeverTheInterpreter) {
    ScratchFolder scratch(L"selfdel");
    EXPECT_EQ(app::schedule_file_delete(scratch.file(L"missing.exe").c_str()), 0);
    EXPECT_EQ(app::schedule_file_delete(nullptr), 0);
    // COMSPEC, which the user sets, names another program: the system's
    // cmd.exe deletes the file all the same, and that program never runs.
    const std::wstring target = scratch.file(L"gone.exe");
    ASSERT_TRUE(wintest::write_file(target, {'x'}));
    const std::wstring log = scratch.file(L"started.log");
    const ScopedVariable log_variable(kRelaunchLogVariable, log.c_str());
    const std::wstring planted = scratch.file(app::kTemporaryCopyName);
    ASSERT_TRUE(CopyFileW(own_path().c_str(), planted.c_str(), FALSE));
    {
        const ScopedVariable bad_comspec(L"COMSPEC", planted.c_str());
        EXPECT_NE(app::schedule_file_delete(target.c_str()), 0);
    }
    EXPECT_TRUE(soon([&] { return !file_exists(target); }));
    EXPECT_FALSE(file_exists(log));
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

}  // namespace
