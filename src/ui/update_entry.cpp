// The entry of the update mode: the update dialog for the product named on
// the command line, as the program's main window.
#include "app/mode_entries.h"
#include "ui/auto_update_dialog.h"

namespace app {

void run_update_dialog(const wchar_t* product_name) {
    ui::CZZ_AutoUpdateDlg dialog;
    dialog.set_ime_name(product_name);
    dialog.run_modal(nullptr);
}

}  // namespace app
