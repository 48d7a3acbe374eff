#pragma once
// The entry points of the four modes, each running its modal dialog as the
// program's main window and returning when it has closed. The start-up
// calls exactly one of them, after the records are complete (the records
// are reached through app/process_records.h), and cleans up afterwards
// whatever the dialog did.

namespace app {

// Mode U: the uninstall dialog (CCZZ_Uninstall).
void run_uninstall_dialog();
// Mode R: the repair dialog (CZZ_Repair).
void run_repair_dialog();
// Mode G: the update dialog (CZZ_AutoUpdateDlg), handed the product name.
void run_update_dialog(const wchar_t* product_name);
// Install: the wizard (CZZ_Install_BaseDlg), once the package is extracted
// and "InstallInfo.dif" loaded.
void run_install_wizard();

}  // namespace app
