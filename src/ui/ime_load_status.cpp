#include "ui/ime_load_status.h"

#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace ui {

int CZZ_IMELoadStatus::check(const wchar_t* ime_file_name) {
    support::copy_slot(file_name_, ime_file_name != nullptr ? ime_file_name : L"");
    holders_ = removal::find_ime_holders(file_name_, GetCurrentProcessId());
    return static_cast<int>(holders_.size());
}

void CZZ_IMELoadStatus::end_processes() {
    removal::end_holders(holders_, kEndedProcessExitCode);
    holders_ = removal::find_ime_holders(file_name_, GetCurrentProcessId());
    if (holders_.empty()) {
        end(IDOK);
        return;
    }
    fill_list(kRescanRowFormat);
}

BOOL CZZ_IMELoadStatus::on_init() {
    set_icon(LoadIconW(nullptr, IDI_WARNING));
    if (holders_.empty()) {
        end(0);
        return TRUE;
    }
    fill_list(kFirstRowFormat);
    return TRUE;
}

bool CZZ_IMELoadStatus::on_command(int id, int code, HWND control) {
    if (id == kEndProcessesId) {
        end_processes();
        return true;
    }
    return Dialog::on_command(id, code, control);
}

void CZZ_IMELoadStatus::fill_list(const wchar_t* row_format) {
    if (hwnd() == nullptr) return;
    send_item(kHolderListId, LB_RESETCONTENT);
    for (const removal::HolderProcess& holder : holders_) {
        wchar_t row[260];
        support::format_slot(row, row_format, static_cast<unsigned>(holder.id), holder.name);
        send_item(kHolderListId, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    }
}

int check_ime_loaded(const wchar_t* ime_file_name, CZZ_IMELoadStatus& dialog) { return dialog.check(ime_file_name); }

bool confirm_ime_unloaded(const wchar_t* ime_name, HWND owner) {
    wchar_t file_name[kImeFileNameUnits];
    support::format_slot(file_name, kImeFileFormat, ime_name != nullptr ? ime_name : L"");
    CZZ_IMELoadStatus status;
    if (check_ime_loaded(file_name, status) <= 0) return true;
    return status.run_modal(owner) == IDOK;
}

}  // namespace ui
