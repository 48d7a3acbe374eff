#include "ui/step_log.h"

#include <commctrl.h>

namespace ui {
namespace {

constexpr int kColumnWidth = 330;

// The list scrolls to its new last row as if the user had pressed End:
// the key's code goes in both message parameters.
constexpr WPARAM kEndKey = VK_END;

}  // namespace

StepLogReport::StepLogReport(HWND dialog) noexcept {
    if (dialog == nullptr) return;
    list_ = GetDlgItem(dialog, kStepListId);
    bar_ = GetDlgItem(dialog, kProgressBarId);
}

void StepLogReport::row(const wchar_t* text) {
    if (list_ == nullptr || text == nullptr) return;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(text);  // the list copies the text
    SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list_, WM_KEYDOWN, kEndKey, static_cast<LPARAM>(kEndKey));
}

void StepLogReport::progress(int position) {
    if (bar_ != nullptr) SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void add_step_log_column(const Dialog& dialog, int list_id, const wchar_t* heading) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumnWidth;
    column.pszText = const_cast<wchar_t*>(heading);
    dialog.send_item(list_id, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    dialog.send_item(list_id, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

void reset_step_progress(const Dialog& dialog, int bar_id) {
    dialog.send_item(bar_id, PBM_SETRANGE32, 0, 100);
    dialog.send_item(bar_id, PBM_SETPOS, 0, 0);
}

}  // namespace ui
