// INTERIM entry of the uninstall mode: the uninstall dialog takes its
// place. Until then a dialog says that this build can't remove the product
// yet and offers only "取消".
#include "app/mode_entries.h"
#include "support/format_bounded.h"
#include "ui/interim_dialog.h"

namespace app {

void run_uninstall_dialog() {
    wchar_t caption[260];
    support::format_slot(caption, L"%ls - 卸载程序", ui::interim_product_label());
    ui::run_interim_dialog(caption, L"此版本尚不能卸载输入法，请单击“取消”退出。");
}

}  // namespace app
