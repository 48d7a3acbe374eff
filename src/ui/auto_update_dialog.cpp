// The update dialog's window side: opening, the two lists, the engine's
// handlers, starting a run, and a close that waits for the run to end.

#include "ui/auto_update_dialog.h"

#include <commctrl.h>

#include "app/run_options.h"
#include "support/display_name.h"
#include "support/format_bounded.h"
#include "ui/join_worker.h"
#include "ui/minimised_icon.h"

namespace ui {
namespace {


struct Column {
    const wchar_t* header;
    int width;
};
constexpr Column kColumns[] = {
    {L"状态", 50}, {L"本地版本", 80}, {L"最新版本", 80}, {L"驱动类型", 80}, {L"驱动名称", 150},
};

}  // namespace

support::TextSlot<10> byte_count_text(int total) {
    support::TextSlot<10> text;
    if (total == 0) return text;
    if (total <= kLargestByteCount) text.format(kByteCountFormat, total);
    else text.format(kKilobyteCountFormat, total / 1024);
    return text;
}

CZZ_AutoUpdateDlg::CZZ_AutoUpdateDlg()
    : Dialog(kUpdateTemplate), icon_(program_icon()) {}

CZZ_AutoUpdateDlg::~CZZ_AutoUpdateDlg() {
    join_worker();
    destroy();
}

BOOL CZZ_AutoUpdateDlg::on_init() {
    window_ = hwnd();
    set_icon(icon_);

    // The product's own name where its uninstall entry has one that fits.
    wchar_t display[support::kDisplayNameUnits];
    const bool named = support::query_display_name(ime_name_.c_str(), display) != 0;
    wchar_t title[260];
    support::format_slot(title, kUpdateTitleFormat, named ? display : ime_name_.c_str());
    set_title(title);
    ShowWindow(hwnd(), SW_SHOW);
    set_icon(icon_);

    set_up_columns();

    const update::UpdateHandlers handlers{&CZZ_AutoUpdateDlg::on_progress, &CZZ_AutoUpdateDlg::on_notice, this};
    if (engine_.Attach(handlers) == 0) {
        app::run_log().failure(kUpdateAttachFailedText, GetLastError());
        app::set_exit_code(app::kExitFailed);
        MessageBoxW(hwnd(), kUpdateAttachFailedText, L"", MB_OK | MB_ICONERROR);
        return TRUE;
    }
    SetTimer(hwnd(), kUpdateStartTimerId, kUpdateStartDelayMs, nullptr);
    return TRUE;
}

void CZZ_AutoUpdateDlg::set_up_columns() {
    HWND list = item(kUpdateItemListId);
    int index = 0;
    for (const Column& column : kColumns) {
        LVCOLUMNW entry{};
        entry.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        entry.fmt = LVCFMT_LEFT;
        entry.cx = column.width;
        entry.pszText = const_cast<wchar_t*>(column.header);
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index++), reinterpret_cast<LPARAM>(&entry));
    }
    const DWORD styles = LVS_EX_FULLROWSELECT | LVS_EX_BORDERSELECT;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
    SendMessageW(list, LVM_SETSELECTEDCOLUMN, kStatusColumn, 0);
}

bool CZZ_AutoUpdateDlg::on_message(UINT message, WPARAM wparam, LPARAM /*lparam*/, INT_PTR& result) {
    switch (message) {
    case WM_TIMER:
        if (wparam != kUpdateStartTimerId) return false;
        KillTimer(hwnd(), kUpdateStartTimerId);
        start_run();
        result = TRUE;
        return true;
    case WM_PAINT:
    case WM_QUERYDRAGICON:
        return handle_minimised_icon(hwnd(), icon_, message, result);
    case kUpdateWorkerFinishedMessage:
        worker_finished();
        result = TRUE;
        return true;
    default:
        return false;
    }
}

// Only when idle, and only once the previous worker has been joined: the
// worker is still on its way out for a moment after it set the flag.
void CZZ_AutoUpdateDlg::start_run() {
    if (!idle() || worker_ || closing_) return;
    HWND messages = item(kUpdateMessageListId);
    const LRESULT lines = SendMessageW(messages, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < lines; ++i) SendMessageW(messages, LB_DELETESTRING, 0, 0);
    send_item(kUpdateItemListId, LVM_DELETEALLITEMS);
    DWORD thread_id = 0;
    worker_.reset(CreateThread(nullptr, 0, update_worker, this, 0, &thread_id));
}

void CZZ_AutoUpdateDlg::on_cancel() {
    if (!worker_) {
        Dialog::on_cancel();
        return;
    }
    // The worker ends its current item and stops; worker_finished closes.
    closing_ = true;
    enable_item(kExitButtonId, false);
}

void CZZ_AutoUpdateDlg::worker_finished() {
    join_worker();
    if (closing_) {
        app::set_exit_code(app::kExitCancelled);
        end(IDCANCEL);
    }
}

void CZZ_AutoUpdateDlg::join_worker() {
    ui::join_worker(worker_, WhileWaiting::dispatch_all);
}

DWORD WINAPI CZZ_AutoUpdateDlg::update_worker(void* dialog) {
    auto* self = static_cast<CZZ_AutoUpdateDlg*>(dialog);
    self->run_worker();
    PostMessageW(self->window_, kUpdateWorkerFinishedMessage, 0, 0);
    return 0;
}

void CZZ_AutoUpdateDlg::on_progress(const update::UpdateNotice* notice, void* dialog) {
    if (notice == nullptr || dialog == nullptr) return;
    const support::TextSlot<10> text = byte_count_text(notice->number);
    if (text.empty()) return;
    auto* self = static_cast<CZZ_AutoUpdateDlg*>(dialog);
    HWND list = GetDlgItem(self->window_, kUpdateItemListId);
    const auto row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row >= 0) self->set_cell(row, kStatusColumn, text.c_str());
}

void CZZ_AutoUpdateDlg::on_notice(const update::UpdateNotice* notice, void* dialog) {
    if (notice == nullptr || notice->text == nullptr || dialog == nullptr) return;
    auto* self = static_cast<CZZ_AutoUpdateDlg*>(dialog);
    app::run_log().row(notice->text);
    HWND messages = GetDlgItem(self->window_, kUpdateMessageListId);
    const LRESULT line = SendMessageW(messages, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(notice->text));
    if (line >= 0) SendMessageW(messages, LB_SETCURSEL, static_cast<WPARAM>(line), 0);
    // Drawn now: the worker goes on at once with the next step.
    InvalidateRect(messages, nullptr, TRUE);
    UpdateWindow(messages);
}

}  // namespace ui
