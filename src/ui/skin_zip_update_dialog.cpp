// The skin package dialog on its own thread: start-up, the row change that
// shows a preview, install, cancel, and the waits that keep the worker
// from outliving the dialog.

#include "ui/skin_zip_update_dialog.h"

#include <commctrl.h>

#include <atomic>
#include <cstddef>
#include <iterator>

#include "support/wide.h"
#include "ui/join_worker.h"

namespace ui {
namespace {

// The row previewed last: one value for the whole process.
std::atomic<int> last_previewed_row{-1};

struct Column {
    const wchar_t* header;
    int width;
};
constexpr Column kColumns[] = {{L"皮肤名称", 150}, {L"最新版本", 100}, {L"----", 100}};

bool row_checked(HWND list, int row) {
    const auto state = static_cast<UINT>(SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    // State image 2 is the ticked box, 1 the empty one.
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

}  // namespace

int last_previewed_skin_row() noexcept { return last_previewed_row.load(); }

int run_skin_zip_update_dialog(HWND parent, const wchar_t* ime_name) {
    CZZ_SkinZipUpdateDlg dialog;
    dialog.set_ime_name(ime_name);
    return static_cast<int>(dialog.run_modal(parent));
}

CZZ_SkinZipUpdateDlg::~CZZ_SkinZipUpdateDlg() {
    stopping_ = true;
    join_worker();
}

BOOL CZZ_SkinZipUpdateDlg::on_init() {
    preview_.create(hwnd());
    set_up_columns();
    const update::UpdateHandlers handlers{on_progress, nullptr, this};
    if (engine_.Attach(handlers) == 0) {
        MessageBoxW(hwnd(), kSkinAttachFailedText, L"", MB_ICONERROR);
        return TRUE;
    }
    SetTimer(hwnd(), kSkinStartTimerId, kSkinStartDelayMs, nullptr);
    return TRUE;
}

void CZZ_SkinZipUpdateDlg::set_up_columns() {
    HWND list = item(kSkinListId);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(kColumns[i].header);
        column.cx = kColumns[i].width;
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    const DWORD styles = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_BORDERSELECT;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    SendMessageW(list, LVM_SETSELECTEDCOLUMN, 0, 0);
}

bool CZZ_SkinZipUpdateDlg::on_message(UINT message, WPARAM wparam, LPARAM /*lparam*/, INT_PTR& result) {
    switch (message) {
    case WM_TIMER:
        KillTimer(hwnd(), wparam);
        // One run per opening of the dialog.
        if (wparam == kSkinStartTimerId && !run_started_) start_worker();
        result = TRUE;
        return true;
    case kSkinWorkerFinishedMessage:
        join_worker();
        result = TRUE;
        return true;
    default:
        return false;
    }
}

// The run counts as active from here, before the thread exists, so that
// neither install nor cancel can come in between.
void CZZ_SkinZipUpdateDlg::start_worker() {
    run_started_ = true;
    idle_ = 0;
    window_ = hwnd();
    DWORD thread_id = 0;
    worker_.reset(CreateThread(nullptr, 0, skin_worker, this, 0, &thread_id));
    if (!worker_) idle_ = 1;
}

bool CZZ_SkinZipUpdateDlg::on_notify(int id, NMHDR& header, LRESULT& result) {
    if (id != kSkinListId) return false;
    switch (header.code) {
    case NM_CLICK:
        result = 0;
        return true;
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (change.iItem >= 0 && change.iItem != last_previewed_row.load()) preview_row(change.iItem);
        result = 0;
        return true;
    }
    default:
        return false;
    }
}

void CZZ_SkinZipUpdateDlg::preview_row(int row) {
    const update::EntryList& candidates = engine_.candidate_list();
    if (static_cast<std::size_t>(row) >= candidates.size()) return;
    const support::PathSlot picture = update::skin_preview_file(engine_.temp_directory(), *candidates[row]);
    preview_.Show(picture.c_str());
    last_previewed_row = row;
}

void CZZ_SkinZipUpdateDlg::on_ok() {
    if (running()) {
        MessageBoxW(hwnd(), kSkinBusyText, kSkinBusyCaption, MB_ICONERROR);
        return;
    }
    install_checked();
    end(IDOK);
}

void CZZ_SkinZipUpdateDlg::on_cancel() {
    if (running()) {
        MessageBoxW(hwnd(), kSkinBusyText, kSkinBusyCaption, MB_ICONERROR);
        return;
    }
    end(IDCANCEL);
}

void CZZ_SkinZipUpdateDlg::install_checked() {
    HWND list = item(kSkinListId);
    const auto rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    const update::EntryList& candidates = engine_.candidate_list();
    for (int row = 0; row < rows && static_cast<std::size_t>(row) < candidates.size(); ++row) {
        if (row_checked(list, row)) copy_package(*candidates[row]);
    }
}

// Only a package this run downloaded (and checked) is copied; a failed
// copy is retried as long as the user says so.
void CZZ_SkinZipUpdateDlg::copy_package(const update::UpdateEntry& candidate) {
    if (!engine_.package_ready(candidate)) return;
    while (!engine_.install_package(candidate)) {
        if (MessageBoxW(hwnd(), kSkinCopyFailedText, kSkinCopyFailedCaption, MB_YESNO | MB_ICONERROR) != IDYES) break;
    }
}

// However the window goes (install, cancel, or destroyed with its owner),
// the worker is stopped and waited for while its controls still exist.
void CZZ_SkinZipUpdateDlg::on_destroy() {
    stopping_ = true;
    join_worker();
}

// The worker sends its messages to this thread's windows: dispatch the
// sent ones while waiting, or neither side could go on. Nothing posted is
// dispatched here, so no handler runs in between.
void CZZ_SkinZipUpdateDlg::join_worker() {
    ui::join_worker(worker_, WhileWaiting::sent_only);
}

}  // namespace ui
