#include "folder_scan.h"

#include "dos_time.h"
#include "packer_test_util.h"
#include "tool_error.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <cstdlib>
#include <ctime>

using imepack::InputError;
using imepack::scan_folder;
using namespace packer_test;

namespace {

void set_mtime(const fs::path& path, std::time_t seconds) {
    const timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimes(path.c_str(), times), 0);
}

// Runs the test body in a given time zone and restores the old one.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (had_) setenv("TZ", old_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool had_ = false;
};

std::string error_of(const fs::path& root) {
    try {
        scan_folder(root);
    } catch (const InputError& e) {
        return e.what();
    }
    return "no error";
}

constexpr std::uint16_t dos_date(int y, int m, int d) { return static_cast<std::uint16_t>(((y - 1980) << 9) | (m << 5) | d); }
constexpr std::uint16_t dos_time(int h, int m, int s) { return static_cast<std::uint16_t>((h << 11) | (m << 5) | (s / 2)); }

}  // namespace

TEST(FolderScan, ListsEveryFileBelowTheFolderWithBackslashNamesInOrder) {
    TempFolder temp;
    write_bytes(temp / "product/b.txt", bytes_of("b"));
    write_bytes(temp / "product/a/deep/x.dat", bytes_of("xx"));
    write_bytes(temp / "product/$fonts$/demo.ttf", bytes_of("font"));
    write_bytes(temp / "product/皮肤/默认.bmp", bytes_of("bmp"));
    write_bytes(temp / "product/empty", {});
    fs::create_directories(temp / "product/nothing/here");  // empty folders are not stored

    const auto files = scan_folder(temp / "product");
    std::vector<std::string> names;
    for (const auto& f : files) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"$fonts$\\demo.ttf", "a\\deep\\x.dat", "b.txt", "empty", "皮肤\\默认.bmp"}));
    EXPECT_EQ(files[0].size, 4u);
    EXPECT_EQ(files[3].size, 0u);
    EXPECT_EQ(std::get<fs::path>(files[1].source), temp / "product/a/deep/x.dat");
}

TEST(FolderScan, ReadOnlyComesFromTheModeAndEveryFileIsMarkedArchive) {
    TempFolder temp;
    write_bytes(temp / "p/rw.txt", bytes_of("1"));
    write_bytes(temp / "p/ro.txt", bytes_of("2"));
    fs::permissions(temp / "p/ro.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const auto files = scan_folder(temp / "p");
    EXPECT_EQ(files[0].name, "ro.txt");
    EXPECT_EQ(files[0].attributes, 0x21);
    EXPECT_EQ(files[1].attributes, 0x20);
}

TEST(FolderScan, TimeStampsAreLocalDosTimes) {
    TempFolder temp;
    write_bytes(temp / "p/even", {});
    write_bytes(temp / "p/odd", {});
    write_bytes(temp / "p/old", {});
    set_mtime(temp / "p/even", 1709528768);  // 2024-03-04 05:06:08 UTC
    set_mtime(temp / "p/odd", 1709528769);
    set_mtime(temp / "p/old", 86400 * 365);  // 1971: before DOS dates begin
    {
        const TimeZone zone("CST-8");  // UTC+8, no daylight saving
        const auto files = scan_folder(temp / "p");
        EXPECT_EQ(files[0].dos_date, dos_date(2024, 3, 4));
        EXPECT_EQ(files[0].dos_time, dos_time(13, 6, 8));
        EXPECT_EQ(files[1].dos_time, dos_time(13, 6, 8));  // DOS times keep even seconds
        EXPECT_EQ(files[2].dos_date, dos_date(1980, 1, 1));
        EXPECT_EQ(files[2].dos_time, 0);
    }
    {
        const TimeZone zone("UTC0");
        EXPECT_EQ(scan_folder(temp / "p")[0].dos_time, dos_time(5, 6, 8));
    }
    EXPECT_EQ(imepack::format_dos_time(dos_date(2024, 3, 4), dos_time(13, 6, 8)), "2024-03-04 13:06:08");
}

TEST(FolderScan, RefusesWhatACabinetCannotHold) {
    TempFolder temp;
    EXPECT_NE(error_of(temp / "missing").find("no such folder"), std::string::npos);
    write_bytes(temp / "file.txt", bytes_of("x"));
    EXPECT_NE(error_of(temp / "file.txt").find("not a folder"), std::string::npos);

    write_bytes(temp / "slash/a\\b.txt", bytes_of("x"));
    EXPECT_NE(error_of(temp / "slash").find("backslash"), std::string::npos);

    write_bytes(temp / "colon/a:b.txt", bytes_of("x"));
    EXPECT_NE(error_of(temp / "colon").find("colon/a:b.txt: the name holds a character"), std::string::npos);

    fs::create_directories(temp / "long" / std::string(200, 'd'));
    write_bytes(temp / "long" / std::string(200, 'd') / std::string(60, 'f'), bytes_of("x"));
    EXPECT_NE(error_of(temp / "long").find("261 bytes long"), std::string::npos);

    fs::create_directories(temp / "fifo");
    ASSERT_EQ(mkfifo((temp / "fifo/pipe").c_str(), 0600), 0);
    EXPECT_NE(error_of(temp / "fifo").find("pipe: neither a file nor a folder"), std::string::npos);

    fs::create_directories(temp / "link/real");
    write_bytes(temp / "outside/x.txt", bytes_of("x"));
    fs::create_directory_symlink(temp / "outside", temp / "link/alias");
    EXPECT_NE(error_of(temp / "link").find("alias: links to folders"), std::string::npos);
}

TEST(FolderScan, LinksToFilesArePackedAsTheFilesTheyNameAndAnEmptyTreeHoldsNothing) {
    TempFolder temp;
    write_bytes(temp / "data.bin", bytes_of("12345"));
    fs::create_directories(temp / "p/sub");
    fs::create_symlink(temp / "data.bin", temp / "p/sub/link.bin");
    const auto files = scan_folder(temp / "p");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "sub\\link.bin");
    EXPECT_EQ(files[0].size, 5u);

    fs::create_directories(temp / "hollow/a/b");
    EXPECT_TRUE(scan_folder(temp / "hollow").empty());
}
