// INTERIM entry of the install mode: the install wizard takes its place.
// Until then a dialog welcomes the user with the product's display name
// from "InstallInfo.dif" and offers only "取消", so that the package has
// been extracted and its information loaded, and the program blocks and
// cleans up afterwards as it will with the wizard.
#include "app/mode_entries.h"
#include "app/process_records.h"
#include "support/format_bounded.h"
#include "support/wide.h"
#include "ui/interim_dialog.h"

namespace app {

void run_install_wizard() {
    const package::InstallInfo* info = install_info();
    wchar_t caption[260];
    support::format_slot(caption, L"欢迎使用 %ls", info != nullptr ? support::as_wide(info->display_name) : L"");
    ui::run_interim_dialog(caption, L"安装程序包已经解开。此版本尚不包含安装向导，请单击“取消”退出。");
}

}  // namespace app
