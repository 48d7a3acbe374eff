// The install journal against Wine's real files, registry, font table and
// keyboard layouts: what a run records is undone newest first and leaves
// things as they were; a commit keeps everything and leaves no backups.

#include <windows.h>
#include <imm.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/ime_layout_removal.h"
#include "install/install_journal.h"
#include "install/pending_renames.h"
#include "install/raw_value.h"
#include "scratch.h"
#include "support/unique_handle.h"

namespace {

using install::InstallJournal;
using wintest::file_exists;
using wintest::folder_exists;
using wintest::ScratchFolder;

std::vector<std::uint8_t> bytes(const char* text) { return {text, text + std::char_traits<char>::length(text)}; }

std::string content(const std::wstring& path) {
    const auto data = wintest::read_file(path);
    return {data.begin(), data.end()};
}

// A key of the test's own below HKCU\Software, deleted with everything in it.
class TestKey {
public:
    TestKey() : path_(L"Software\\" + wintest::unique_name(L"imebase_journal")) {}
    ~TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }
    const std::wstring& path() const { return path_; }
    std::wstring sub(const wchar_t* name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

bool key_exists(HKEY root, const std::wstring& path) {
    support::UniqueKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | install::kRegistryView, key.put()) == ERROR_SUCCESS;
}

void set_value(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    support::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | install::kRegistryView, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

struct Value {
    bool present = false;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};

Value get_value(HKEY root, const std::wstring& path, const wchar_t* name) {
    Value value;
    support::UniqueKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | install::kRegistryView, key.put()) != ERROR_SUCCESS)
        return value;
    // The stored bytes: the registry API counts a NUL that isn't stored.
    value.present = install::read_raw_value(key.get(), name, value.type, value.data) == ERROR_SUCCESS;
    return value;
}

// --- files and folders ---

TEST(InstallJournalFiles, RollbackDeletesNewFilesAndRestoresOverwrittenOnes) {
    ScratchFolder scratch(L"journal");
    const std::wstring backups = scratch.file(L"backups");
    const std::wstring fresh = scratch.file(L"fresh.dll");
    const std::wstring old = scratch.file(L"old.dll");
    ASSERT_TRUE(wintest::write_file(old, bytes("before")));
    ASSERT_TRUE(SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    InstallJournal journal(backups.c_str());
    ASSERT_TRUE(journal.before_file_write(fresh.c_str()));
    ASSERT_TRUE(wintest::write_file(fresh, bytes("new")));
    ASSERT_TRUE(journal.before_file_write(old.c_str()));
    SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(wintest::write_file(old, bytes("after")));
    // A second write of the same file in the same run: the first record keeps the original.
    ASSERT_TRUE(journal.before_file_write(old.c_str()));
    ASSERT_TRUE(wintest::write_file(old, bytes("after again")));
    EXPECT_EQ(journal.size(), 2u);

    journal.rollback();
    EXPECT_FALSE(file_exists(fresh));
    EXPECT_EQ(content(old), "before");
    EXPECT_EQ(GetFileAttributesW(old.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(folder_exists(backups));
    EXPECT_EQ(journal.size(), 0u);
    SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(InstallJournalFiles, ADeletedFileComesBackAndAFileNeverWrittenStaysAbsent) {
    ScratchFolder scratch(L"journal");
    const std::wstring kept = scratch.file(L"kept.txt");
    const std::wstring never = scratch.file(L"never.txt");
    ASSERT_TRUE(wintest::write_file(kept, bytes("keep me")));
    InstallJournal journal(scratch.file(L"backups").c_str());
    ASSERT_TRUE(journal.before_file_write(kept.c_str()));
    ASSERT_TRUE(DeleteFileW(kept.c_str()));
    // A step that recorded its file and failed before writing it.
    ASSERT_TRUE(journal.before_file_write(never.c_str()));
    journal.rollback();
    EXPECT_EQ(content(kept), "keep me");
    EXPECT_FALSE(file_exists(never));
}

TEST(InstallJournalFiles, CommitKeepsTheNewContentAndLeavesNoBackups) {
    ScratchFolder scratch(L"journal");
    const std::wstring backups = scratch.file(L"backups");
    const std::wstring old = scratch.file(L"old.dll");
    ASSERT_TRUE(wintest::write_file(old, bytes("before")));
    InstallJournal journal(backups.c_str());
    ASSERT_TRUE(journal.before_file_write(old.c_str()));
    EXPECT_TRUE(folder_exists(backups));
    ASSERT_TRUE(wintest::write_file(old, bytes("after")));
    journal.commit();
    EXPECT_EQ(content(old), "after");
    EXPECT_FALSE(folder_exists(backups));
    journal.rollback();  // nothing is left to undo
    EXPECT_EQ(content(old), "after");
}

TEST(InstallJournalFiles, RefusesWhatItCannotKeep) {
    ScratchFolder scratch(L"journal");
    const std::wstring old = scratch.file(L"old.dll");
    ASSERT_TRUE(wintest::write_file(old, bytes("before")));
    // A folder is no file to overwrite; a journal without a backup folder
    // can't keep an existing file; an empty path names nothing.
    InstallJournal journal(scratch.file(L"backups").c_str());
    EXPECT_FALSE(journal.before_file_write(scratch.path().c_str()));
    EXPECT_FALSE(journal.before_file_write(L""));
    InstallJournal no_backups(L"");
    EXPECT_FALSE(no_backups.before_file_write(old.c_str()));
    EXPECT_TRUE(no_backups.before_file_write(scratch.file(L"new.dll").c_str()));
}

TEST(InstallJournalFiles, CreatedFoldersGoOnlyWhenEmpty) {
    ScratchFolder scratch(L"journal");
    const std::wstring outer = scratch.file(L"outer");
    const std::wstring inner = outer + L"\\inner";
    const std::wstring other = scratch.file(L"other");
    InstallJournal journal(scratch.file(L"backups").c_str());
    ASSERT_TRUE(CreateDirectoryW(outer.c_str(), nullptr));
    journal.folder_created(outer.c_str());
    ASSERT_TRUE(CreateDirectoryW(inner.c_str(), nullptr));
    journal.folder_created(inner.c_str());
    const std::wstring file = inner + L"\\x.txt";
    ASSERT_TRUE(journal.before_file_write(file.c_str()));
    ASSERT_TRUE(wintest::write_file(file, bytes("x")));
    // Something that isn't the run's own lands in a folder the run made.
    ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr));
    journal.folder_created(other.c_str());
    ASSERT_TRUE(wintest::write_file(other + L"\\foreign.txt", bytes("not ours")));

    journal.rollback();
    EXPECT_FALSE(folder_exists(outer));  // newest first: the file, then inner, then outer
    EXPECT_TRUE(file_exists(other + L"\\foreign.txt"));
}

// --- registry ---

TEST(InstallJournalRegistry, ValuesComeBackWithTheirTypeAndBytes) {
    TestKey key;
    const DWORD number = 0x12345678;
    // Stored without a NUL: the system adds one itself when the unit after
    // the data is a NUL, so the text is followed by another character.
    const wchar_t text[] = L"old text!";
    const std::uint8_t blob[] = {0, 1, 2, 0xFF};
    set_value(HKEY_CURRENT_USER, key.path(), L"Number", REG_DWORD, &number, sizeof number);
    set_value(HKEY_CURRENT_USER, key.path(), L"Text", REG_SZ, text, 8 * sizeof(wchar_t));
    set_value(HKEY_CURRENT_USER, key.path(), L"", REG_BINARY, blob, sizeof blob);

    InstallJournal journal(L"");
    for (const wchar_t* name : {L"Number", L"Text", L"", L"Fresh"})
        ASSERT_TRUE(journal.before_value_write(HKEY_CURRENT_USER, key.path().c_str(), name));
    const wchar_t other[] = L"replaced";
    set_value(HKEY_CURRENT_USER, key.path(), L"Number", REG_SZ, other, sizeof other);
    set_value(HKEY_CURRENT_USER, key.path(), L"Text", REG_SZ, other, sizeof other);
    set_value(HKEY_CURRENT_USER, key.path(), L"", REG_SZ, other, sizeof other);
    set_value(HKEY_CURRENT_USER, key.path(), L"Fresh", REG_SZ, other, sizeof other);

    journal.rollback();
    const Value restored_number = get_value(HKEY_CURRENT_USER, key.path(), L"Number");
    EXPECT_EQ(restored_number.type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(restored_number.data.size(), sizeof number);
    const Value restored_text = get_value(HKEY_CURRENT_USER, key.path(), L"Text");
    EXPECT_EQ(restored_text.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(restored_text.data.size(), 8 * sizeof(wchar_t));  // still without a NUL
    const Value restored_default = get_value(HKEY_CURRENT_USER, key.path(), L"");
    EXPECT_EQ(restored_default.type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(restored_default.data, std::vector<std::uint8_t>(blob, blob + sizeof blob));
    EXPECT_FALSE(get_value(HKEY_CURRENT_USER, key.path(), L"Fresh").present);
}

TEST(InstallJournalRegistry, CreatedKeysGoAfterTheirValuesButNeverAsATree) {
    TestKey key;
    const std::wstring product = key.sub(L"product");
    const std::wstring kept = key.sub(L"kept");
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.path().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              support::UniqueKey().put(), nullptr),
              ERROR_SUCCESS);
    InstallJournal journal(L"");
    const wchar_t data[] = L"C:\\x\\";
    // Recorded in the order a step works: the key, then its value.
    journal.key_created(HKEY_CURRENT_USER, product.c_str());
    ASSERT_TRUE(journal.before_value_write(HKEY_CURRENT_USER, product.c_str(), L"ZMEInstallPath"));
    set_value(HKEY_CURRENT_USER, product, L"ZMEInstallPath", REG_SZ, data, 5 * sizeof(wchar_t));
    // A key that has gained a subkey meanwhile isn't the run's alone: it stays.
    journal.key_created(HKEY_CURRENT_USER, kept.c_str());
    set_value(HKEY_CURRENT_USER, kept + L"\\child", L"v", REG_SZ, data, sizeof data);

    journal.rollback();
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, product));
    EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, kept + L"\\child"));
}

TEST(InstallJournalRegistry, AValueInAMissingKeyIsRecordedAsAbsent) {
    TestKey key;
    InstallJournal journal(L"");
    EXPECT_TRUE(journal.before_value_write(HKEY_CURRENT_USER, key.sub(L"none").c_str(), L"v"));
    journal.rollback();  // the key still doesn't exist: nothing to do, nothing created
    EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, key.sub(L"none")));
}

// --- fonts, scheduled replacements, layouts ---

TEST(InstallJournalSystem, AddedFontLeavesTheFontTable) {
    const std::wstring source = L"Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
    if (!file_exists(source)) GTEST_SKIP() << "no DejaVu font on this machine";
    ScratchFolder scratch(L"journal");
    const std::wstring font = scratch.file(L"journal_font.ttf");
    ASSERT_TRUE(CopyFileW(source.c_str(), font.c_str(), FALSE));
    ASSERT_NE(AddFontResourceW(font.c_str()), 0);
    InstallJournal journal(L"");
    journal.font_added(font.c_str());
    journal.rollback();
    // Removing it once more fails: the rollback took it out.
    EXPECT_FALSE(RemoveFontResourceW(font.c_str()));
}

TEST(InstallJournalSystem, ScheduledReplacementIsTakenOutOfThePendingRenames) {
    ScratchFolder scratch(L"journal");
    const std::wstring target = scratch.file(L"busy.dll");
    const std::wstring staged = target + L".pending";
    const std::wstring other = scratch.file(L"other.pending");
    ASSERT_TRUE(wintest::write_file(target, bytes("old")));
    ASSERT_TRUE(wintest::write_file(staged, bytes("new")));
    ASSERT_TRUE(wintest::write_file(other, bytes("other")));
    // Someone else's pending rename must survive ours being taken out.
    ASSERT_TRUE(install::schedule_replacement(other.c_str(), scratch.file(L"other.dll").c_str()));

    // An earlier run, not followed by a restart, scheduled the same file.
    ASSERT_TRUE(install::schedule_replacement(staged.c_str(), target.c_str()));

    InstallJournal journal(scratch.file(L"backups").c_str());
    ASSERT_TRUE(journal.before_file_write(staged.c_str()));
    ASSERT_TRUE(install::schedule_replacement(staged.c_str(), target.c_str()));
    journal.replacement_scheduled(staged.c_str(), target.c_str());
    EXPECT_TRUE(install::scheduled_target(staged.c_str()) == target);

    journal.rollback();
    // The earlier request and its staged file are as they were.
    EXPECT_EQ(install::scheduled_target(staged.c_str()), target);
    EXPECT_EQ(content(staged), "new");
    EXPECT_TRUE(install::cancel_scheduled_replacement(staged.c_str()));
    EXPECT_TRUE(install::scheduled_target(staged.c_str()).empty());
    EXPECT_EQ(install::scheduled_target(other.c_str()), scratch.file(L"other.dll"));
    EXPECT_TRUE(install::cancel_scheduled_replacement(other.c_str()));
    EXPECT_TRUE(install::scheduled_target(other.c_str()).empty());
    EXPECT_FALSE(install::cancel_scheduled_replacement(other.c_str()));
}

// The current user's Preload list, put back as it was when the test ends.
class PreloadGuard {
public:
    PreloadGuard() {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
        for (DWORD index = 0;; ++index) {
            wchar_t name[64];
            DWORD name_units = 64;
            BYTE data[256];
            DWORD size = sizeof data;
            DWORD type = 0;
            if (RegEnumValueW(key_.get(), index, name, &name_units, nullptr, &type, data, &size) != ERROR_SUCCESS)
                break;
            saved_.push_back({name, type, std::vector<BYTE>(data, data + size)});
        }
    }
    ~PreloadGuard() {
        clear();
        for (const auto& value : saved_)
            RegSetValueExW(key_.get(), value.name.c_str(), 0, value.type, value.data.data(),
                           static_cast<DWORD>(value.data.size()));
    }
    void clear() {
        for (const auto& name : names()) RegDeleteValueW(key_.get(), name.c_str());
    }
    void set(const wchar_t* name, const std::wstring& layout) {
        RegSetValueExW(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(layout.c_str()),
                       static_cast<DWORD>((layout.size() + 1) * sizeof(wchar_t)));
    }
    std::vector<std::wstring> names() {
        std::vector<std::wstring> result;
        for (DWORD index = 0;; ++index) {
            wchar_t name[64];
            DWORD name_units = 64;
            if (RegEnumValueW(key_.get(), index, name, &name_units, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            result.push_back(name);
        }
        return result;
    }
    std::wstring get(const wchar_t* name) {
        wchar_t data[64] = {};
        DWORD size = sizeof data - sizeof(wchar_t);
        if (RegQueryValueExW(key_.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
            ERROR_SUCCESS)
            return L"";
        return data;
    }

private:
    static constexpr wchar_t kKey[] = L"Keyboard Layout\\Preload";
    struct Saved {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    support::UniqueKey key_;
    std::vector<Saved> saved_;
};

bool layout_listed(HKL layout) {
    HKL layouts[256];
    const int count = GetKeyboardLayoutList(256, layouts);
    for (int i = 0; i < count; ++i)
        if (layouts[i] == layout) return true;
    return false;
}

std::wstring layout_key(HKL layout) {
    wchar_t name[9];
    install::layout_key_name(layout, name);
    return std::wstring(L"System\\CurrentControlSet\\Control\\Keyboard Layouts\\") + name;
}

TEST(InstallJournalSystem, RegisteredLayoutLeavesRegistryPreloadAndLayoutList) {
    PreloadGuard preload;
    const std::wstring ime_file = L"C:\\windows\\system32\\" + wintest::unique_name(L"jr") + L".zin.ime";
    const HKL layout = ImmInstallIMEW(ime_file.c_str(), const_cast<wchar_t*>(L"Journal layout"));
    ASSERT_NE(layout, nullptr);
    ASSERT_TRUE(layout_listed(layout));
    wchar_t key_name[9];
    install::layout_key_name(layout, key_name);
    preload.clear();
    preload.set(L"1", L"00000409");
    preload.set(L"2", key_name);
    preload.set(L"3", L"00000804");

    InstallJournal journal(L"");
    journal.layout_registered(layout, ime_file.c_str());
    journal.rollback();

    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, layout_key(layout)));
    EXPECT_FALSE(layout_listed(layout));
    EXPECT_EQ(preload.names().size(), 2u);
    EXPECT_EQ(preload.get(L"1"), L"00000409");
    EXPECT_EQ(preload.get(L"2"), L"00000804");  // renumbered, order kept
}

TEST(InstallJournalSystem, ALayoutKeyThatNamesAnotherFileStays) {
    const std::wstring ime_file = L"C:\\windows\\system32\\" + wintest::unique_name(L"jr") + L".zin.ime";
    const HKL layout = ImmInstallIMEW(ime_file.c_str(), const_cast<wchar_t*>(L"Journal layout"));
    ASSERT_NE(layout, nullptr);
    InstallJournal journal(L"");
    journal.layout_registered(layout, L"C:\\windows\\system32\\somebody-else.zin.ime");
    journal.rollback();
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, layout_key(layout)));
    // The test's own layout goes through the same removal with the right name.
    install::remove_ime_layout(layout, ime_file.c_str());
    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, layout_key(layout)));
}

}  // namespace
