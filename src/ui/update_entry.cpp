// INTERIM entry of the update mode: the update dialog takes its place.
// Until then a dialog names the product it was handed, says that this
// build can't update it yet and offers only "取消".
#include "app/mode_entries.h"
#include "support/format_bounded.h"
#include "ui/interim_dialog.h"

namespace app {

void run_update_dialog(const wchar_t* product_name) {
    wchar_t caption[260];
    support::format_slot(caption, L"Zinzin输入系统更新程序 - %ls", product_name != nullptr ? product_name : L"");
    ui::run_interim_dialog(caption, L"此版本尚不能在线更新输入法，请单击“取消”退出。");
}

}  // namespace app
