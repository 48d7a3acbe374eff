// The update dialog's worker: one run from the loaded-IME check to
// "更新完毕". It reports through the dialog's controls by synchronous
// messages, which the dialog's thread answers while it waits for the run.

#include <windows.h>
#include <commctrl.h>

#include <cwchar>

#include "app/run_options.h"
#include "ui/ime_load_status.h"
#include "support/version_number.h"
#include "support/wide.h"
#include "ui/auto_update_dialog.h"
#include "ui/skin_zip_update_dialog.h"
#include "update/update_entry.h"

namespace ui {
namespace {

// The time the rows stay on view before the first item is worked on.
constexpr DWORD kListedPauseMs = 500;

}  // namespace

void CZZ_AutoUpdateDlg::run_worker() {
    // A user who doesn't end the programs holding the IME file ends the
    // run here: nothing listed, the dialog stays idle.
    if (!confirm_ime_unloaded(ime_name_.c_str(), window_)) {
        app::set_exit_code(app::kExitCancelled);
        return;
    }
    HWND retry = GetDlgItem(window_, kRetryButtonId);
    EnableWindow(retry, FALSE);
    idle_ = 0;
    // A program without the vendor's key says so before anything else.
    if (!engine_.verifies()) update::post_message(engine_.handlers(), update::kUpdatesNotVerified);
    if (engine_.Initialize(ime_name_.c_str()) != 0 && engine_.CollectCandidates() != 0) {
        list_candidates();
        Sleep(kListedPauseMs);
        update_candidates();
        offer_skin_packages();
    }
    update::post_message(engine_.handlers(), kUpdateFinishedText);
    idle_ = 1;
    EnableWindow(retry, TRUE);
}

void CZZ_AutoUpdateDlg::list_candidates() {
    HWND list = GetDlgItem(window_, kUpdateItemListId);
    int row = 0;
    for (const auto& candidate : engine_.candidate_list()) {
        LVITEMW entry{};
        entry.mask = LVIF_TEXT;
        entry.iItem = row;
        entry.pszText = const_cast<wchar_t*>(kItemPendingText);
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&entry));
        char16_t version[support::kVersionTextUnits];
        support::format_file_version(version, candidate->local_version);
        set_cell(row, kLocalVersionColumn, support::as_wide(version));
        support::format_file_version(version, candidate->new_version);
        set_cell(row, kNewVersionColumn, support::as_wide(version));
        set_cell(row, kTypeColumn, support::as_wide(update::item_type_name(candidate->type).data()));
        set_cell(row, kNameColumn, support::as_wide(candidate->name));
        ++row;
    }
}

// The versions compare whole: two versions that look the same in the list
// (the third part's lowest bits aren't shown) still update.
void CZZ_AutoUpdateDlg::update_candidates() {
    int row = 0;
    for (const auto& candidate : engine_.candidate_list()) {
        if (closing_) return;
        select_row(row);
        bool done = true;
        if (candidate->new_version > candidate->local_version) done = engine_.UpdateItem(candidate.get()) == 1;
        set_cell(row, kStatusColumn, done ? kItemDoneText : kItemFailedText);
        if (!done) {
            app::run_log().failure(support::as_wide(candidate->name), GetLastError());
            app::set_exit_code(app::kExitFailed);
        }
        ++row;
    }
}

void CZZ_AutoUpdateDlg::offer_skin_packages() {
    if (closing_ || _wcsicmp(engine_.skin_driver_name().c_str(), kColourfulSkinDriver) != 0) return;
    if (MessageBoxW(window_, kSkinQuestionText, kSkinQuestionCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
    run_skin_zip_update_dialog(window_, ime_name_.c_str());
}

void CZZ_AutoUpdateDlg::select_row(int row) const {
    HWND list = GetDlgItem(window_, kUpdateItemListId);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void CZZ_AutoUpdateDlg::set_cell(int row, int column, const wchar_t* text) const {
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(text);
    SendDlgItemMessageW(window_, kUpdateItemListId, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&cell));
}

}  // namespace ui
