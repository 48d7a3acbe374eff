// INTERIM entry of the repair mode: the repair dialog takes its place.
// Until then a dialog says that this build can't repair the product yet
// and offers only "取消".
#include "app/mode_entries.h"
#include "support/format_bounded.h"
#include "ui/interim_dialog.h"

namespace app {

void run_repair_dialog() {
    wchar_t caption[260];
    support::format_slot(caption, L"%ls - 修复程序", ui::interim_product_label());
    ui::run_interim_dialog(caption, L"此版本尚不能修复输入法，请单击“取消”退出。");
}

}  // namespace app
