// CMXMapfile and the install information load, on real files in a
// scratch folder.
#include "package/mapfile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/install_info.h"
#include "scratch.h"

using package::CMXMapfile;

namespace {

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

}  // namespace

TEST(MapFile, MissingFileFailsAndNothingIsOpen) {
    wintest::ScratchFolder scratch(L"mapfile");
    CMXMapfile file;
    EXPECT_EQ(file.Open(scratch.file(L"absent.dif").c_str(), false), 0u);
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_EQ(file.GetAddress(0), nullptr);
    EXPECT_EQ(file.Resize(10), 0);
}

TEST(MapFile, EmptyFileTakesTheInMemoryRoad) {
    wintest::ScratchFolder scratch(L"mapfile");
    const std::wstring path = scratch.file(L"empty.txt");
    ASSERT_TRUE(wintest::write_file(path, {}));
    CMXMapfile file;
    ASSERT_EQ(file.Open(path.c_str(), false), 2u);
    EXPECT_EQ(file.GetSize(), 2u);
    ASSERT_NE(file.GetAddress(0), nullptr);
    EXPECT_EQ(file.GetAddress(0)[0], 0);
    EXPECT_EQ(file.GetAddress(0)[1], 0);
    EXPECT_EQ(file.GetAddress(3), nullptr);  // beyond the contents
    EXPECT_EQ(file.Resize(10), 0);           // no file behind an in-memory copy
    EXPECT_STREQ(file.path(), path.c_str());
}

TEST(MapFile, CreateWritesExactlyTheSizeAndReopens) {
    wintest::ScratchFolder scratch(L"mapfile");
    const std::wstring path = scratch.file(L"made.bin");
    const auto bytes = pattern(100);
    {
        CMXMapfile file;
        ASSERT_EQ(file.Create(path.c_str(), 100), 100u);
        std::memcpy(file.GetAddress(0), bytes.data(), bytes.size());
    }  // the destructor closes and flushes
    EXPECT_EQ(wintest::read_file(path), bytes);

    CMXMapfile file;
    ASSERT_EQ(file.Open(path.c_str(), false), 100u);  // mapped: no spare bytes
    EXPECT_EQ(std::memcmp(file.GetAddress(0), bytes.data(), 100), 0);
    EXPECT_EQ(file.GetAddress(40)[0], bytes[40]);
    EXPECT_EQ(file.Resize(200), 0);  // opened read-only
    file.Close();
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_EQ(file.GetAddress(0), nullptr);
}

TEST(MapFile, CreateWithSizeZeroFailsAndLeavesAnEmptyFile) {
    wintest::ScratchFolder scratch(L"mapfile");
    const std::wstring path = scratch.file(L"zero.bin");
    ASSERT_TRUE(wintest::write_file(path, pattern(50)));  // an old file is truncated
    CMXMapfile file;
    EXPECT_EQ(file.Create(path.c_str(), 0), 0u);
    EXPECT_EQ(file.GetAddress(0), nullptr);
    EXPECT_TRUE(wintest::file_exists(path));
    EXPECT_TRUE(wintest::read_file(path).empty());
    EXPECT_EQ(file.Create(scratch.file(L"no\\such\\folder.bin").c_str(), 10), 0u);
}

TEST(MapFile, ResizeKeepsTheContentsAndChangesTheFile) {
    wintest::ScratchFolder scratch(L"mapfile");
    const std::wstring path = scratch.file(L"grow.bin");
    const auto bytes = pattern(64);
    ASSERT_TRUE(wintest::write_file(path, bytes));

    CMXMapfile file;
    ASSERT_EQ(file.Open(path.c_str(), true), 64u);
    ASSERT_EQ(file.Resize(300), 1);
    EXPECT_EQ(file.GetSize(), 300u);
    EXPECT_EQ(std::memcmp(file.GetAddress(0), bytes.data(), 64), 0);
    file.GetAddress(0)[299] = 0x5A;
    file.Close();
    auto on_disk = wintest::read_file(path);
    ASSERT_EQ(on_disk.size(), 300u);
    EXPECT_EQ(on_disk[299], 0x5A);
    EXPECT_EQ(on_disk[63], bytes[63]);

    ASSERT_EQ(file.Open(path.c_str(), true), 300u);
    ASSERT_EQ(file.Resize(10), 1);
    file.Close();
    EXPECT_EQ(wintest::read_file(path), std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 10));

    // Down to nothing: the file is emptied but can't be mapped again.
    ASSERT_EQ(file.Open(path.c_str(), true), 10u);
    EXPECT_EQ(file.Resize(0), 0);
    EXPECT_EQ(file.GetAddress(0), nullptr);
    file.Close();
    EXPECT_TRUE(wintest::read_file(path).empty());
}

TEST(MapFile, FileLockedForWritingIsReadIntoMemoryAndTerminated) {
    wintest::ScratchFolder scratch(L"mapfile");
    const std::wstring path = scratch.file(L"busy.txt");
    ASSERT_TRUE(wintest::write_file(path, {'a', 'b', 'c'}));
    // Another writer that shares reads only: the mapped road is refused.
    support::UniqueHandle writer(
        CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);

    CMXMapfile file;
    ASSERT_EQ(file.Open(path.c_str(), false), 5u);
    EXPECT_STREQ(reinterpret_cast<const char*>(file.GetAddress(0)), "abc");
    EXPECT_EQ(file.GetAddress(0)[4], 0);
}

TEST(MapFile, OpeningAgainClosesTheFormerFile) {
    wintest::ScratchFolder scratch(L"mapfile");
    const std::wstring first = scratch.file(L"first.bin");
    const std::wstring second = scratch.file(L"second.bin");
    ASSERT_TRUE(wintest::write_file(first, pattern(8)));
    ASSERT_TRUE(wintest::write_file(second, pattern(16)));
    CMXMapfile file;
    ASSERT_EQ(file.Open(first.c_str(), true), 8u);
    file.GetAddress(0)[0] = 0xEE;
    ASSERT_EQ(file.Open(second.c_str(), false), 16u);
    EXPECT_EQ(wintest::read_file(first)[0], 0xEE);
    EXPECT_TRUE(DeleteFileW(first.c_str()));  // nothing holds it any more
}

TEST(InstallInfoFile, FullRecordShortFileEmptyFileAndExtraBytes) {
    wintest::ScratchFolder scratch(L"mapfile");
    const std::wstring path = scratch.file(L"InstallInfo.dif");

    // A whole record: every byte arrives, texts included.
    package::InstallInfo written{};
    std::memcpy(written.ime_name, u"紫金拼音", sizeof(u"紫金拼音"));
    written.shortcut_flags = package::kShortcutRepair | package::kShortcutUpdate;
    std::memcpy(written.post_install_open, u"readme.txt", sizeof(u"readme.txt"));
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&written);
    std::vector<std::uint8_t> full(raw, raw + sizeof written);
    ASSERT_TRUE(wintest::write_file(path, full));
    package::InstallInfo record;
    std::memset(&record, 0xCC, sizeof record);
    ASSERT_TRUE(package::load_install_info_file(path.c_str(), &record, sizeof record));
    EXPECT_EQ(std::memcmp(&record, &written, sizeof record), 0);
    EXPECT_EQ(std::u16string(record.ime_name), u"紫金拼音");

    // 100 bytes: everything after offset 100 is zero.
    const auto bytes = pattern(100);
    ASSERT_TRUE(wintest::write_file(path, bytes));
    std::memset(&record, 0xCC, sizeof record);
    ASSERT_TRUE(package::load_install_info_file(path.c_str(), &record, sizeof record));
    const auto* loaded = reinterpret_cast<const std::uint8_t*>(&record);
    EXPECT_EQ(std::memcmp(loaded, bytes.data(), 100), 0);
    for (std::size_t i = 100; i < sizeof record; ++i) ASSERT_EQ(loaded[i], 0) << "offset " << i;

    // Empty: all zero.
    ASSERT_TRUE(wintest::write_file(path, {}));
    std::memset(&record, 0xCC, sizeof record);
    ASSERT_TRUE(package::load_install_info_file(path.c_str(), &record, sizeof record));
    for (std::size_t i = 0; i < sizeof record; ++i) ASSERT_EQ(loaded[i], 0) << "offset " << i;

    // Longer than a record: the extra bytes are ignored.
    ASSERT_TRUE(wintest::write_file(path, pattern(3000)));
    ASSERT_TRUE(package::load_install_info_file(path.c_str(), &record, sizeof record));
    EXPECT_EQ(std::memcmp(loaded, pattern(3000).data(), sizeof record), 0);
}

TEST(InstallInfoFile, MissingFileLeavesTheRecordAlone) {
    wintest::ScratchFolder scratch(L"mapfile");
    package::InstallInfo record;
    std::memset(&record, 0xCC, sizeof record);
    EXPECT_FALSE(package::load_install_info_file(scratch.file(L"none.dif").c_str(), &record, sizeof record));
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(&record)[0], 0xCC);
}
