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
// A mode whose dialog ended without doing its work (a kept package that
// can't be used, a loaded IME the user kept): the workspace and the running
// copy go as after any end of a dialog, then the program exits with
// kExitFailed (1603) so that whoever started it can tell. The normal exit runs the program's
// global clean-up.
[[noreturn]] void end_mode_unsuccessfully();
// Install: the wizard (CZZ_Install_BaseDlg), once the package is extracted
// and "InstallInfo.dif" loaded.
void run_install_wizard();

}  // namespace app
