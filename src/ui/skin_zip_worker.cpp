// The skin package dialog's worker thread: one run that lists the server's
// skins and downloads each one's package and preview picture, and the
// progress handler that counts the bytes in the row being downloaded.

#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/format_bounded.h"
#include "support/version_number.h"
#include "support/wide.h"
#include "ui/skin_zip_update_dialog.h"

namespace ui {
namespace {

// How long the filled list stays still before the downloads begin.
constexpr DWORD kListPauseMs = 500;
constexpr int kVersionColumn = 1;
constexpr int kStatusColumn = 2;
// Up to this many bytes the count is shown in bytes, above in kilobytes.
constexpr std::int32_t kMostBytesShown = 10240;

void set_cell(HWND list, int row, int column, const wchar_t* text) {
    LVITEMW cell{};
    cell.iSubItem = column;
    cell.pszText = const_cast<wchar_t*>(text);
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
}

}  // namespace

DWORD WINAPI CZZ_SkinZipUpdateDlg::skin_worker(void* dialog) {
    auto* self = static_cast<CZZ_SkinZipUpdateDlg*>(dialog);
    self->run_worker();
    PostMessageW(self->window_, kSkinWorkerFinishedMessage, 0, 0);
    return 0;
}

void CZZ_SkinZipUpdateDlg::run_worker() {
    EnableWindow(GetDlgItem(window_, kSkinInstallButtonId), FALSE);
    idle_ = 0;
    if (engine_.Initialize(ime_name_.c_str()) != 0 && engine_.CollectCandidates() != 0) {
        list_candidates();
        Sleep(kListPauseMs);
        download_candidates();
    }
    idle_ = 1;
    EnableWindow(GetDlgItem(window_, kSkinInstallButtonId), TRUE);
}

// One row per candidate: "-" first, then its name and its listed version.
void CZZ_SkinZipUpdateDlg::list_candidates() {
    HWND list = GetDlgItem(window_, kSkinListId);
    const update::EntryList& candidates = engine_.candidate_list();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const update::UpdateEntry& candidate = *candidates[i];
        const int row = static_cast<int>(i);
        LVITEMW first{};
        first.mask = LVIF_TEXT;
        first.iItem = row;
        first.pszText = const_cast<wchar_t*>(L"-");
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&first));
        set_cell(list, row, 0, support::as_wide(candidate.name));
        char16_t version[support::kVersionTextUnits];
        support::format_file_version(version, candidate.new_version);
        set_cell(list, row, kVersionColumn, support::as_wide(version));
    }
}

// Each candidate's row is selected while it downloads, so the progress
// handler writes its byte count there. A closing dialog stops the run
// before the next download.
void CZZ_SkinZipUpdateDlg::download_candidates() {
    update::EntryList& candidates = engine_.candidate_list();
    for (std::size_t i = 0; i < candidates.size() && !stopping_; ++i) {
        select_row(static_cast<int>(i));
        if (engine_.UpdateItem(candidates[i].get()) == 0) {
            // The row says it won't be installed, and why.
            const std::wstring text = std::wstring(L"失败：") + engine_.last_failure();
            set_cell(GetDlgItem(window_, kSkinListId), static_cast<int>(i), kStatusColumn, text.c_str());
        }
    }
}

void CZZ_SkinZipUpdateDlg::select_row(int row) {
    HWND list = GetDlgItem(window_, kSkinListId);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void CZZ_SkinZipUpdateDlg::on_progress(const update::UpdateNotice* notice, void* dialog) {
    if (notice == nullptr || notice->number == 0 || dialog == nullptr) return;
    const auto* self = static_cast<const CZZ_SkinZipUpdateDlg*>(dialog);
    wchar_t text[10];
    if (notice->number <= kMostBytesShown) support::format_slot(text, L"%d B", static_cast<int>(notice->number));
    else support::format_slot(text, L"%d KB", static_cast<int>(notice->number / 1024));
    HWND list = GetDlgItem(self->window_, kSkinListId);
    const auto row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row >= 0) set_cell(list, row, kStatusColumn, text);
}

}  // namespace ui
