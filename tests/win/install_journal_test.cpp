// The install journal against Wine's real files, registry, font table and
// keyboard layouts: what a run records is undone newest first and leaves
// things as they were; a commit keeps everything and leaves no backups.

#include <windows.h>
#include <imm.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "install/ime_layout_removal.h"
#include "install/install_journal.h"
#include "install/pending_renames.h"
#include "install/raw_value.h"
#include "app/folders.h"
#include "app/private_folder.h"
#include "support/run_report.h"
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
    // The same file named in other letter cases (as the file system compares
    // names, accented letters too) is the same record.
    const std::wstring accented = scratch.file(L"\u00c4\u00e9.dat");
    ASSERT_TRUE(journal.before_file_write(accented.c_str()));
    ASSERT_TRUE(journal.before_file_write(scratch.file(L"\u00e4\u00c9.DAT").c_str()));
    ASSERT_TRUE(journal.before_file_write(scratch.file(L"OLD.dll").c_str()));
    EXPECT_EQ(journal.size(), 3u);

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

// --- clearing, failing undo steps, the journal on disk ---

// A report that keeps what it is told.
class KeptReport final : public support::RunReport {
public:
    void row(const wchar_t* text) override { rows.emplace_back(text); }
    void progress(int) override {}
    void failure(const wchar_t* what, unsigned long error) override {
        failures.emplace_back(what);
        errors.push_back(error);
    }
    void touched(support::Touch, const wchar_t*) override {}
    std::vector<std::wstring> rows;
    std::vector<std::wstring> failures;
    std::vector<unsigned long> errors;
};

std::vector<std::wstring> names_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..")
            names.emplace_back(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

TEST(InstallJournalClearing, AFolderMovedAsideComesBackOnRollbackAndGoesOnCommit) {
    ScratchFolder scratch(L"journal");
    const std::wstring product = scratch.file(L"Product");
    for (const bool commit : {false, true}) {
        ASSERT_TRUE(CreateDirectoryW(product.c_str(), nullptr));
        ASSERT_TRUE(wintest::write_file(product + L"\\old.dll", bytes("old")));
        InstallJournal journal(scratch.file(L"backups").c_str());
        ASSERT_TRUE(journal.move_aside((product + L"\\").c_str()));
        // Moved, not deleted: beside the folder under a name of its own.
        EXPECT_FALSE(folder_exists(product));
        const std::vector<std::wstring> beside = names_in(scratch.path());
        ASSERT_EQ(beside.size(), 1u);
        EXPECT_EQ(beside[0].rfind(L"Product.~zzold", 0), 0u) << beside[0];
        // The run makes the folder again and places its files.
        journal.folder_created(product.c_str());
        ASSERT_TRUE(CreateDirectoryW(product.c_str(), nullptr));
        const std::wstring placed = product + L"\\new.dll";
        ASSERT_TRUE(journal.before_file_write(placed.c_str()));
        ASSERT_TRUE(wintest::write_file(placed, bytes("new")));
        if (commit) {
            journal.commit();
            EXPECT_EQ(names_in(product), std::vector<std::wstring>{L"new.dll"});
        } else {
            journal.rollback();
            EXPECT_EQ(names_in(product), std::vector<std::wstring>{L"old.dll"});
            EXPECT_EQ(content(product + L"\\old.dll"), "old");
        }
        EXPECT_EQ(names_in(scratch.path()), std::vector<std::wstring>{L"Product"});
        EXPECT_EQ(journal.failures(), 0u);
        app::remove_directory_tree(product.c_str());
    }
    // Nothing to move: refused, and nothing recorded.
    InstallJournal journal(scratch.file(L"backups").c_str());
    EXPECT_FALSE(journal.move_aside(product.c_str()));
    EXPECT_EQ(journal.size(), 0u);
}

TEST(InstallJournalClearing, AFailingUndoStepIsToldAndTheOthersStillRun) {
    ScratchFolder scratch(L"journal");
    const std::wstring first = scratch.file(L"first.dll");
    const std::wstring held = scratch.file(L"held.dll");
    const std::wstring last = scratch.file(L"last.dll");
    KeptReport report;
    InstallJournal journal(scratch.file(L"backups").c_str(), &report);
    for (const std::wstring& path : {first, held, last}) {
        ASSERT_TRUE(journal.before_file_write(path.c_str()));
        ASSERT_TRUE(wintest::write_file(path, bytes("new")));
    }
    // Another program holds one file open without delete sharing: its
    // undo fails, the steps before and after it are done all the same.
    const support::UniqueHandle holder(
        CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    journal.rollback();
    EXPECT_FALSE(file_exists(first));
    EXPECT_FALSE(file_exists(last));
    EXPECT_TRUE(file_exists(held));
    EXPECT_EQ(journal.failures(), 1u);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0], held);
    EXPECT_NE(report.errors[0], 0u);
}

// The journal folder of a product of the test's own, removed afterwards.
class TestProduct {
public:
    TestProduct() : name_(wintest::unique_name(L"JournalTest")) {
        wchar_t folder[app::kPathUnits];
        if (install::journal_folder(folder, name_.c_str())) folder_ = folder;
    }
    ~TestProduct() {
        app::remove_directory_tree(folder_.c_str());
        wchar_t data[app::kPathUnits];
        if (app::common_data_dir(data, name_.c_str())) app::remove_directory_tree(data);
    }
    const wchar_t* name() const { return name_.c_str(); }
    const std::wstring& folder() const { return folder_; }
    std::wstring file() const { return folder_ + install::kJournalFileName; }

private:
    std::wstring name_;
    std::wstring folder_;
};

TEST(InstallJournalOnDisk, AKilledRunIsUndoneByTheNextAndSaysSo) {
    ScratchFolder scratch(L"journal");
    const std::wstring install_dir = scratch.file(L"Product");
    const std::wstring old = install_dir + L"\\old.dll";
    ASSERT_TRUE(CreateDirectoryW(install_dir.c_str(), nullptr));
    ASSERT_TRUE(wintest::write_file(old, bytes("before")));
    const std::wstring fresh = scratch.file(L"fresh.dll");
    TestKey key;
    TestProduct product;
    ASSERT_FALSE(product.folder().empty());
    {
        KeptReport report;
        std::unique_ptr<InstallJournal> journal =
            install::open_run_journal(product.name(), install_dir.c_str(), L"", report);
        // On disk from the start, in the product's journal folder.
        ASSERT_TRUE(file_exists(product.file()));
        ASSERT_TRUE(journal->move_aside(install_dir.c_str()));
        ASSERT_TRUE(CreateDirectoryW(install_dir.c_str(), nullptr));
        journal->folder_created(install_dir.c_str());
        ASSERT_TRUE(journal->before_file_write(old.c_str()));
        ASSERT_TRUE(wintest::write_file(old, bytes("after")));
        ASSERT_TRUE(journal->before_value_write(HKEY_CURRENT_USER, key.path().c_str(), L"Setting"));
        set_value(HKEY_CURRENT_USER, key.path(), L"Setting", REG_SZ, L"x", 4);
        // The run ends here as a killed one would: no commit, no rollback.
        // (The fresh file lies outside the install folder: a record naming
        // it could never be read back.)
        EXPECT_EQ(report.failures, std::vector<std::wstring>{});
    }
    ASSERT_TRUE(file_exists(product.file()));
    EXPECT_EQ(content(old), "after");

    KeptReport report;
    EXPECT_EQ(install::recover_interrupted_run(product.name(), report), install::Recovery::RolledBack);
    EXPECT_EQ(content(old), "before");
    EXPECT_EQ(names_in(scratch.path()), std::vector<std::wstring>{L"Product"});
    EXPECT_FALSE(get_value(HKEY_CURRENT_USER, key.path(), L"Setting").present);
    EXPECT_FALSE(folder_exists(product.folder()));
    ASSERT_EQ(report.rows.size(), 1u);
    EXPECT_EQ(report.rows[0], std::wstring(install::kRecoveredRow) + product.folder());
    // Nothing left: the next run finds nothing to do.
    EXPECT_EQ(install::recover_interrupted_run(product.name(), report), install::Recovery::None);
    EXPECT_FALSE(file_exists(fresh));
}

// Records written in a batch reach the disk together, before any change
// they name; a run killed after them with only some of the changes made
// is undone to the state before it, the intents without a change to nothing.
TEST(InstallJournalOnDisk, ABatchKilledHalfWayIsUndoneAndItsUnmadeChangesToNothing) {
    ScratchFolder scratch(L"journal");
    const std::wstring install_dir = scratch.file(L"Product");
    const std::wstring old = install_dir + L"\\old.dll";
    const std::wstring untouched = install_dir + L"\\untouched.dll";
    const std::wstring placed = install_dir + L"\\placed.dll";
    const std::wstring unplaced = install_dir + L"\\unplaced.dll";
    ASSERT_TRUE(CreateDirectoryW(install_dir.c_str(), nullptr));
    ASSERT_TRUE(wintest::write_file(old, bytes("before")));
    ASSERT_TRUE(wintest::write_file(untouched, bytes("as it was")));
    ASSERT_TRUE(SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_READONLY));
    TestProduct product;
    {
        KeptReport report;
        std::unique_ptr<InstallJournal> journal =
            install::open_run_journal(product.name(), install_dir.c_str(), L"", report);
        const auto on_disk = [&] {
            const auto data = wintest::read_file(product.file());
            return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        };
        journal->defer_writes();
        for (const std::wstring* path : {&old, &untouched, &placed, &unplaced})
            ASSERT_TRUE(journal->before_file_write(path->c_str()));
        EXPECT_EQ(on_disk().find(L"unplaced.dll"), std::wstring::npos);
        ASSERT_TRUE(journal->make_durable());
        EXPECT_NE(on_disk().find(L"unplaced.dll"), std::wstring::npos);
        // Records from now on reach the disk at once again.
        const std::wstring later = install_dir + L"\\later.dll";
        ASSERT_TRUE(journal->before_file_write(later.c_str()));
        EXPECT_NE(on_disk().find(L"later.dll"), std::wstring::npos);
        // Two of the four changes are made, then the run is killed.
        SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(wintest::write_file(old, bytes("after")));
        ASSERT_TRUE(wintest::write_file(placed, bytes("new")));
        EXPECT_EQ(report.failures, std::vector<std::wstring>{});
    }
    KeptReport report;
    EXPECT_EQ(install::recover_interrupted_run(product.name(), report), install::Recovery::RolledBack);
    EXPECT_EQ(report.failures, std::vector<std::wstring>{});
    EXPECT_EQ(content(old), "before");
    EXPECT_EQ(GetFileAttributesW(old.c_str()) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(content(untouched), "as it was");
    // Put back by a rename from beside it: nothing else is left in the folder.
    std::vector<std::wstring> left = names_in(install_dir);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::wstring>{L"old.dll", L"untouched.dll"}));
    EXPECT_FALSE(folder_exists(product.folder()));
    SetFileAttributesW(old.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(InstallJournalOnDisk, ACommittedRunKilledInItsCleanUpIsFinished) {
    ScratchFolder scratch(L"journal");
    const std::wstring install_dir = scratch.file(L"Product");
    ASSERT_TRUE(CreateDirectoryW(install_dir.c_str(), nullptr));
    ASSERT_TRUE(wintest::write_file(install_dir + L"\\old.dll", bytes("old")));
    TestProduct product;
    std::wstring aside;
    {
        KeptReport report;
        std::unique_ptr<InstallJournal> journal =
            install::open_run_journal(product.name(), install_dir.c_str(), L"", report);
        ASSERT_TRUE(journal->move_aside(install_dir.c_str()));
        ASSERT_TRUE(CreateDirectoryW(install_dir.c_str(), nullptr));
        aside = scratch.path() + L"\\" + names_in(scratch.path())[0];
        if (aside == install_dir) aside = scratch.path() + L"\\" + names_in(scratch.path())[1];
    }
    {
        // The commit's mark is on disk, then the run is killed.
        const HANDLE file = CreateFileW(product.file().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, L"C\n", 4, &written, nullptr);
        CloseHandle(file);
    }
    ASSERT_TRUE(folder_exists(aside));
    KeptReport report;
    EXPECT_EQ(install::recover_interrupted_run(product.name(), report), install::Recovery::Finished);
    EXPECT_FALSE(folder_exists(aside));
    EXPECT_TRUE(folder_exists(install_dir));
    EXPECT_FALSE(folder_exists(product.folder()));
    ASSERT_EQ(report.rows.size(), 1u);
    EXPECT_EQ(report.rows[0], std::wstring(install::kFinishedRow) + product.folder());
}

TEST(InstallJournalOnDisk, AJournalNamingOtherPlacesIsDeletedUnread) {
    ScratchFolder scratch(L"journal");
    const std::wstring install_dir = scratch.file(L"Product");
    const std::wstring victim = scratch.file(L"victim.txt");
    ASSERT_TRUE(wintest::write_file(victim, bytes("somebody's")));
    TestKey key;
    set_value(HKEY_CURRENT_USER, key.path(), L"Kept", REG_SZ, L"x", 4);
    // Each journal below names something no run of the product touches,
    // or is no journal at all; every one would delete the victim file or
    // the value if it were believed.
    const std::wstring delete_victim = L"F\t" + victim + L"\t0\t0\t-\n";
    const std::vector<std::wstring> journals = {
        L"H\t1\t" + install_dir + L"\\\n" + delete_victim,
        L"H\t1\tC:\\windows\\\nF\tC:\\windows\\win.ini\t0\t0\t-\n",
        L"H\t1\t" + install_dir + L"\\\nF\t" + install_dir + L"\\..\\victim.txt\t0\t0\t-\n",
        L"H\t1\t" + install_dir + L"\\\nV\tU\tSystem\\" + key.path() + L"\t4b00650070007400\t0\t0\t\n",
        L"H\t1\t" + install_dir + L"\\\nA\t" + scratch.path() + L"\t" + scratch.path() + L".~zzold00000000\n",
        L"H\t1\t" + install_dir + L"\\\nF\t" + install_dir + L"\\a.dll\t1\t0\t..\\..\\victim.txt\n",
        L"H\t2\t" + install_dir + L"\\\n",
        L"X\tnothing\n",
    };
    for (const std::wstring& text : journals) {
        TestProduct product;
        ASSERT_TRUE(app::create_private_folder(product.folder().c_str()));
        ASSERT_TRUE(wintest::write_file(product.file(), std::vector<std::uint8_t>(
                                                           reinterpret_cast<const std::uint8_t*>(text.data()),
                                                           reinterpret_cast<const std::uint8_t*>(text.data()) +
                                                               text.size() * sizeof(wchar_t))));
        KeptReport report;
        EXPECT_EQ(install::recover_interrupted_run(product.name(), report), install::Recovery::Refused) << text;
        EXPECT_EQ(content(victim), "somebody's") << text;
        EXPECT_TRUE(get_value(HKEY_CURRENT_USER, key.path(), L"Kept").present) << text;
        EXPECT_FALSE(folder_exists(product.folder())) << text;
        ASSERT_EQ(report.failures.size(), 1u) << text;
        EXPECT_EQ(report.rows[0], std::wstring(install::kRefusedRow) + product.folder());
    }
}

}  // namespace
