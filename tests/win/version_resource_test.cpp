// Version resources read and rewritten in real PE files: the fixtures of
// tests/win/fixtures are copied into a scratch folder, changed there, and
// read back through the system's own version API.
#include "support/version_resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scratch.h"
#include "support/unique_handle.h"
#include "support/version_number.h"

using support::CopyResource;
using support::GetFileVersion;
using support::make_version;
using support::SetVersionString;

namespace {

constexpr WORD kChinese = 0x0804;

std::wstring version_string(const std::wstring& path, const wchar_t* key, std::size_t capacity = 128) {
    std::vector<wchar_t> out(capacity, L'?');
    support::GetVersionString(path.c_str(), key, out.data(), capacity);
    return out.data();
}

std::vector<std::uint8_t> version_info(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<std::uint8_t> info(size);
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, info.data())) info.clear();
    return info;
}

// A string of one particular table, straight from the system.
std::wstring table_string(const std::wstring& path, const wchar_t* table, const wchar_t* key) {
    std::vector<std::uint8_t> info = version_info(path);
    void* value = nullptr;
    UINT units = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\") + table + L"\\" + key;
    if (info.empty() || !VerQueryValueW(info.data(), query.c_str(), &value, &units) || value == nullptr) return L"<none>";
    return static_cast<const wchar_t*>(value);
}

// Start and length field of the block reached by a path of keys from the
// root, read from the raw version information.
struct BlockAt {
    std::size_t start = 0;
    std::size_t length = 0;
    std::size_t end() const { return start + length; }
};

std::uint16_t word_at(const std::vector<std::uint8_t>& info, std::size_t at) {
    return static_cast<std::uint16_t>(info[at] | (info[at + 1] << 8));
}

BlockAt block(const std::vector<std::uint8_t>& info, std::initializer_list<std::wstring_view> keys) {
    BlockAt here{0, word_at(info, 0)};
    bool root = true;
    for (std::wstring_view want : keys) {
        const std::size_t value_length = word_at(info, here.start + 2);
        std::size_t at = here.start + 6;
        while (word_at(info, at) != 0) at += 2;
        at = (at + 2 + 3) & ~std::size_t{3};
        if (root) at = (at + value_length + 3) & ~std::size_t{3};  // the root's binary value
        root = false;
        BlockAt found{};
        for (; at < here.end(); at = (at + word_at(info, at) + 3) & ~std::size_t{3}) {
            std::wstring key;
            for (std::size_t p = at + 6; word_at(info, p) != 0; p += 2) key.push_back(static_cast<wchar_t>(word_at(info, p)));
            if (key == want) {
                found = {at, word_at(info, at)};
                break;
            }
        }
        EXPECT_NE(found.length, 0u) << "no block " << std::string(want.begin(), want.end());
        if (found.length == 0) return found;
        here = found;
    }
    return here;
}

struct Lengths {
    std::size_t root, file_info, table, string;
};

Lengths lengths(const std::wstring& path, const wchar_t* table, const wchar_t* key) {
    const std::vector<std::uint8_t> info = version_info(path);
    return {block(info, {}).length, block(info, {L"StringFileInfo"}).length, block(info, {L"StringFileInfo", table}).length,
            block(info, {L"StringFileInfo", table, key}).length};
}

// The bytes of a resource as stored in a file, in one language.
std::vector<std::uint8_t> resource_bytes(const std::wstring& path, WORD type, WORD name, WORD language) {
    std::vector<std::uint8_t> bytes;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return bytes;
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(name), language);
    if (found != nullptr) {
        const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
        bytes.assign(data, data + SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

class VersionFile : public ::testing::Test {
protected:
    // A private copy of a fixture that the test may change.
    std::wstring copy_of(const wchar_t* fixture) {
        const std::wstring path = scratch_.file(fixture);
        EXPECT_TRUE(CopyFileW(wintest::fixture_path(fixture).c_str(), path.c_str(), FALSE)) << "fixture missing";
        return path;
    }
    wintest::ScratchFolder scratch_{L"verres"};
};

}  // namespace

TEST_F(VersionFile, ReadsStringsThroughTheTranslationTable) {
    const std::wstring zh = wintest::fixture_path(L"verfix_zh.dll");
    EXPECT_EQ(version_string(zh, L"CompanyName"), L"Abcd");
    EXPECT_EQ(version_string(zh, L"FileDescription"), L"Fixture of version strings");
    EXPECT_EQ(version_string(zh, L"FileDescription", 8), L"Fixture");  // cut at capacity - 1
    EXPECT_EQ(version_string(zh, L"LegalCopyright"), L"");
    EXPECT_EQ(GetFileVersion(zh.c_str()), make_version(1, 2, 3, 4));

    // A table the translation table doesn't list is never read.
    const std::wstring unlisted = wintest::fixture_path(L"verfix_unlisted.dll");
    EXPECT_EQ(version_string(unlisted, L"CompanyName"), L"");
    EXPECT_EQ(GetFileVersion(unlisted.c_str()), 0u);
}

TEST_F(VersionFile, CommaSeparatedFileVersionReadsAsItsFirstNumber) {
    const std::wstring comma = wintest::fixture_path(L"verfix_comma.exe");
    EXPECT_EQ(version_string(comma, L"FileVersion"), L"2, 5, 0, 1153");
    EXPECT_EQ(GetFileVersion(comma.c_str()), make_version(2, 0, 0, 0));
}

TEST_F(VersionFile, FileWithoutVersionResource) {
    const std::wstring none = copy_of(L"verfix_none.dll");
    const auto before = wintest::read_file(none);
    EXPECT_EQ(version_string(none, L"CompanyName"), L"");
    EXPECT_EQ(GetFileVersion(none.c_str()), 0u);
    EXPECT_EQ(SetVersionString(none.c_str(), L"CompanyName", L"x"), 0);
    EXPECT_EQ(CopyResource(none.c_str(), wintest::fixture_path(L"verfix_art.dll").c_str(), 2, 101), 0);
    EXPECT_EQ(support::WriteVersionResource(none.c_str(), support::kFileOwnLanguage, "x", 1), 0);
    EXPECT_EQ(wintest::read_file(none), before);

    const std::wstring missing = scratch_.file(L"missing.dll");
    EXPECT_EQ(version_string(missing, L"FileVersion"), L"");
    EXPECT_EQ(GetFileVersion(missing.c_str()), 0u);
    EXPECT_EQ(SetVersionString(missing.c_str(), L"CompanyName", L"x"), 0);
}

TEST_F(VersionFile, LongerCompanyNameGrowsEveryEnclosingBlockByEight) {
    const std::wstring file = copy_of(L"verfix_zh.dll");
    const Lengths before = lengths(file, L"080404b0", L"CompanyName");
    ASSERT_EQ(SetVersionString(file.c_str(), L"CompanyName", L"Abcdefghi"), 1);
    const Lengths after = lengths(file, L"080404b0", L"CompanyName");

    EXPECT_EQ(version_string(file, L"CompanyName"), L"Abcdefghi");
    EXPECT_EQ(after.root, before.root + 8);
    EXPECT_EQ(after.file_info, before.file_info + 8);
    EXPECT_EQ(after.table, before.table + 8);
    EXPECT_EQ(before.string, 42u);  // padded 44
    EXPECT_EQ(after.string, 52u);   // padded 52
    // The rest of the file is as it was.
    EXPECT_EQ(version_string(file, L"FileDescription"), L"Fixture of version strings");
    EXPECT_EQ(version_string(file, L"Comments"), L"abcd");
    EXPECT_EQ(GetFileVersion(file.c_str()), make_version(1, 2, 3, 4));
    EXPECT_EQ(resource_bytes(file, 2, 101, kChinese),
              resource_bytes(wintest::fixture_path(L"verfix_zh.dll"), 2, 101, kChinese));
}

TEST_F(VersionFile, TextOfTheSamePaddedSizeChangesNoEnclosingLength) {
    const std::wstring file = copy_of(L"verfix_zh.dll");
    const Lengths before = lengths(file, L"080404b0", L"CompanyName");
    ASSERT_EQ(SetVersionString(file.c_str(), L"CompanyName", L"Wxyz"), 1);
    const Lengths same = lengths(file, L"080404b0", L"CompanyName");
    EXPECT_EQ(version_string(file, L"CompanyName"), L"Wxyz");
    EXPECT_EQ(same.root, before.root);
    EXPECT_EQ(same.file_info, before.file_info);
    EXPECT_EQ(same.table, before.table);
    EXPECT_EQ(same.string, before.string);

    ASSERT_EQ(SetVersionString(file.c_str(), L"CompanyName", L"Abcde"), 1);
    const Lengths five = lengths(file, L"080404b0", L"CompanyName");
    EXPECT_EQ(version_string(file, L"CompanyName"), L"Abcde");
    EXPECT_EQ(five.root, before.root);
    EXPECT_EQ(five.file_info, before.file_info);
    EXPECT_EQ(five.table, before.table);
    EXPECT_EQ(five.string, before.string + 2);
}

TEST_F(VersionFile, LastStringOfItsTableKeepsItsTerminatorInside) {
    const std::wstring file = copy_of(L"verfix_zh.dll");
    ASSERT_EQ(SetVersionString(file.c_str(), L"Comments", L"xyz"), 1);
    EXPECT_EQ(version_string(file, L"Comments"), L"xyz");
    const std::vector<std::uint8_t> info = version_info(file);
    const BlockAt table = block(info, {L"StringFileInfo", L"080404b0"});
    const BlockAt comments = block(info, {L"StringFileInfo", L"080404b0", L"Comments"});
    EXPECT_EQ(table.end(), comments.end());
    EXPECT_EQ(block(info, {L"StringFileInfo"}).end(), comments.end());
    EXPECT_EQ(version_string(file, L"CompanyName"), L"Abcd");
}

TEST_F(VersionFile, EveryTableWithTheKeyGetsTheNewText) {
    const std::wstring file = copy_of(L"verfix_two.dll");
    ASSERT_EQ(table_string(file, L"040904b0", L"CompanyName"), L"En Company");
    ASSERT_EQ(SetVersionString(file.c_str(), L"CompanyName", L"紫金软件"), 1);
    EXPECT_EQ(table_string(file, L"080404b0", L"CompanyName"), L"紫金软件");
    EXPECT_EQ(table_string(file, L"040904b0", L"CompanyName"), L"紫金软件");
    EXPECT_EQ(table_string(file, L"080404b0", L"FileDescription"), L"zh");
    EXPECT_EQ(table_string(file, L"040904b0", L"FileDescription"), L"en");
    EXPECT_EQ(version_string(file, L"CompanyName"), L"紫金软件");
}

TEST_F(VersionFile, MissingKeyOrUnlistedTableLeavesTheFileAlone) {
    const std::wstring zh = copy_of(L"verfix_zh.dll");
    const auto zh_before = wintest::read_file(zh);
    EXPECT_EQ(SetVersionString(zh.c_str(), L"LegalTrademarks", L"x"), 0);
    EXPECT_EQ(SetVersionString(zh.c_str(), L"companyname", L"x"), 0);
    EXPECT_EQ(wintest::read_file(zh), zh_before);

    const std::wstring unlisted = copy_of(L"verfix_unlisted.dll");
    const auto unlisted_before = wintest::read_file(unlisted);
    EXPECT_EQ(SetVersionString(unlisted.c_str(), L"CompanyName", L"x"), 0);
    EXPECT_EQ(wintest::read_file(unlisted), unlisted_before);
    EXPECT_EQ(table_string(unlisted, L"040904b0", L"CompanyName"), L"Elsewhere");
}

TEST_F(VersionFile, WriteVersionResourceReplacesTheWholeResource) {
    const std::wstring file = copy_of(L"verfix_zh.dll");
    const std::vector<std::uint8_t> comma = version_info(wintest::fixture_path(L"verfix_comma.exe"));
    ASSERT_FALSE(comma.empty());
    const std::size_t resource_length = word_at(comma, 0);
    ASSERT_EQ(support::WriteVersionResource(file.c_str(), support::kFileOwnLanguage, comma.data(),
                                            static_cast<std::uint32_t>(resource_length)),
              1);
    EXPECT_EQ(version_string(file, L"FileVersion"), L"2, 5, 0, 1153");
    EXPECT_EQ(version_string(file, L"CompanyName"), L"Comma Co");
    EXPECT_EQ(support::WriteVersionResource(scratch_.file(L"absent.dll").c_str(), kChinese, comma.data(),
                                            static_cast<std::uint32_t>(resource_length)),
              0);
}

TEST_F(VersionFile, CopyResourceCarriesABitmapAndAnIconOver) {
    const std::wstring target = copy_of(L"verfix_zh.dll");
    const std::wstring source = wintest::fixture_path(L"verfix_art.dll");
    const auto source_bitmap = resource_bytes(source, 2, 101, 0x0409);
    const auto source_icon = resource_bytes(source, 3, 1, 0x0409);
    ASSERT_FALSE(source_bitmap.empty());
    ASSERT_FALSE(source_icon.empty());
    ASSERT_NE(resource_bytes(target, 2, 101, kChinese), source_bitmap);

    ASSERT_EQ(CopyResource(target.c_str(), source.c_str(), 2, 101), 1);  // RT_BITMAP
    ASSERT_EQ(CopyResource(target.c_str(), source.c_str(), 3, 1), 1);    // RT_ICON
    EXPECT_EQ(resource_bytes(target, 2, 101, kChinese), source_bitmap);
    EXPECT_EQ(resource_bytes(target, 3, 1, kChinese), source_icon);

    // The picture a program would load from the target is the source's.
    HMODULE module = LoadLibraryExW(target.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(101), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(bitmap, nullptr);
    BITMAP shape{};
    GetObjectW(bitmap, sizeof shape, &shape);
    EXPECT_EQ(shape.bmWidth, 2);
    EXPECT_EQ(shape.bmHeight, 3);
    DeleteObject(bitmap);
    FreeLibrary(module);
    EXPECT_EQ(version_string(target, L"CompanyName"), L"Abcd");  // the version resource stays
}

TEST_F(VersionFile, CopyResourceRefusesNeutralTargetsAndMissingResources) {
    const std::wstring source = wintest::fixture_path(L"verfix_art.dll");
    const std::wstring neutral = copy_of(L"verfix_lang0.dll");
    const auto neutral_before = wintest::read_file(neutral);
    const auto source_before = wintest::read_file(source);
    EXPECT_EQ(CopyResource(neutral.c_str(), source.c_str(), 2, 101), 0);
    EXPECT_EQ(wintest::read_file(neutral), neutral_before);
    EXPECT_EQ(wintest::read_file(source), source_before);

    const std::wstring target = copy_of(L"verfix_zh.dll");
    const auto target_before = wintest::read_file(target);
    EXPECT_EQ(CopyResource(target.c_str(), source.c_str(), 2, 999), 0);
    EXPECT_EQ(CopyResource(target.c_str(), scratch_.file(L"absent.dll").c_str(), 2, 101), 0);
    EXPECT_EQ(wintest::read_file(target), target_before);
}

TEST_F(VersionFile, CarryIdentityHandsResourcesAndTextsOverInOneRewriteAndNoneWhenThereIsNothingNew) {
    const std::wstring target = copy_of(L"verfix_zh.dll");
    const std::wstring art = wintest::fixture_path(L"verfix_art.dll");
    const support::ResourceId pictures[] = {{2, 101}, {3, 1}};
    const wchar_t* const keys[] = {L"FileDescription", L"CompanyName"};
    // The source has no version texts: only the pictures come over.
    ASSERT_EQ(support::CarryIdentity(target.c_str(), art.c_str(), pictures, keys), 1);
    EXPECT_EQ(resource_bytes(target, 2, 101, kChinese), resource_bytes(art, 2, 101, 0x0409));
    EXPECT_EQ(resource_bytes(target, 3, 1, kChinese), resource_bytes(art, 3, 1, 0x0409));
    EXPECT_EQ(version_string(target, L"CompanyName"), L"Abcd");

    // Texts of the first table that has them; the pictures stay.
    const std::wstring two = wintest::fixture_path(L"verfix_two.dll");
    ASSERT_EQ(support::CarryIdentity(target.c_str(), two.c_str(), {}, keys), 1);
    EXPECT_EQ(version_string(target, L"CompanyName"), L"Zh Co");
    EXPECT_EQ(version_string(target, L"FileDescription"), L"zh");
    EXPECT_EQ(version_string(target, L"FileVersion"), L"1.2.3.4");
    EXPECT_EQ(resource_bytes(target, 2, 101, kChinese), resource_bytes(art, 2, 101, 0x0409));

    // Everything there already: the file isn't written at all.
    const auto before = wintest::read_file(target);
    FILETIME written_before{};
    FILETIME written_after{};
    {
        const support::UniqueHandle file(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                     OPEN_EXISTING, 0, nullptr));
        GetFileTime(file.get(), nullptr, nullptr, &written_before);
    }
    Sleep(20);
    EXPECT_EQ(support::CarryIdentity(target.c_str(), art.c_str(), pictures, {}), 1);
    EXPECT_EQ(support::CarryIdentity(target.c_str(), two.c_str(), {}, keys), 1);
    {
        const support::UniqueHandle file(CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                     OPEN_EXISTING, 0, nullptr));
        GetFileTime(file.get(), nullptr, nullptr, &written_after);
    }
    EXPECT_EQ(wintest::read_file(target), before);
    EXPECT_EQ(CompareFileTime(&written_before, &written_after), 0);
}

TEST_F(VersionFile, CarryIdentityRefusesWhatCanNotCarryOverAndLeavesTheTargetAlone) {
    const std::wstring art = wintest::fixture_path(L"verfix_art.dll");
    // A text whose key the target's tables lack ("Comments" isn't in them).
    const std::wstring target = copy_of(L"verfix_two.dll");
    const auto before = wintest::read_file(target);
    const wchar_t* const comments[] = {L"Comments"};
    EXPECT_EQ(support::CarryIdentity(target.c_str(), wintest::fixture_path(L"verfix_zh.dll").c_str(), {}, comments), 0);
    // A picture the source hasn't, even beside one it has.
    const support::ResourceId missing[] = {{2, 101}, {2, 999}};
    EXPECT_EQ(support::CarryIdentity(target.c_str(), art.c_str(), missing, {}), 0);
    // A neutral target has no language to put a picture in.
    const std::wstring neutral = copy_of(L"verfix_lang0.dll");
    const auto neutral_before = wintest::read_file(neutral);
    const support::ResourceId bitmap[] = {{2, 101}};
    EXPECT_EQ(support::CarryIdentity(neutral.c_str(), art.c_str(), bitmap, {}), 0);
    EXPECT_EQ(wintest::read_file(target), before);
    EXPECT_EQ(wintest::read_file(neutral), neutral_before);
}
