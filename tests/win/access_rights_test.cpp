#include "install/access_rights.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

std::wstring temp_path() {
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, path);
    return path;
}

class TempFolder {
public:
    TempFolder() {
        static int count = 0;
        path_ = temp_path() + L"access test " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++count);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::wstring& file : files_) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        }
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // A path inside, removed with the folder.
    std::wstring file(const wchar_t* name) {
        files_.push_back(path_ + L"\\" + name);
        return files_.back();
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

void write_file(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string read_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    return text;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The interpreter that removes a folder may run on after the routine has
// stopped waiting for it on a busy machine.
bool gone_soon(const std::wstring& path) {
    for (int i = 0; i < 200 && exists(path); ++i) Sleep(50);
    return !exists(path);
}

}  // namespace

TEST(GrantUsersAccess, FileAndFolderAreWritten) {
    TempFolder folder;
    const std::wstring file = folder.file(L"granted.dat");
    write_file(file, "x");
    EXPECT_EQ(install::grant_users_access(file.c_str()), 1);
    EXPECT_EQ(install::grant_users_access(folder.path().c_str()), 1);
    EXPECT_EQ(read_file(file), "x");
}

TEST(GrantUsersAccess, MissingFileFailsWithItsLine) {
    TempFolder folder;
    const std::wstring missing = folder.path() + L"\\missing.dat";
    testing::internal::CaptureStdout();
    const int result = install::grant_users_access(missing.c_str());
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(output, "GetFileSecurity() failed. Error 2\n");
}

TEST(RestoreDefaultRights, FileIsWrittenAndAMissingOneFailsWithItsLine) {
    TempFolder folder;
    const std::wstring file = folder.file(L"code.dll");
    write_file(file, "x");
    EXPECT_EQ(install::restore_default_rights(file.c_str()), 1);
    testing::internal::CaptureStdout();
    const int result = install::restore_default_rights((folder.path() + L"\\missing.dll").c_str());
    EXPECT_EQ(result, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "SetNamedSecurityInfo() failed. Error 2\n");
}

// Only what lies below "<common application data>\ZinzinIMEs\" is data that
// Users may change; a path that only looks so, or leads out, is not.
TEST(DataArea, OnlyPathsBelowTheProductsDataFolderAreData) {
    wchar_t common[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)));
    const std::wstring area = std::wstring(common) + L"\\ZinzinIMEs\\";
    for (const std::wstring& path : {area + L"Pinyin\\danzi.zmi", area + L"Pinyin", area + L"pinyin\\sub\\x.dat"})
        EXPECT_TRUE(install::is_in_data_area(path.c_str())) << path;
    for (const std::wstring& path :
         {area, area.substr(0, area.size() - 1), std::wstring(common) + L"\\ZinzinIMEsX\\a.dat",
          area + L"Pinyin\\..\\..\\Other\\a.dll", std::wstring(L"C:\\Program Files\\ZinzinIMEs\\a.dll"),
          std::wstring(L"ZinzinIMEs\\a.dll")})
        EXPECT_FALSE(install::is_in_data_area(path.c_str())) << path;
}

TEST(CopyFileGrantingUsers, CopiesContentAndOverwrites) {
    TempFolder folder;
    const std::wstring source = folder.file(L"source.bin");
    const std::wstring target = folder.file(L"target 副本.bin");
    std::string content(70000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
    write_file(source, content);
    EXPECT_EQ(install::copy_file_granting_users(source.c_str(), target.c_str(), FALSE), 1);
    EXPECT_EQ(read_file(target), content);

    write_file(source, "newer");
    EXPECT_EQ(install::copy_file_granting_users(source.c_str(), target.c_str(), FALSE), 1);
    EXPECT_EQ(read_file(target), "newer");
}

TEST(CopyFileGrantingUsers, FailuresLeaveTheTargetAlone) {
    TempFolder folder;
    const std::wstring source = folder.file(L"source.bin");
    const std::wstring target = folder.file(L"target.bin");
    write_file(source, "new");
    write_file(target, "old");
    EXPECT_EQ(install::copy_file_granting_users(source.c_str(), target.c_str(), TRUE), 0);
    EXPECT_EQ(read_file(target), "old");

    const std::wstring missing = folder.file(L"missing.bin");
    const std::wstring nowhere = folder.file(L"nowhere.bin");
    EXPECT_EQ(install::copy_file_granting_users(missing.c_str(), nowhere.c_str(), FALSE), 0);
    EXPECT_FALSE(exists(nowhere));
    EXPECT_EQ(install::copy_file_granting_users(nullptr, nowhere.c_str(), FALSE), 0);
}

TEST(CopyFileGrantingUsers, SamePathSucceedsWithoutCopying) {
    TempFolder folder;
    const std::wstring source = folder.file(L"same.bin");
    write_file(source, "kept");
    EXPECT_EQ(install::copy_file_granting_users(source.c_str(), source.c_str(), TRUE), 1);
    EXPECT_EQ(read_file(source), "kept");
    // The same text, even for a file that isn't there.
    const std::wstring missing = folder.path() + L"\\none.bin";
    EXPECT_EQ(install::copy_file_granting_users(missing.c_str(), missing.c_str(), FALSE), 1);
    EXPECT_FALSE(exists(missing));
    // Another spelling is another path: a real copy onto itself fails.
    std::wstring upper = source;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    EXPECT_NE(upper, source);
    install::copy_file_granting_users(source.c_str(), upper.c_str(), FALSE);
    EXPECT_EQ(read_file(source), "kept");
}

// --- the virtualized store ------------------------------------------------------

TEST(CleanVirtualizedStore, RemovesTheProductShadowOfDrivesCToY) {
    wchar_t cache_path[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE | CSIDL_FLAG_CREATE, nullptr,
                                           SHGFP_TYPE_CURRENT, cache_path)));
    const std::wstring virtualized = std::wstring(cache_path) + L"\\Virtualized";
    const bool had_virtualized = exists(virtualized);
    const std::wstring marker = L"access test " + std::to_wstring(GetCurrentProcessId());

    auto shadow = [&](wchar_t drive) {
        return virtualized + L"\\" + drive + L"\\ProgramData\\ZinzinIMEs";
    };
    auto populate = [&](const std::wstring& folder) {
        CreateDirectoryW(virtualized.c_str(), nullptr);
        for (std::size_t at = virtualized.size() + 1; at <= folder.size(); ++at) {
            if (at == folder.size() || folder[at] == L'\\') CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
        }
        CreateDirectoryW((folder + L"\\" + marker).c_str(), nullptr);
        write_file(folder + L"\\" + marker + L"\\skin.dat", "shadow");
    };
    for (wchar_t drive : {L'c', L'd', L'y', L'z'}) populate(shadow(drive));
    const std::wstring neighbour = virtualized + L"\\c\\ProgramData\\Other Vendor";
    populate(neighbour);

    install::clean_virtualized_store();

    EXPECT_TRUE(gone_soon(shadow(L'c')));
    EXPECT_TRUE(gone_soon(shadow(L'd')));
    EXPECT_TRUE(gone_soon(shadow(L'y')));
    EXPECT_TRUE(exists(shadow(L'z') + L"\\" + marker + L"\\skin.dat"));  // "z" is not cleaned
    EXPECT_TRUE(exists(neighbour + L"\\" + marker + L"\\skin.dat"));
    EXPECT_TRUE(exists(virtualized + L"\\c\\ProgramData"));

    // Clean up what this test made.
    for (const std::wstring& folder : {shadow(L'z'), neighbour}) {
        DeleteFileW((folder + L"\\" + marker + L"\\skin.dat").c_str());
        RemoveDirectoryW((folder + L"\\" + marker).c_str());
        RemoveDirectoryW(folder.c_str());
    }
    for (wchar_t drive : {L'c', L'd', L'y', L'z'}) {
        const std::wstring root = virtualized + L"\\" + drive;
        RemoveDirectoryW((root + L"\\ProgramData").c_str());
        RemoveDirectoryW(root.c_str());
    }
    if (!had_virtualized) RemoveDirectoryW(virtualized.c_str());
}
