#include "app/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "app/interpreter.h"
#include "app/protected_folders.h"
#include "scoped_variable.h"

namespace {

using wintest::ScopedVariable;

constexpr wchar_t kLogVariable[] = L"FOLDERS_TEST_INTERPRETER_LOG";

// Started as the "interpreter" (the test stand-in, see
// RecordingInterpreter), the test
// program only records its command line, one per line, and ends: the
// tests see exactly what would have been run, and nothing is removed.
const bool kActingAsInterpreter = [] {
    const wchar_t* line = GetCommandLineW();
    if (std::wcsstr(line, L" /c rmdir ") == nullptr) return false;
    wchar_t log[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(kLogVariable, log, MAX_PATH);
    if (n != 0 && n < MAX_PATH) {
        HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::wstring text = std::wstring(line) + L"\n";
            DWORD written = 0;
            WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
            CloseHandle(file);
        }
    }
    ExitProcess(0);
}();

std::wstring temp_path() {
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, path);
    return path;
}

std::wstring module_path() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The interpreter runs on after the routine has stopped waiting for it (a
// busy machine): give it time before judging what it did.
bool gone_soon(const std::wstring& path) {
    for (int i = 0; i < 200 && exists(path); ++i) Sleep(50);
    return !exists(path);
}

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void write_file(const std::wstring& path, const char* text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    CloseHandle(file);
}

// The test's own clean-up, file by file (never through the routine under test).
void delete_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) delete_tree(path);
            else DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// A folder of the test's own under the temporary folder.
class TempFolder {
public:
    TempFolder() {
        static int count = 0;
        path_ = temp_path() + L"folders test " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++count);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { delete_tree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// This program stands in for the interpreter for one test: records the
// commands.
class RecordingInterpreter {
public:
    RecordingInterpreter() : log_(folder_.path() + L"\\commands.log"), log_variable_(kLogVariable, log_.c_str()) {
        app::use_interpreter_for_tests(module_path().c_str());
    }
    ~RecordingInterpreter() { app::use_interpreter_for_tests(nullptr); }

    // The commands recorded once `expected` have come in (or ten seconds
    // have passed), and a moment later, so that none after them is missed.
    std::vector<std::wstring> commands(std::size_t expected = 0) const {
        for (int i = 0; i < 200 && read().size() < expected; ++i) Sleep(50);
        Sleep(200);
        return read();
    }

private:
    std::vector<std::wstring> read() const {
        std::vector<std::wstring> lines;
        HANDLE file = CreateFileW(log_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return lines;
        std::wstring text(GetFileSize(file, nullptr) / sizeof(wchar_t), L'\0');
        DWORD read = 0;
        ReadFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
        CloseHandle(file);
        for (std::size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    TempFolder folder_;
    std::wstring log_;
    ScopedVariable log_variable_;
};

std::wstring short_path(const std::wstring& path) {
    wchar_t out[MAX_PATH];
    const DWORD n = GetShortPathNameW(path.c_str(), out, MAX_PATH);
    return n != 0 && n < MAX_PATH ? std::wstring(out) : std::wstring();
}

std::wstring special_folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

}  // namespace

// --- make_directory_path -------------------------------------------------

TEST(MakeDirectoryPath, CreatesEveryMissingLevel) {
    TempFolder base;
    const std::wstring deep = base.path() + L"\\a b\\c & d\\紫金\\e";
    EXPECT_NE(app::make_directory_path(deep.c_str()), 0);
    EXPECT_TRUE(is_folder(deep));
    // Every level exists already: still success. A trailing backslash too.
    EXPECT_NE(app::make_directory_path(deep.c_str()), 0);
    EXPECT_NE(app::make_directory_path((deep + L"\\").c_str()), 0);
    EXPECT_NE(app::make_directory_path((base.path() + L"\\x\\y\\").c_str()), 0);
    EXPECT_TRUE(is_folder(base.path() + L"\\x\\y"));
}

TEST(MakeDirectoryPath, FileInTheWayOrOverlongPathFails) {
    TempFolder base;
    write_file(base.path() + L"\\plain", "x");
    EXPECT_EQ(app::make_directory_path((base.path() + L"\\plain").c_str()), 0);
    EXPECT_EQ(app::make_directory_path((base.path() + L"\\plain\\below").c_str()), 0);

    // Over 259 characters: refused whole, not cut into another folder.
    std::wstring overlong = base.path() + L"\\" + std::wstring(100, L'l');
    overlong += L"\\" + std::wstring(300 - overlong.size(), L'm');
    EXPECT_EQ(app::make_directory_path(overlong.c_str()), 0);
    EXPECT_FALSE(exists(base.path() + L"\\" + std::wstring(100, L'l')));
    EXPECT_EQ(app::make_directory_path(L""), 0);
}

// --- remove_directory_tree ------------------------------------------------

TEST(RemoveDirectoryTree, RemovesATreeWithSpacesAndAmpersands) {
    TempFolder base;
    const std::wstring target = base.path() + L"\\X & Y";
    // What an unquoted command would hit instead: "X" and "Y" beside it.
    ASSERT_NE(app::make_directory_path((base.path() + L"\\X").c_str()), 0);
    ASSERT_NE(app::make_directory_path((base.path() + L"\\Y").c_str()), 0);
    ASSERT_NE(app::make_directory_path((target + L"\\sub dir&more\\deeper").c_str()), 0);
    write_file(target + L"\\a & b.txt", "one");
    write_file(target + L"\\sub dir&more\\deeper\\c d.txt", "two");

    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    EXPECT_NE(app::remove_directory_tree(target.c_str()), 0);
    EXPECT_TRUE(gone_soon(target));
    EXPECT_TRUE(is_folder(base.path() + L"\\X"));
    EXPECT_TRUE(is_folder(base.path() + L"\\Y"));
    wchar_t after[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_STREQ(before, after);  // the current directory comes back

    // With a trailing backslash, as the workspace folder is named.
    const std::wstring workspace = base.path() + L"\\__ZZIMEInstall\\";
    ASSERT_NE(app::make_directory_path((workspace + L"ZZ_INSTALL").c_str()), 0);
    EXPECT_NE(app::remove_directory_tree(workspace.c_str()), 0);
    EXPECT_TRUE(gone_soon(workspace));
}

TEST(RemoveDirectoryTree, GoneWhenItReturnsAndNothingLeftRunning) {
    TempFolder base;
    const std::wstring target = base.path() + L"\\long name & more";
    ASSERT_NE(app::make_directory_path((target + L"\\below").c_str()), 0);
    write_file(target + L"\\below\\kept.txt", "x");
    SetFileAttributesW((target + L"\\below\\kept.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    RecordingInterpreter interpreter;
    EXPECT_NE(app::remove_directory_tree((target + L"\\").c_str()), 0);
    // Removed before the call returned: no later removal can take what
    // is placed under the same name afterwards.
    EXPECT_FALSE(exists(target));
    ASSERT_NE(app::make_directory_path(target.c_str()), 0);
    write_file(target + L"\\placed.txt", "new");
    EXPECT_TRUE(interpreter.commands().empty());
    EXPECT_TRUE(exists(target + L"\\placed.txt"));
}

TEST(RemoveDirectoryTree, FolderHeldOpenGetsTwoAttemptsAndTheCallerGoesOn) {
    TempFolder base;
    const std::wstring target = base.path() + L"\\held";
    ASSERT_NE(app::make_directory_path(target.c_str()), 0);
    const std::wstring file = target + L"\\in use.dat";
    write_file(file, "busy");
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    // The file can't go while it is open: the second attempt reports
    // success all the same, and the caller goes on.
    EXPECT_NE(app::remove_directory_tree(target.c_str()), 0);
    EXPECT_TRUE(exists(file));
    CloseHandle(held);

    EXPECT_NE(app::remove_directory_tree(target.c_str()), 0);
    EXPECT_TRUE(gone_soon(target));
}

TEST(RemoveDirectoryTree, MissingFolderFailsWithoutStartingTheInterpreter) {
    TempFolder base;
    RecordingInterpreter interpreter;
    EXPECT_EQ(app::remove_directory_tree((base.path() + L"\\not there").c_str()), 0);
    EXPECT_TRUE(interpreter.commands().empty());
}

TEST(RemoveDirectoryTree, TheSystemsInterpreterRemovesWhateverCOMSPECSays) {
    TempFolder base;
    const std::wstring log = base.path() + L"\\commands.log";
    const ScopedVariable log_variable(kLogVariable, log.c_str());
    // COMSPEC is the user's to set: missing, or naming another program
    // (here this one, which would only record the command), it changes
    // nothing. The system folder's cmd.exe removes the folder.
    const std::wstring self = module_path();
    for (const wchar_t* comspec : {static_cast<const wchar_t*>(nullptr), self.c_str(), L"C:\\no such folder\\cmd.exe"}) {
        const std::wstring target = base.path() + L"\\goes";
        ASSERT_NE(app::make_directory_path(target.c_str()), 0);
        const ScopedVariable planted(L"COMSPEC", comspec);
        EXPECT_NE(app::remove_directory_tree(target.c_str()), 0);
        EXPECT_TRUE(gone_soon(target));
    }
    EXPECT_FALSE(exists(log));
}

TEST(RemoveDirectoryTree, NamesAnInterpreterWouldExpandGoAsNamed) {
    TempFolder base;
    RecordingInterpreter interpreter;
    // What "%TEMP%" would have expanded to stays.
    ASSERT_NE(app::make_directory_path((base.path() + L"\\aTEMPb").c_str()), 0);
    for (const wchar_t* name : {L"\\100%", L"\\a%TEMP%b", L"\\hello!"}) {
        const std::wstring target = base.path() + name;
        ASSERT_NE(app::make_directory_path(target.c_str()), 0);
        EXPECT_NE(app::remove_directory_tree(target.c_str()), 0);
        EXPECT_FALSE(exists(target));
    }
    EXPECT_TRUE(is_folder(base.path() + L"\\aTEMPb"));
    EXPECT_TRUE(interpreter.commands().empty());
}

TEST(RemoveDirectoryTree, SystemFoldersAreRefusedHoweverSpelled) {
    // The stand-in interpreter makes this safe even if a refusal failed:
    // it records instead of removing.
    RecordingInterpreter interpreter;
    const std::wstring windows = special_folder(CSIDL_WINDOWS);
    const std::wstring system = special_folder(CSIDL_SYSTEM);
    const std::wstring program_files = special_folder(CSIDL_PROGRAM_FILES);
    const std::wstring profile = special_folder(CSIDL_PROFILE);
    const std::wstring profiles = profile.substr(0, profile.rfind(L'\\'));
    std::vector<std::wstring> refused = {
        L"C:\\",
        L"c:",
        L"C:/",
        windows,
        windows + L"\\",
        L"c:\\WINDOWS",
        L"C:/windows/",
        windows + L"\\.",
        windows + L"\\system32\\..",
        system,
        special_folder(CSIDL_SYSTEMX86),
        program_files,
        short_path(program_files),
        special_folder(CSIDL_PROGRAM_FILESX86),
        special_folder(CSIDL_COMMON_APPDATA),
        special_folder(CSIDL_COMMON_APPDATA) + L"\\",
        special_folder(CSIDL_FONTS),
        profile,
        profiles,
        profiles + L"\\Public",
        profiles + L"\\someone else",
        profile + L"\\..",
        // Not plain absolute paths: relative, drive-relative, device paths.
        L"windows",
        L"\\windows",
        L"C:windows",
        L"\\\\?\\C:\\windows",
        L"\\\\.\\C:\\",
        L"\\\\server\\share",
        L"\\\\server\\share\\",
        L"",
    };
    for (const std::wstring& path : refused) {
        EXPECT_TRUE(app::is_protected_folder(path.c_str())) << path.c_str();
        EXPECT_EQ(app::remove_directory_tree(path.c_str()), 0) << path.c_str();
    }
    EXPECT_EQ(app::remove_directory_tree(nullptr), 0);
    EXPECT_TRUE(interpreter.commands().empty());
    EXPECT_TRUE(is_folder(windows));
    EXPECT_TRUE(is_folder(system));
}

TEST(RemoveDirectoryTree, FoldersBelowSystemFoldersAreAllowed) {
    const std::wstring profile = special_folder(CSIDL_PROFILE);
    for (const std::wstring& path :
         {temp_path(), special_folder(CSIDL_PROGRAM_FILES) + L"\\Zinzin",
          special_folder(CSIDL_COMMON_APPDATA) + L"\\ZinzinIMEs\\Zinzin IME\\", profile + L"\\AppData",
          std::wstring(L"D:\\Zinzin"), std::wstring(L"\\\\server\\share\\Zinzin")}) {
        EXPECT_FALSE(app::is_protected_folder(path.c_str())) << path.c_str();
    }
}

// --- common_data_dir -------------------------------------------------------

TEST(CommonDataDir, NamesTheProductFolder) {
    wchar_t path[app::kPathUnits];
    ASSERT_EQ(app::common_data_dir(path, L"Zinzin IME"), 1);
    EXPECT_EQ(std::wstring(path), special_folder(CSIDL_COMMON_APPDATA) + L"\\ZinzinIMEs\\Zinzin IME\\");
    ASSERT_EQ(app::common_data_dir(path, L"紫金拼音"), 1);
    EXPECT_EQ(std::wstring(path), special_folder(CSIDL_COMMON_APPDATA) + L"\\ZinzinIMEs\\紫金拼音\\");
}

TEST(CommonDataDir, NamesThatLeaveTheProductFolderAreRefused) {
    for (const wchar_t* name : {L"", L".", L"..", L"..\\..", L"a\\b", L"a/b", L"C:x"}) {
        wchar_t path[app::kPathUnits] = L"previous";
        EXPECT_EQ(app::common_data_dir(path, name), 0) << name;
        EXPECT_STREQ(path, L"");
    }
    wchar_t path[app::kPathUnits];
    EXPECT_EQ(app::common_data_dir(path, nullptr), 0);
    // A name that doesn't fit whole would name another folder.
    const std::wstring long_name(250, L'n');
    EXPECT_EQ(app::common_data_dir(path, long_name.c_str()), 0);
    EXPECT_STREQ(path, L"");
}
