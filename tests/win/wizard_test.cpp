// The install wizard created hidden on the test's thread and driven by the
// messages a user's clicks send: what it shows at start, the licence
// choice and the install button, the tabs, the licence link, and what the
// worker does with a directory that is empty, relative, invalid or already
// there, and with an IME file that a running program holds.

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_helpers.h"
#include "ime_holder_process.h"
#include "remove/install_ownership.h"
#include "support/format_bounded.h"
#include "install/run_install.h"
#include "install_fixture.h"
#include "scratch.h"
#include "app/run_options.h"
#include "progress_page.h"
#include "ui/install_wizard.h"
#include "ui/silent_runs.h"
#include "ui/step_log.h"
#include "ui/wizard_texts.h"
#include "wizard_setup.h"

namespace {

using ui::CZZ_Install_BaseDlg;
using wintest::DialogAnswer;

constexpr int kButton = ui::kInstallButtonId;

bool shown(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }
bool enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }

std::wstring program_files_folder(const std::wstring& ime_name) {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + L"\\" + ime_name + L"\\";
}

std::vector<std::wstring> step_rows(CZZ_Install_BaseDlg& wizard) {
    HWND list = wizard.progress_page().item(ui::kStepListId);
    std::vector<std::wstring> rows;
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[512] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = 512;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        rows.emplace_back(text);
    }
    return rows;
}

class Wizard : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(wizard.create_modeless(nullptr), nullptr); }
    void TearDown() override { wintest::pump_until([&] { return !wizard.worker_running(); }); }

    HWND control(int id) const { return wizard.item(id); }
    void click(int id) { SendMessageW(control(id), BM_CLICK, 0, 0); }
    void accept_licence() { click(ui::kAcceptRadioId); }
    void set_directory(const std::wstring& text) {
        wizard.directory_page().set_item_text(ui::kDirectoryEditId, text.c_str());
    }
    void select_tab(int tab) { SendMessageW(control(ui::kTabControlId), TCM_SETCURFOCUS, tab, 0); }
    bool wait_for_worker() {
        return wintest::pump_until([&] { return !wizard.worker_running(); });
    }
    // Presses install with `directory`; the worker's creation-failure box
    // is answered; its text.
    std::wstring install_expecting_failure(const std::wstring& directory) {
        set_directory(directory);
        DialogAnswer failure(ui::kDirectoryFailedCaption, IDOK);
        click(kButton);
        EXPECT_TRUE(failure.wait());
        EXPECT_TRUE(wait_for_worker());
        return failure.text();
    }
    void expect_choosing_state() {
        EXPECT_TRUE(enabled(control(kButton)));
        EXPECT_EQ(wizard.item_text(kButton), ui::kInstallNowText);
        EXPECT_TRUE(shown(wizard.directory_page().hwnd()));
        EXPECT_FALSE(shown(wizard.progress_page().hwnd()));
        EXPECT_TRUE(enabled(control(ui::kTabControlId)));
        EXPECT_TRUE(enabled(control(ui::kAcceptRadioId)));
        EXPECT_FALSE(wizard.ended());
    }

    wintest::WizardSetup setup;
    CZZ_Install_BaseDlg wizard;
};

TEST_F(Wizard, StartsOnTheDirectoryPageWithTheLicenceRefused) {
    wchar_t title[260] = {};
    GetWindowTextW(wizard.hwnd(), title, 260);
    EXPECT_EQ(std::wstring(title), L"欢迎使用 " + setup.display_name() + L" 安装程序");

    EXPECT_EQ(wizard.item_text(kButton), L"立即安装(&S)");
    EXPECT_FALSE(enabled(control(kButton)));
    EXPECT_TRUE(wizard.is_checked(ui::kRefuseRadioId));
    EXPECT_FALSE(wizard.is_checked(ui::kAcceptRadioId));
    EXPECT_EQ(wizard.item_text(ui::kRefuseRadioId), L"拒绝协议");
    EXPECT_EQ(wizard.item_text(ui::kAcceptRadioId), L"接受协议");

    HWND tabs = control(ui::kTabControlId);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    for (int tab = 0; tab < 2; ++tab) {
        wchar_t text[32] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 32;
        SendMessageW(tabs, TCM_GETITEMW, tab, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, tab == 0 ? L"安装目录" : L"用户信息");
    }
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);

    EXPECT_TRUE(shown(wizard.directory_page().hwnd()));
    EXPECT_FALSE(shown(wizard.user_page().hwnd()));
    EXPECT_FALSE(shown(wizard.progress_page().hwnd()));
    // Every page fills the frame.
    RECT frame{};
    GetWindowRect(control(ui::kPageFrameId), &frame);
    for (HWND page : {wizard.directory_page().hwnd(), wizard.user_page().hwnd(), wizard.progress_page().hwnd()}) {
        RECT place{};
        GetWindowRect(page, &place);
        EXPECT_TRUE(EqualRect(&place, &frame));
        EXPECT_EQ(GetParent(page), wizard.hwnd());
    }

    // A first install proposes the product's folder below Program Files.
    EXPECT_EQ(wizard.directory_page().item_text(ui::kDirectoryEditId), program_files_folder(setup.ime_name()));
    EXPECT_FALSE(wizard.directory_page().locked());

    // The step list: one column, full-row selection.
    HWND list = wizard.progress_page().item(ui::kStepListId);
    wchar_t heading[32] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = heading;
    column.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
    EXPECT_STREQ(heading, L"安装详细信息");
    EXPECT_EQ(column.cx, 330);
    EXPECT_NE(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT, 0);
}

TEST_F(Wizard, TheLicenceChoiceGovernsTheInstallButton) {
    accept_licence();
    EXPECT_TRUE(enabled(control(kButton)));
    click(ui::kRefuseRadioId);
    EXPECT_FALSE(enabled(control(kButton)));
    accept_licence();
    EXPECT_TRUE(enabled(control(kButton)));
    click(ui::kRefuseRadioId);

    // Enter reaches the dialog as IDOK even with the button disabled:
    // nothing happens.
    SendMessageW(wizard.hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(wizard.worker_running());
    // With "拒绝协议" checked the button does nothing even when enabled.
    EnableWindow(control(kButton), TRUE);
    set_directory(L"");
    click(kButton);
    wintest::pump_for(300);
    EXPECT_FALSE(wizard.worker_running());
    EXPECT_EQ(wintest::find_dialog(ui::kDirectoryFailedCaption), nullptr);
    EXPECT_FALSE(wizard.ended());
}

TEST_F(Wizard, TheTabsSwitchBetweenTheDirectoryAndTheUserPage) {
    select_tab(ui::kUserTab);
    EXPECT_TRUE(shown(wizard.user_page().hwnd()));
    EXPECT_FALSE(shown(wizard.directory_page().hwnd()));
    EXPECT_FALSE(shown(wizard.progress_page().hwnd()));
    select_tab(ui::kDirectoryTab);
    EXPECT_TRUE(shown(wizard.directory_page().hwnd()));
    EXPECT_FALSE(shown(wizard.user_page().hwnd()));
}

TEST_F(Wizard, TheLicenceLinkIsDrawnBlueAndShowsTheHand) {
    HWND link = control(ui::kLicenceLinkId);
    EXPECT_TRUE(SendMessageW(wizard.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
                             MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    // Elsewhere the default cursor handling.
    EXPECT_FALSE(SendMessageW(wizard.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(control(kButton)),
                              MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));

    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 160, 24);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = ui::kLicenceLinkId;
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = link;
    item.hDC = dc;
    item.rcItem = RECT{0, 0, 160, 24};
    EXPECT_TRUE(SendMessageW(wizard.hwnd(), WM_DRAWITEM, ui::kLicenceLinkId, reinterpret_cast<LPARAM>(&item)));
    int blue = 0;
    int other = 0;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 160; ++x) {
            const COLORREF pixel = GetPixel(dc, x, y);
            if (pixel == face) continue;
            if (GetBValue(pixel) > GetRValue(pixel) && GetBValue(pixel) > GetGValue(pixel)) ++blue;
            else ++other;
        }
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EXPECT_GT(blue, 50);
    EXPECT_EQ(other, 0);
    // Another item is not the wizard's to draw.
    item.CtlID = 4242;
    EXPECT_FALSE(SendMessageW(wizard.hwnd(), WM_DRAWITEM, 4242, reinterpret_cast<LPARAM>(&item)));
}

TEST_F(Wizard, ADirectoryThatCanNotBeCreatedLeavesTheWizardChoosing) {
    accept_licence();
    EXPECT_EQ(install_expecting_failure(L""),
              L"所选安装目录:\r\n\r\n未能创建，请确定您的当前用户对该目录的访问权限！");
    expect_choosing_state();

    // A relative path would land wherever the current directory is.
    EXPECT_EQ(install_expecting_failure(L"relative\\folder"),
              L"所选安装目录:\r\nrelative\\folder\r\n未能创建，请确定您的当前用户对该目录的访问权限！");
    EXPECT_FALSE(wintest::folder_exists(L"relative"));
    expect_choosing_state();

    const std::wstring invalid = setup.scratch_file(L"bad|name\\x");
    EXPECT_EQ(install_expecting_failure(invalid),
              L"所选安装目录:\r\n" + invalid + L"\r\n未能创建，请确定您的当前用户对该目录的访问权限！");
    expect_choosing_state();
    // The wizard can still be closed.
    SendMessageW(wizard.hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(wizard.ended());
    EXPECT_EQ(wizard.result(), IDCANCEL);
}

TEST_F(Wizard, AnExistingDirectoryDeclinedStaysAndTheWizardCanNotCloseMeanwhile) {
    const std::wstring directory = setup.scratch_file(L"existing");
    ASSERT_TRUE(wintest::put_file(directory + L"\\keep.txt", "kept"));
    accept_licence();
    set_directory(directory);
    click(kButton);
    HWND question = nullptr;
    ASSERT_TRUE(wintest::pump_until([&] { return (question = wintest::find_dialog(ui::kDirectoryExistsCaption)); }));
    EXPECT_EQ(wizard.item_text(kButton), ui::kInstallNowText);
    EXPECT_FALSE(enabled(control(kButton)));
    EXPECT_TRUE(wizard.worker_running());

    // Cancel, Escape and the close box all come as IDCANCEL: refused.
    SendMessageW(wizard.hwnd(), WM_COMMAND, IDCANCEL, 0);
    SendMessageW(wizard.hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(wizard.ended());

    PostMessageW(question, WM_COMMAND, IDNO, 0);
    ASSERT_TRUE(wait_for_worker());
    EXPECT_EQ(wintest::file_text(directory + L"\\keep.txt"), "kept");
    expect_choosing_state();
    SendMessageW(wizard.hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(wizard.ended());
}

TEST_F(Wizard, AnExistingDirectoryConfirmedAndAFailedRunGiveBackTheDataFolder) {
    const std::wstring directory = setup.scratch_file(L"again") + L"\\";
    ASSERT_TRUE(wintest::put_file(directory + L"old.txt", "old"));
    ASSERT_FALSE(setup.data_folder().empty());
    ASSERT_TRUE(wintest::put_file(setup.data_folder() + L"settings.dat", "old"));
    accept_licence();
    set_directory(directory);
    // The package tree is empty and has no uninstaller: the run's first
    // step fails and is taken back.
    DialogAnswer confirm(ui::kDirectoryExistsCaption, IDYES);
    click(kButton);
    ASSERT_TRUE(confirm.wait());
    ASSERT_TRUE(wait_for_worker());

    // The folder isn't the product's: the user's file stays, and a row
    // says why. The product's data folder was moved aside for the run, and
    // the failed run has put it back as it was, with nothing left beside.
    EXPECT_EQ(wintest::file_text(directory + L"old.txt"), "old");
    EXPECT_EQ(wintest::file_text(setup.data_folder() + L"settings.dat"), "old");
    std::wstring vendor = setup.data_folder();
    vendor.pop_back();
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((vendor + L".~zzold*").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    wchar_t kept[520];
    support::format_slot(kept, removal::kNotOursFormat, directory.c_str());
    EXPECT_EQ(step_rows(wizard), (std::vector<std::wstring>{kept, install::kRowVerifying, install::kRowStarting,
                                                             install::kRowPlaceFiles, install::kRowFailed}));
    EXPECT_EQ(wizard.item_text(kButton), L"退出安装(&O)");
    EXPECT_TRUE(enabled(control(kButton)));
    EXPECT_TRUE(shown(wizard.progress_page().hwnd()));
    EXPECT_FALSE(shown(wizard.directory_page().hwnd()));
    EXPECT_FALSE(shown(wizard.user_page().hwnd()));
    for (int id : {ui::kLicenceLinkId, ui::kAcceptRadioId, ui::kRefuseRadioId}) EXPECT_FALSE(shown(control(id)));
    EXPECT_TRUE(enabled(control(ui::kTabControlId)));

    // The tabs work again and hide the progress page.
    select_tab(ui::kUserTab);
    EXPECT_FALSE(shown(wizard.progress_page().hwnd()));
    EXPECT_TRUE(shown(wizard.user_page().hwnd()));
    // The button closes the wizard with 0.
    click(kButton);
    EXPECT_TRUE(wizard.ended());
    EXPECT_EQ(wizard.result(), 0);
}

TEST_F(Wizard, AFailedFirstInstallLeavesNoFolderBehind) {
    const std::wstring made = setup.scratch_file(L"fresh");
    accept_licence();
    set_directory(made + L"\\deeper\\");
    click(kButton);
    ASSERT_TRUE(wait_for_worker());

    EXPECT_EQ(step_rows(wizard).back(), install::kRowFailed);
    EXPECT_FALSE(wintest::folder_exists(made));
}

TEST_F(Wizard, AnImeFileHeldByAProgramStopsTheInstallUntilItIsEnded) {
    const std::wstring held = setup.scratch_file(setup.ime_name() + L".zin.ime");
    ASSERT_TRUE(CopyFileW(wintest::fixture_path(L"verfix_none.dll").c_str(), held.c_str(), FALSE));
    wintest::ImeHolderProcess holder(held, setup.scratch().path());
    ASSERT_TRUE(holder.running());
    accept_licence();
    set_directory(L"");
    {
        DialogAnswer status(L"输入法载入状态", IDCANCEL);
        DialogAnswer refusal(ui::kImeLoadedCaption, IDOK);
        click(kButton);
        EXPECT_TRUE(status.wait());
        EXPECT_TRUE(refusal.wait());
        EXPECT_EQ(refusal.text(), ui::kImeLoadedText);
    }
    wintest::pump_for(200);
    EXPECT_FALSE(wizard.worker_running());
    EXPECT_TRUE(holder.running());
    expect_choosing_state();

    // Ended from the check's dialog, the holder no longer stops the worker
    // (which then refuses the empty directory).
    DialogAnswer status(L"输入法载入状态", 1015);
    DialogAnswer failure(ui::kDirectoryFailedCaption, IDOK);
    click(kButton);
    EXPECT_TRUE(status.wait());
    EXPECT_TRUE(failure.wait());
    EXPECT_TRUE(wait_for_worker());
    EXPECT_FALSE(holder.running());
    expect_choosing_state();
}

// --- the install without a window ---

BOOL CALLBACK count_visible(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window)) ++*reinterpret_cast<int*>(found);
    return TRUE;
}

// The program's visible top-level windows.
int visible_windows() {
    int count = 0;
    EnumWindows(count_visible, reinterpret_cast<LPARAM>(&count));
    return count;
}

// A silent run's options and log for one test, put back afterwards.
class SilentInstall : public ::testing::Test {
protected:
    void SetUp() override {
        app::RunOptions& options = app::mutable_run_options();
        options = app::RunOptions{};
        options.silent = true;
        app::set_run_log(&log);
        app::reset_exit_code();
    }
    void TearDown() override {
        app::mutable_run_options() = app::RunOptions{};
        app::set_run_log(nullptr);
        app::reset_exit_code();
    }
    bool failed_with(unsigned long error) const {
        for (const auto& failure : log.failures())
            if (failure.second == error) return true;
        return false;
    }

    wintest::WizardSetup setup{L"Silent"};
    wintest::ReportRecorder log;
};

TEST_F(SilentInstall, WithoutTheLicenceAcceptedNothingIsTouched) {
    const std::wstring target = setup.scratch_file(L"target") + L"\\";
    app::mutable_run_options().install_dir = target;
    ui::run_silent_install();
    EXPECT_EQ(app::exit_code(), app::kExitFailed);
    ASSERT_EQ(log.failures().size(), 1u);
    EXPECT_TRUE(log.rows().empty());
    EXPECT_FALSE(wintest::folder_exists(target));
    EXPECT_EQ(visible_windows(), 0);
}

TEST_F(SilentInstall, AHeldImeFileFailsTheRunUnlessItsHoldersMayBeEnded) {
    const std::wstring held = setup.scratch_file(setup.ime_name() + L".zin.ime");
    ASSERT_TRUE(CopyFileW(wintest::fixture_path(L"verfix_none.dll").c_str(), held.c_str(), FALSE));
    wintest::ImeHolderProcess holder(held, setup.scratch().path());
    ASSERT_TRUE(holder.running());
    const std::wstring target = setup.scratch_file(L"new") + L"\\deeper\\";
    app::RunOptions& options = app::mutable_run_options();
    options.accept_licence = true;
    options.install_dir = target;

    ui::run_silent_install();
    EXPECT_EQ(app::exit_code(), app::kExitFailed);
    EXPECT_TRUE(failed_with(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(holder.running());
    EXPECT_FALSE(wintest::folder_exists(setup.scratch_file(L"new")));

    // Allowed to end the holder, the run goes on; the workspace's tree has
    // no uninstaller, so the first step fails: the run is undone and says
    // so, and the folders made for it go again.
    app::reset_exit_code();
    options.end_holders = true;
    ui::run_silent_install();
    EXPECT_FALSE(holder.running());
    EXPECT_EQ(app::exit_code(), app::kExitFailed);
    ASSERT_FALSE(log.rows().empty());
    EXPECT_EQ(log.rows().back(), install::kRowFailed);
    EXPECT_EQ(log.failures().back().first, L"1.创建文件系统....");
    EXPECT_FALSE(wintest::folder_exists(setup.scratch_file(L"new")));
    EXPECT_EQ(visible_windows(), 0);
}

TEST_F(SilentInstall, AFolderThatCanNotBeCreatedFailsTheRun) {
    app::RunOptions& options = app::mutable_run_options();
    options.accept_licence = true;
    options.install_dir = L"relative\\folder";
    ui::run_silent_install();
    EXPECT_EQ(app::exit_code(), app::kExitFailed);
    EXPECT_TRUE(failed_with(ERROR_BAD_PATHNAME));
    EXPECT_FALSE(wintest::folder_exists(L"relative"));
    EXPECT_TRUE(log.rows().empty());
}

}  // namespace
