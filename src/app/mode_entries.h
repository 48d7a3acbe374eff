#pragma once
// The entry points of the four modes, each running its modal dialog as the
// program's main window (or, in a silent run, its engine without any
// window) and returning when it has ended. The dialogs live above this
// layer: the program hands the start-up their entries (set_mode_entries)
// before it runs. The start-up calls exactly one of them, after the
// records are complete (the records are reached through
// app/process_records.h), and cleans up afterwards whatever the mode did.

namespace support {
class RunReport;
}

namespace app {

struct ModeEntries {
    // Mode U: the uninstall dialog (CCZZ_Uninstall).
    void (*uninstall)() = nullptr;
    // Mode R: the repair dialog (CZZ_Repair).
    void (*repair)() = nullptr;
    // Mode G: the update dialog (CZZ_AutoUpdateDlg), handed the product name.
    void (*update)(const wchar_t* product_name) = nullptr;
    // Install: the wizard (CZZ_Install_BaseDlg), once the package is
    // extracted and "InstallInfo.dif" loaded.
    void (*install)() = nullptr;
    // Before install, repair or uninstall touch the product: a run of it
    // that was killed (or lost its power) undone, or finished when it had
    // committed, with rows to the log.
    void (*recover)(const wchar_t* product_name, support::RunReport& log) = nullptr;
};

// The entries the start-up dispatches to; a mode without one ends as if
// it had failed.
void set_mode_entries(const ModeEntries& entries) noexcept;

// A mode whose dialog ended without doing its work (a kept package that
// can't be used, a loaded IME the user kept): the workspace and the running
// copy go as after any end of a dialog, then the program exits with the
// run's exit code: the one the mode set (1602 for a loaded IME the user
// kept), else kExitFailed (1603), so that whoever started it can tell. The
// normal exit runs the program's global clean-up.
[[noreturn]] void end_mode_unsuccessfully();

}  // namespace app
