// create_folder_path against Wine's file system, in a scratch folder.
#include "support/folder_path.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "scratch.h"

using support::create_folder_path;
using wintest::folder_exists;

TEST(CreateFolderPath, CreatesEveryMissingLevel) {
    wintest::ScratchFolder scratch(L"folders");
    const std::wstring deep = scratch.file(L"紫金\\b\\c");
    EXPECT_EQ(create_folder_path(deep.c_str()), 0u);
    EXPECT_TRUE(folder_exists(scratch.file(L"紫金")));
    EXPECT_TRUE(folder_exists(deep));
    // Already there: nothing to do.
    EXPECT_EQ(create_folder_path(deep.c_str()), 0u);
}

TEST(CreateFolderPath, TrailingBackslashAndExistingParents) {
    wintest::ScratchFolder scratch(L"folders");
    const std::wstring leaf = scratch.file(L"only");
    EXPECT_EQ(create_folder_path((leaf + L"\\").c_str()), 0u);
    EXPECT_TRUE(folder_exists(leaf));
    EXPECT_EQ(create_folder_path(scratch.path().c_str()), 0u);
    EXPECT_EQ(create_folder_path(L"C:\\"), 0u);
}

TEST(CreateFolderPath, RelativeNameWithoutBackslashIsAnInvalidDrive) {
    const std::wstring name = wintest::unique_name(L"no_such_folder");
    EXPECT_EQ(create_folder_path(name.c_str()), 15u);
    EXPECT_EQ(create_folder_path((name + L"\\sub").c_str()), 15u);
    EXPECT_FALSE(folder_exists(name));
    EXPECT_EQ(create_folder_path(L""), 15u);
}

TEST(CreateFolderPath, FileInThePathsPlace) {
    wintest::ScratchFolder scratch(L"folders");
    const std::wstring file = scratch.file(L"taken");
    ASSERT_TRUE(wintest::write_file(file, {'x'}));
    // The system says "already exists", which counts as success...
    EXPECT_EQ(create_folder_path(file.c_str()), 0u);
    // ...but nothing can be created below a file.
    EXPECT_NE(create_folder_path((file + L"\\below").c_str()), 0u);
    EXPECT_TRUE(wintest::file_exists(file));
}

TEST(CreateFolderPath, FirstErrorIsReportedAndEarlierLevelsStay) {
    wintest::ScratchFolder scratch(L"folders");
    const std::wstring too_long = scratch.file(L"kept\\" + std::wstring(300, L'n') + L"\\x");
    const std::uint32_t error = create_folder_path(too_long.c_str());
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, 15u);
    EXPECT_TRUE(folder_exists(scratch.file(L"kept")));
}
