// The loaded-IME check against Wine's real process and module lists: a
// helper program (ime_holder.exe) keeps a library named like an IME file
// loaded, the check finds it, the dialog lists it and "结束进程(&E)" ends it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_helpers.h"
#include "ime_holder_process.h"
#include "remove/ime_holders.h"
#include "ui/ime_load_status.h"
#include "scratch.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace {

using ui::CZZ_IMELoadStatus;
using wintest::ScratchFolder;

using Holder = wintest::ImeHolderProcess;

// A library under an IME file's name: a copy of a fixture DLL.
class ImeFile {
public:
    ImeFile() : name_(wintest::unique_name(L"Ime") + L".zin.ime"), path_(scratch_.file(name_)) {
        CopyFileW(wintest::fixture_path(L"verfix_none.dll").c_str(), path_.c_str(), FALSE);
    }
    const std::wstring& name() const { return name_; }
    const std::wstring& path() const { return path_; }
    const ScratchFolder& scratch() const { return scratch_; }

private:
    ScratchFolder scratch_{L"imeload"};
    std::wstring name_;
    std::wstring path_;
};

std::vector<std::wstring> list_rows(const CZZ_IMELoadStatus& dialog) {
    std::vector<std::wstring> rows;
    HWND list = dialog.item(ui::kHolderListId);
    const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t row[300] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(row));
        rows.emplace_back(row);
    }
    return rows;
}

std::wstring row_for(const wchar_t* format, DWORD id, const wchar_t* name) {
    wchar_t row[300];
    swprintf(row, 300, format, static_cast<unsigned>(id), name);
    return row;
}

std::wstring upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
    return text;
}

TEST(ImeHolders, PathsEndingInTheNameMatchWithoutRegardToCase) {
    EXPECT_TRUE(removal::path_ends_with(L"C:\\windows\\system32\\abc.zin.ime", L"abc.zin.ime"));
    EXPECT_TRUE(removal::path_ends_with(L"C:\\WINDOWS\\SYSTEM32\\ABC.ZIN.IME", L"abc.zin.ime"));
    // The name may begin inside a longer file name.
    EXPECT_TRUE(removal::path_ends_with(L"C:\\x\\xyzabc.zin.ime", L"abc.zin.ime"));
    EXPECT_TRUE(removal::path_ends_with(L"abc.zin.ime", L"abc.zin.ime"));
    EXPECT_FALSE(removal::path_ends_with(L"C:\\x\\abc.zin.ime.bak", L"abc.zin.ime"));
    EXPECT_FALSE(removal::path_ends_with(L"bc.zin.ime", L"abc.zin.ime"));
    EXPECT_FALSE(removal::path_ends_with(L"", L"abc.zin.ime"));
    EXPECT_FALSE(removal::path_ends_with(L"C:\\x\\abc.zin.ime", L""));
}

TEST(ImeLoadCheck, NothingHoldsTheFile) {
    CZZ_IMELoadStatus status;
    EXPECT_EQ(ui::check_ime_loaded(wintest::unique_name(L"Nobody").append(L".zin.ime").c_str(), status), 0);
    EXPECT_TRUE(status.holders().empty());
    // With nothing to show the dialog ends at once with 0 ...
    EXPECT_EQ(status.run_modal(nullptr), 0);
    // ... and the whole protocol lets the operation go on without one.
    EXPECT_TRUE(ui::confirm_ime_unloaded(wintest::unique_name(L"Nobody").c_str(), nullptr));
}

TEST(ImeLoadCheck, FindsTheProcessThatLoadedTheFileButNeverThisOne) {
    ImeFile ime;
    // This process holds it too, and is never listed.
    const support::UniqueModule own(LoadLibraryW(ime.path().c_str()));
    ASSERT_TRUE(own);
    Holder holder(ime.path(), ime.scratch().path());
    ASSERT_TRUE(holder.running());

    CZZ_IMELoadStatus status;
    ASSERT_EQ(status.check(ime.name().c_str()), 1);
    EXPECT_EQ(status.holders()[0].id, holder.id());
    EXPECT_STREQ(status.holders()[0].name, L"ime_holder.exe");
    EXPECT_EQ(status.ime_file_name(), ime.name());

    // Capitals, and the tail of the name, find it as well; a longer name doesn't.
    EXPECT_EQ(status.check(upper(ime.name()).c_str()), 1);
    EXPECT_EQ(status.check(ime.name().substr(3).c_str()), 1);
    EXPECT_EQ(status.check((L"x" + ime.name()).c_str()), 0);
    EXPECT_TRUE(status.holders().empty());
}

// An identifier names a process only while it runs: the button ends the
// listed process only while it still is the one listed (program file and
// start time), never one that took its identifier after it ended.
TEST(ImeLoadCheck, OnlyTheListedProcessItselfIsEnded) {
    ImeFile ime;
    Holder holder(ime.path(), ime.scratch().path());
    CZZ_IMELoadStatus status;
    ASSERT_EQ(status.check(ime.name().c_str()), 1);
    const removal::HolderProcess listed = status.holders()[0];

    removal::HolderProcess earlier = listed;  // listed before the identifier passed on
    earlier.started.dwLowDateTime ^= 1;
    removal::HolderProcess another = listed;
    support::copy_slot(another.image, L"C:\\windows\\notepad.exe");
    for (const removal::HolderProcess& stale : {earlier, another})
        EXPECT_EQ(removal::end_listed_process(stale, ui::kEndedProcessExitCode), nullptr);
    EXPECT_TRUE(holder.running());

    const support::UniqueHandle ended(removal::end_listed_process(listed, ui::kEndedProcessExitCode));
    ASSERT_TRUE(ended);
    WaitForSingleObject(ended.get(), 5000);
    EXPECT_FALSE(holder.running());
}

TEST(ImeLoadCheck, ANameLongerThanItsSlotIsCut) {
    ImeFile ime;
    Holder holder(ime.path(), ime.scratch().path());
    const std::wstring padded = std::wstring(60, L'q') + ime.name();
    CZZ_IMELoadStatus status;
    // Cut to 47 characters, the name is all 'q': nothing ends with that.
    EXPECT_EQ(status.check(padded.c_str()), 0);
    EXPECT_EQ(std::wstring(status.ime_file_name()), std::wstring(47, L'q'));
    // The longest IME name with its ".zin.ime" is kept whole.
    const std::wstring longest = std::wstring(39, L'n') + L".zin.ime";
    status.check(longest.c_str());
    EXPECT_EQ(status.ime_file_name(), longest);
}

TEST(ImeLoadStatusDialog, ListsTheHoldersAndEndsThemWithExitCodeOne) {
    ImeFile ime;
    Holder holder(ime.path(), ime.scratch().path());
    CZZ_IMELoadStatus status;
    ASSERT_EQ(status.check(ime.name().c_str()), 1);
    ASSERT_NE(status.create_modeless(nullptr), nullptr);

    wchar_t title[64] = {};
    GetWindowTextW(status.hwnd(), title, 64);
    EXPECT_STREQ(title, L"输入法载入状态");
    EXPECT_EQ(status.item_text(ui::kEndProcessesId), L"结束进程(&E)");
    EXPECT_EQ(status.item_text(IDCANCEL), L"取\u3000消(&C)");
    EXPECT_EQ(list_rows(status),
              std::vector<std::wstring>{row_for(L"进程ID: %5u    进程名称: %ls", holder.id(), L"ime_holder.exe")});

    // Enter doesn't take the holders for gone.
    SendMessageW(status.hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(status.ended());

    SendMessageW(status.hwnd(), WM_COMMAND, MAKEWPARAM(ui::kEndProcessesId, BN_CLICKED), 0);
    EXPECT_TRUE(status.ended());
    EXPECT_EQ(status.result(), IDOK);
    EXPECT_FALSE(holder.running());
    EXPECT_EQ(holder.exit_code(), ui::kEndedProcessExitCode);
}

TEST(ImeLoadStatusDialog, AHolderThatIsStillThereAfterEndingIsListedAgain) {
    ImeFile ime;
    Holder first(ime.path(), ime.scratch().path());
    CZZ_IMELoadStatus status;
    ASSERT_EQ(status.check(ime.name().c_str()), 1);
    ASSERT_NE(status.create_modeless(nullptr), nullptr);
    // A second program loads the file after the scan: the button ends only
    // what was listed, and the rescan lists the newcomer in the short form.
    Holder second(ime.path(), ime.scratch().path());

    SendMessageW(status.hwnd(), WM_COMMAND, MAKEWPARAM(ui::kEndProcessesId, BN_CLICKED), 0);
    EXPECT_FALSE(status.ended());
    EXPECT_FALSE(first.running());
    EXPECT_TRUE(second.running());
    EXPECT_EQ(list_rows(status), std::vector<std::wstring>{row_for(L"ID: %5u    NAME: %ls", second.id(), L"ime_holder.exe")});

    // Cancel gives up with 2.
    SendMessageW(status.hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(status.ended());
    EXPECT_EQ(status.result(), IDCANCEL);
}

TEST(ImeLoadStatusDialog, ShownModallyItAnswersOneWhenTheUserEndsTheHolders) {
    ImeFile ime;
    Holder holder(ime.path(), ime.scratch().path());
    const std::wstring ime_name = ime.name().substr(0, ime.name().size() - 8);  // without ".zin.ime"
    {
        wintest::DialogAnswer cancel(L"输入法载入状态", IDCANCEL);
        EXPECT_FALSE(ui::confirm_ime_unloaded(ime_name.c_str(), nullptr));
        EXPECT_TRUE(cancel.seen());
    }
    EXPECT_TRUE(holder.running());
    wintest::DialogAnswer end(L"输入法载入状态", ui::kEndProcessesId);
    EXPECT_TRUE(ui::confirm_ime_unloaded(ime_name.c_str(), nullptr));
    EXPECT_TRUE(end.seen());
    EXPECT_FALSE(holder.running());
}

}  // namespace
