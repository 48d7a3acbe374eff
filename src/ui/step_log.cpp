#include "ui/step_log.h"

#include <commctrl.h>

namespace ui {
namespace {

constexpr int kColumnWidth = 330;

}  // namespace

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
