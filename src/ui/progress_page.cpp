#include "ui/progress_page.h"

#include <commctrl.h>

#include "install/install_run.h"
#include "ui/wizard_texts.h"

namespace ui {
namespace {

constexpr int kColumnWidth = 330;

}  // namespace

BOOL CZZ_Install_Begain::on_init() {
    // One column for the step rows, as wide as the longest row needs.
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumnWidth;
    column.pszText = const_cast<wchar_t*>(kProgressColumnText);
    send_item(install::kStepListId, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    send_item(install::kStepListId, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    return TRUE;
}

}  // namespace ui
