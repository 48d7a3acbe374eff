// File placement against Wine's real file system, registry and font
// table: the tree copy, the path macros, fonts and their values, the
// uninstaller, and a file in use that is replaced at the next restart.
// Everything placed outside the test's folders is taken back through the
// run's journal, which these tests check on the way.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "install/file_names.h"
#include "install/file_placement.h"
#include "install/font_install.h"
#include "install/install_journal.h"
#include "install/pending_renames.h"
#include "install/raw_value.h"
#include "package/pe_certificate.h"
#include "failure_log.h"
#include "install_fixture.h"
#include "scratch.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace {

using install::InstallJournal;
using install::InstallRun;
using wintest::data_dir;
using wintest::file_exists;
using wintest::file_text;
using wintest::folder_exists;
using wintest::put_file;
using wintest::ScratchFolder;
using wintest::special_folder;
using wintest::system_dir;
using wintest::windows_dir;

struct FontValue {
    bool present = false;
    std::wstring text;
    std::size_t bytes = 0;
};

FontValue font_value(const std::wstring& name) {
    FontValue value;
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, install::kFontsKey, 0, KEY_READ | install::kRegistryView, key.put()) !=
        ERROR_SUCCESS)
        return value;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    if (install::read_raw_value(key.get(), name.c_str(), type, data) != ERROR_SUCCESS || type != REG_SZ) return value;
    value.present = true;
    value.bytes = data.size();
    value.text.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!value.text.empty() && value.text.back() == L'\0') value.text.pop_back();
    return value;
}

// A run record over no page, with a journal, for the steps on their own.
struct JournaledRun {
    explicit JournaledRun(wintest::InstallFixture& fixture) : journal(fixture.scratch_file(L"backups").c_str()) {
        run.context = &fixture.context;
        run.info = &fixture.info;
        run.journal = &journal;
        support::copy_slot(run.install_dir, fixture.install_dir().c_str());
    }
    InstallJournal journal;
    InstallRun run;
};

// --- the tree copy ---

TEST(CopyTree, MovesTheTreeAndLeavesDotFoldersBehind) {
    ScratchFolder scratch(L"placement");
    const std::wstring source = scratch.file(L"tree");
    const std::wstring target = scratch.file(L"out\\deeper");
    put_file(source + L"\\a.txt", "a");
    put_file(source + L"\\.profile", "dot file");
    put_file(source + L"\\sub\\b.dll", "b");
    put_file(source + L"\\sub\\deeper\\c.dat", "c");
    put_file(source + L"\\.git\\config", "git");
    put_file(source + L"\\sub\\.svn\\entries", "svn");

    ASSERT_EQ(install::copy_tree(source.c_str(), target.c_str(), 0), 1);
    EXPECT_EQ(file_text(target + L"\\a.txt"), "a");
    EXPECT_EQ(file_text(target + L"\\.profile"), "dot file");  // only folders are skipped by their dot
    EXPECT_EQ(file_text(target + L"\\sub\\b.dll"), "b");
    EXPECT_EQ(file_text(target + L"\\sub\\deeper\\c.dat"), "c");
    EXPECT_FALSE(folder_exists(target + L"\\.git"));
    EXPECT_FALSE(folder_exists(target + L"\\sub\\.svn"));
    // A move: the handled sources are gone, the skipped ones stay.
    EXPECT_FALSE(file_exists(source + L"\\a.txt"));
    EXPECT_FALSE(file_exists(source + L"\\sub\\deeper\\c.dat"));
    EXPECT_TRUE(file_exists(source + L"\\.git\\config"));
    EXPECT_TRUE(file_exists(source + L"\\sub\\.svn\\entries"));
}

TEST(CopyTree, KeepCopiesAndATreeOntoItselfStaysUntouched) {
    ScratchFolder scratch(L"placement");
    const std::wstring source = scratch.file(L"tree");
    put_file(source + L"\\a.txt", "a");
    put_file(source + L"\\sub\\b.dll", "b");

    ASSERT_EQ(install::copy_tree(source.c_str(), scratch.file(L"copy").c_str(), 1), 1);
    EXPECT_EQ(file_text(scratch.file(L"copy\\sub\\b.dll")), "b");
    EXPECT_EQ(file_text(source + L"\\sub\\b.dll"), "b");

    // Onto itself, with and without the trailing backslash: nothing is
    // copied and, above all, nothing is deleted.
    ASSERT_EQ(install::copy_tree(source.c_str(), (source + L"\\").c_str(), 0), 1);
    ASSERT_EQ(install::copy_tree((source + L"\\").c_str(), source.c_str(), 0), 1);
    EXPECT_EQ(file_text(source + L"\\a.txt"), "a");
    EXPECT_EQ(file_text(source + L"\\sub\\b.dll"), "b");
}

TEST(CopyTree, ATargetThatCantBeCreatedFailsAndMovesNothing) {
    ScratchFolder scratch(L"placement");
    const std::wstring source = scratch.file(L"tree");
    put_file(source + L"\\a.txt", "a");
    put_file(scratch.file(L"plain.txt"), "a file, not a folder");
    EXPECT_EQ(install::copy_tree(source.c_str(), scratch.file(L"plain.txt\\sub").c_str(), 0), 0);
    EXPECT_EQ(file_text(source + L"\\a.txt"), "a");
    EXPECT_EQ(install::copy_tree(nullptr, source.c_str(), 0), 0);
}

TEST(CopyTree, AnEntryWhosePathWouldBeCutFailsTheWalkAndKeepsItsSource) {
    ScratchFolder scratch(L"placement");
    const std::wstring source = scratch.file(L"tree");
    put_file(source + L"\\a", "short");
    const std::wstring long_name(40, L'n');
    put_file(source + L"\\" + long_name, "long");
    // A target folder that leaves room for "a" but not for the long name:
    // the product would be incomplete, so the walk fails.
    std::wstring target = scratch.file(L"");
    target += std::wstring(240 - target.size(), L't');
    EXPECT_EQ(install::copy_tree(source.c_str(), target.c_str(), 0), 0);
    EXPECT_FALSE(file_exists((target + L"\\" + long_name).substr(0, 259)));
    EXPECT_EQ(file_text(source + L"\\" + long_name), "long");  // not placed, so not deleted
}

TEST(CopyTree, JournaledMoveIsUndoneWithItsFoldersAndOverwrittenFiles) {
    wintest::InstallFixture fixture(L"placement");
    JournaledRun journaled(fixture);
    const std::wstring source = fixture.scratch_file(L"tree");
    const std::wstring target = fixture.scratch_file(L"existing");
    put_file(source + L"\\old.txt", "new content");
    put_file(source + L"\\locked.txt", "new content");
    put_file(source + L"\\made\\deep\\x.txt", "x");
    put_file(target + L"\\old.txt", "old content");
    put_file(target + L"\\locked.txt", "read-only content");
    SetFileAttributesW((target + L"\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    ASSERT_EQ(install::copy_tree(source.c_str(), target.c_str(), 0, &journaled.run), 1);
    EXPECT_EQ(file_text(target + L"\\old.txt"), "new content");
    EXPECT_EQ(file_text(target + L"\\locked.txt"), "new content");  // read-only is replaced too
    EXPECT_EQ(file_text(target + L"\\made\\deep\\x.txt"), "x");
    EXPECT_EQ(journaled.run.restart_needed, 0);

    journaled.journal.rollback();
    EXPECT_EQ(file_text(target + L"\\old.txt"), "old content");
    EXPECT_EQ(file_text(target + L"\\locked.txt"), "read-only content");
    EXPECT_NE(GetFileAttributesW((target + L"\\locked.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_FALSE(folder_exists(target + L"\\made"));
    EXPECT_TRUE(folder_exists(target));  // it was there before
    SetFileAttributesW((target + L"\\locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// --- a file that can't be placed ---

TEST(PlaceFile, MovesOnOneVolumeAndAFileThatCantBePlacedKeepsItsSourceAndTellsWhy) {
    ScratchFolder scratch(L"placement");
    const std::wstring source = scratch.file(L"new.dll");
    const std::wstring target = scratch.file(L"placed\\new.dll");
    put_file(source, "new");
    put_file(scratch.file(L"plain.txt"), "a file, not a folder");
    CreateDirectoryW(scratch.file(L"placed").c_str(), nullptr);
    CreateDirectoryW(scratch.file(L"folder.dll").c_str(), nullptr);
    InstallRun run;
    wintest::FailureLog log;
    run.report = &log;

    // No folder to put it in, and a folder in the way (no file a restart
    // could replace): nothing placed or staged, the source still there, the
    // error told and left as the thread's last error.
    for (const std::wstring& blocked : {scratch.file(L"plain.txt\\new.dll"), scratch.file(L"folder.dll")}) {
        log.failures.clear();
        EXPECT_EQ(install::place_file(source.c_str(), blocked.c_str(), &run, install::Transfer::move),
                  install::Placement::Failed)
            << blocked;
        const DWORD error = GetLastError();
        EXPECT_EQ(file_text(source), "new");
        ASSERT_EQ(log.failures.size(), 1u) << blocked;
        EXPECT_EQ(log.failures[0].first, blocked);
        EXPECT_NE(log.failures[0].second, 0u);
        EXPECT_EQ(log.failures[0].second, error);
        EXPECT_FALSE(file_exists(blocked + install::kStagedSuffix));
    }
    EXPECT_EQ(log.failures[0].second, static_cast<unsigned long>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(run.restart_needed, 0);

    // Where it can go, a move takes it there whole and the source is gone;
    // nothing else is left beside it.
    EXPECT_EQ(install::place_file(source.c_str(), target.c_str(), &run, install::Transfer::move),
              install::Placement::Placed);
    EXPECT_EQ(file_text(target), "new");
    EXPECT_FALSE(file_exists(source));
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW(scratch.file(L"placed\\*").c_str(), &entry);
    int files = 0;
    do files += (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? 1 : 0;
    while (FindNextFileW(search, &entry));
    FindClose(search);
    EXPECT_EQ(files, 1);
}

TEST(PlaceFiles, StopsAtTheFirstFileThatCantBePlacedAndTellsTheRun) {
    wintest::InstallFixture fixture(L"placement");
    fixture.add(L"blocked\\x.txt", "x");
    fixture.add_uninstaller();
    JournaledRun journaled(fixture);
    wintest::FailureLog log;
    journaled.run.report = &log;
    // The user's file where the package needs a folder.
    put_file(fixture.install_dir() + L"blocked", "the user's file");

    EXPECT_EQ(install::place_files(journaled.run), 0);
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_EQ(log.failures[0].first, fixture.install_dir() + L"blocked");
    EXPECT_EQ(log.failures[0].second, static_cast<unsigned long>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(file_text(fixture.extract() + L"blocked\\x.txt"), "x");  // not placed, so not gone
    journaled.journal.rollback();
    EXPECT_EQ(file_text(fixture.install_dir() + L"blocked"), "the user's file");
    EXPECT_FALSE(file_exists(fixture.install_dir() + L"unstall.exe"));
}

// --- a file in use ---

TEST(FileInUse, IsStagedAndReplacedAtTheNextRestartWhileTheWalkGoesOn) {
    wintest::InstallFixture fixture(L"placement");
    JournaledRun journaled(fixture);
    const std::wstring source = fixture.scratch_file(L"tree");
    const std::wstring target = fixture.scratch_file(L"target");
    put_file(source + L"\\busy.dll", "new busy");
    put_file(source + L"\\zz_after.txt", "after");
    put_file(target + L"\\busy.dll", "old busy");
    const std::wstring busy = target + L"\\busy.dll";
    const std::wstring staged = busy + install::kStagedSuffix;
    {
        // Held open by another user of the file: reading allowed, nothing else.
        support::UniqueHandle holder(
            CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        ASSERT_EQ(install::copy_tree(source.c_str(), target.c_str(), 0, &journaled.run), 1);
        EXPECT_EQ(file_text(busy), "old busy");
    }
    EXPECT_EQ(file_text(staged), "new busy");
    EXPECT_EQ(install::scheduled_target(staged.c_str()), busy);
    EXPECT_EQ(journaled.run.restart_needed, 1);
    EXPECT_EQ(file_text(target + L"\\zz_after.txt"), "after");  // the walk went on
    EXPECT_FALSE(file_exists(source + L"\\busy.dll"));

    // Undone, nothing is left to happen at the restart.
    journaled.journal.rollback();
    EXPECT_TRUE(install::scheduled_target(staged.c_str()).empty());
    EXPECT_FALSE(file_exists(staged));
    EXPECT_EQ(file_text(busy), "old busy");
    EXPECT_FALSE(file_exists(target + L"\\zz_after.txt"));
}

TEST(FileInUse, WithoutAJournalTheReplacementStaysScheduled) {
    ScratchFolder scratch(L"placement");
    const std::wstring source = scratch.file(L"new.dll");
    const std::wstring busy = scratch.file(L"busy.dll");
    const std::wstring staged = busy + install::kStagedSuffix;
    put_file(source, "new");
    put_file(busy, "old");
    InstallRun run;
    {
        support::UniqueHandle holder(CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(install::place_file(source.c_str(), busy.c_str(), &run), install::Placement::Scheduled);
    }
    EXPECT_EQ(run.restart_needed, 1);
    EXPECT_EQ(install::scheduled_target(staged.c_str()), busy);
    EXPECT_TRUE(install::cancel_scheduled_replacement(staged.c_str()));
}

TEST(FileInUse, InTheSystemFolderIsRecordedUnderItsNameAtBoot) {
    // A 32-bit program's system folder is SysWOW64; the list is carried out
    // by the 64-bit system, for which "system32" is another folder.
    wchar_t system[MAX_PATH];
    wchar_t real[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    ASSERT_GT(wow64 ? GetSystemWow64DirectoryW(real, MAX_PATH) : GetSystemDirectoryW(real, MAX_PATH), 0u);
    const std::wstring name = wintest::unique_name(L"pending") + L".dll";
    const std::wstring busy = std::wstring(system) + L"\\" + name;
    const std::wstring staged = busy + install::kStagedSuffix;
    put_file(busy, "old");
    put_file(staged, "new");
    ASSERT_TRUE(install::schedule_replacement(staged.c_str(), busy.c_str()));

    EXPECT_TRUE(install::same_name(install::scheduled_target(staged.c_str()), std::wstring(real) + L"\\" + name));
    EXPECT_TRUE(install::cancel_scheduled_replacement(staged.c_str()));
    DeleteFileW(staged.c_str());
    DeleteFileW(busy.c_str());
}

// --- fonts ---

TEST(Fonts, ValueNamesFollowTheFileName) {
    wchar_t name[install::kFontValueUnits];
    ASSERT_TRUE(install::font_value_name(L"abc.ttf", name));
    EXPECT_STREQ(name, L"abc(TrueType)");
    ASSERT_TRUE(install::font_value_name(L"abc.ttc", name));
    EXPECT_STREQ(name, L"abc.ttc(TrueType-C)");
    ASSERT_TRUE(install::font_value_name(L"x.ttf.bak", name));
    EXPECT_STREQ(name, L"x(TrueType)");
    ASSERT_TRUE(install::font_value_name(L"a.ttc.ttf", name));  // ".ttf" wins
    EXPECT_STREQ(name, L"a.ttc(TrueType)");
    EXPECT_FALSE(install::font_value_name(L"FONT.TTF", name));
    EXPECT_STREQ(name, L"");
    EXPECT_FALSE(install::font_value_name(L"readme.txt", name));
    // A name too long for the slot is cut, never overrun.
    ASSERT_TRUE(install::font_value_name((std::wstring(80, L'f') + L".ttc").c_str(), name));
    EXPECT_EQ(std::wcslen(name), install::kFontValueUnits - 1);
}

TEST(Fonts, InstalledRegisteredAndTakenBackByTheJournal) {
    const std::wstring dejavu = L"Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
    ScratchFolder scratch(L"fonts");
    const std::wstring folder = scratch.file(L"$fonts$") + L"\\";
    const std::wstring stem = wintest::unique_name(L"zzfont");
    const bool real_font = file_exists(dejavu);
    if (real_font) {
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(dejavu.c_str(), (folder + stem + L".ttf").c_str(), FALSE));
    } else {
        put_file(folder + stem + L".ttf", "not really a font");
    }
    put_file(folder + stem + L".ttc", "collection");
    put_file(folder + stem + L"x.ttf.bak", "backup named font");
    put_file(folder + L"UPPER" + stem + L".TTF", "upper case: no font");
    put_file(folder + stem + L"dir.ttf\\inner.ttf", "subfolders are ignored");

    InstallJournal journal(scratch.file(L"backups").c_str());
    ASSERT_EQ(install::install_fonts(folder.c_str(), &journal), 1);
    const std::wstring fonts = special_folder(CSIDL_FONTS);
    EXPECT_TRUE(file_exists(fonts + stem + L".ttf"));
    EXPECT_TRUE(file_exists(fonts + stem + L".ttc"));
    EXPECT_TRUE(file_exists(fonts + stem + L"x.ttf.bak"));
    EXPECT_FALSE(file_exists(fonts + L"UPPER" + stem + L".TTF"));
    EXPECT_FALSE(file_exists(fonts + L"inner.ttf"));
    const FontValue ttf = font_value(stem + L"(TrueType)");
    EXPECT_TRUE(ttf.present);
    EXPECT_EQ(ttf.text, stem + L".ttf");
    EXPECT_EQ(font_value(stem + L".ttc(TrueType-C)").text, stem + L".ttc");
    EXPECT_EQ(font_value(stem + L"x(TrueType)").text, stem + L"x.ttf.bak");
    EXPECT_FALSE(font_value(L"UPPER" + stem + L".TTF(TrueType)").present);

    journal.rollback();
    EXPECT_FALSE(file_exists(fonts + stem + L".ttf"));
    EXPECT_FALSE(file_exists(fonts + stem + L".ttc"));
    EXPECT_FALSE(file_exists(fonts + stem + L"x.ttf.bak"));
    EXPECT_FALSE(font_value(stem + L"(TrueType)").present);
    EXPECT_FALSE(font_value(stem + L".ttc(TrueType-C)").present);
    EXPECT_FALSE(font_value(stem + L"x(TrueType)").present);
    if (real_font) {
        EXPECT_FALSE(RemoveFontResourceW((fonts + stem + L".ttf").c_str()));
    }
}

TEST(Fonts, ValueDataIsTheBareFileName) {
    const std::wstring name = wintest::unique_name(L"zzvalue") + L"(TrueType)";
    const std::wstring file = L"字体.ttf";
    InstallJournal journal(L"");
    ASSERT_EQ(install::write_font_value(file.c_str(), name.c_str(), &journal), 1);
    const FontValue value = font_value(name);
    EXPECT_EQ(value.text, file);
    // Written with the NUL not counted; the system itself adds the NUL when
    // it finds one right after the data (Windows and Wine alike).
    EXPECT_TRUE(value.bytes == file.size() * 2 || value.bytes == file.size() * 2 + 2) << value.bytes;
    journal.rollback();
    EXPECT_FALSE(font_value(name).present);
    EXPECT_EQ(install::write_font_value(nullptr, name.c_str()), 0);
}

// --- the whole step ---

TEST(PlaceFiles, EveryMacroFolderGoesToItsPlaceAndTheRestToTheInstallFolder) {
    wintest::InstallFixture fixture(L"placement");
    const std::wstring tag = fixture.ime_name();
    fixture.add(L"$system32$\\" + tag + L"\\b.dll", "system sub");
    fixture.add(L"$system32$\\" + tag + L".dll", "system");
    fixture.add(L"$windows$\\" + tag + L".ini", "windows");
    fixture.add(L"$fonts$\\" + tag + L".ttf", "font");
    fixture.add(L"$dataFiles$\\danzi.zmi", "table");
    fixture.add(L"$dataFiles$\\skins\\blue.skn", "skin");
    fixture.add(L"app.exe", "app");
    fixture.add(L"sub\\x.txt", "x");
    fixture.add(L".git\\HEAD", "not shipped");
    fixture.add_uninstaller("uninstaller");
    JournaledRun journaled(fixture);
    const std::wstring install_dir = fixture.install_dir();
    const std::wstring data = data_dir(tag);
    ASSERT_FALSE(data.empty());

    ASSERT_NE(install::place_files(journaled.run), 0);
    EXPECT_EQ(file_text(system_dir() + tag + L"\\b.dll"), "system sub");
    EXPECT_EQ(file_text(system_dir() + tag + L".dll"), "system");
    EXPECT_EQ(file_text(windows_dir() + tag + L".ini"), "windows");
    EXPECT_EQ(file_text(special_folder(CSIDL_FONTS) + tag + L".ttf"), "font");
    EXPECT_EQ(font_value(tag + L"(TrueType)").text, tag + L".ttf");
    EXPECT_EQ(file_text(data + L"danzi.zmi"), "table");
    EXPECT_EQ(file_text(data + L"skins\\blue.skn"), "skin");
    EXPECT_EQ(file_text(install_dir + L"app.exe"), "app");
    EXPECT_EQ(file_text(install_dir + L"sub\\x.txt"), "x");
    EXPECT_EQ(file_text(install_dir + L"unstall.exe"), "uninstaller");
    EXPECT_FALSE(folder_exists(install_dir + L".git"));
    EXPECT_FALSE(folder_exists(install_dir + L"$system32$"));
    for (const wchar_t* macro : {L"$system32$", L"$windows$", L"$fonts$", L"$dataFiles$"})
        EXPECT_FALSE(folder_exists(fixture.extract() + macro)) << macro;
    EXPECT_FALSE(file_exists(fixture.extract() + L"app.exe"));

    // Undone, nothing of it is left anywhere.
    journaled.journal.rollback();
    EXPECT_FALSE(folder_exists(system_dir() + tag));
    EXPECT_FALSE(file_exists(system_dir() + tag + L".dll"));
    EXPECT_FALSE(file_exists(windows_dir() + tag + L".ini"));
    EXPECT_FALSE(file_exists(special_folder(CSIDL_FONTS) + tag + L".ttf"));
    EXPECT_FALSE(font_value(tag + L"(TrueType)").present);
    EXPECT_FALSE(folder_exists(data));
    EXPECT_FALSE(folder_exists(install_dir));
}

TEST(PlaceFiles, FailsWithoutAnUninstallerAndSucceedsWhenItIsAlreadyInPlace) {
    wintest::InstallFixture fixture(L"placement");
    fixture.add(L"app.exe", "app");
    {
        JournaledRun journaled(fixture);
        EXPECT_EQ(install::place_files(journaled.run), 0);
        journaled.journal.rollback();
    }
    // Repair's case: the uninstaller path is the installed one itself.
    put_file(fixture.install_dir() + L"unstall.exe", "installed");
    support::copy_slot(fixture.context.uninstaller_path, (fixture.install_dir() + L"unstall.exe").c_str());
    JournaledRun journaled(fixture);
    EXPECT_NE(install::place_files(journaled.run), 0);
    EXPECT_EQ(file_text(fixture.install_dir() + L"unstall.exe"), "installed");
}

// The package's "unstall.exe" (the signed installer program) is placed
// instead of the cut copy only when it is the program the cut copy came
// from; either way it never lands in the install folder as a product file.
TEST(PlaceFiles, ACarriedUninstallerReplacesTheCutOneWhenItIsTheSameProgram) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string program = file_text(self);
    std::string signed_program = program;
    const auto fields = package::read_pe_fields(
        {reinterpret_cast<const std::uint8_t*>(program.data()), program.size()});
    ASSERT_TRUE(fields && fields->certificate_entry != 0);
    const std::uint32_t table[2] = {static_cast<std::uint32_t>(program.size()), 512};
    signed_program.replace(fields->certificate_entry, 8, reinterpret_cast<const char*>(table), 8);
    signed_program.append(512, '\xC3');
    std::string other_program = program;
    other_program[program.size() / 2] ^= 1;

    for (const std::string* carried : {&signed_program, &other_program}) {
        wintest::InstallFixture fixture(L"placement");
        fixture.add(L"app.exe", "app");
        fixture.add(L"unstall.exe", *carried);
        fixture.add_uninstaller(program);
        JournaledRun journaled(fixture);
        ASSERT_NE(install::place_files(journaled.run), 0);
        const std::string& expected = carried == &signed_program ? signed_program : program;
        const std::string placed = file_text(fixture.install_dir() + L"unstall.exe");
        EXPECT_TRUE(placed == expected) << (carried == &signed_program ? "signed copy: " : "other program: ")
                                        << placed.size() << " bytes placed, " << expected.size() << " expected";
        EXPECT_FALSE(file_exists(fixture.extract() + L"unstall.exe"));
        journaled.journal.rollback();
    }
}

TEST(PlaceFiles, AnInstallFolderThatNamesNoPlaceWritesNothing) {
    wintest::InstallFixture fixture(L"placement");
    fixture.add(L"app.exe", "app");
    fixture.add_uninstaller();
    for (const wchar_t* folder : {L"relative\\dir\\", L"", L"C:\\cut-without-backslash"}) {
        JournaledRun journaled(fixture);
        support::copy_slot(journaled.run.install_dir, folder);
        EXPECT_EQ(install::place_files(journaled.run), 0) << folder;
        EXPECT_EQ(journaled.journal.size(), 0u);
    }
    EXPECT_EQ(file_text(fixture.extract() + L"app.exe"), "app");
}

TEST(PlaceFiles, DataFilesWithoutADataFolderTravelToTheInstallFolder) {
    wintest::InstallFixture fixture(L"placement");
    // A name that is no plain folder name gives no data folder.
    support::copy_slot(support::wide_slot(fixture.info.ime_name), L"bad\\name");
    fixture.add(L"$dataFiles$\\danzi.zmi", "table");
    fixture.add_uninstaller();
    JournaledRun journaled(fixture);
    ASSERT_NE(install::place_files(journaled.run), 0);
    EXPECT_EQ(file_text(fixture.install_dir() + L"$dataFiles$\\danzi.zmi"), "table");
    journaled.journal.rollback();
    EXPECT_FALSE(folder_exists(fixture.install_dir()));
}

}  // namespace
