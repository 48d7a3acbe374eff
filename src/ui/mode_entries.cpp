#include "ui/mode_entries.h"

#include "app/run_options.h"
#include "install/install_journal.h"
#include "ui/auto_update_dialog.h"
#include "ui/install_wizard.h"
#include "ui/repair_dialog.h"
#include "ui/silent_runs.h"
#include "ui/uninstall_dialog.h"

namespace ui {
namespace {

// The install wizard, modal, as the program's main window. Closed before
// the install started: cancelled.
void run_install() {
    if (app::run_options().silent) {
        run_silent_install();
        return;
    }
    CZZ_Install_BaseDlg wizard;
    wizard.run_modal(nullptr);
    if (!wizard.install_ran()) app::set_exit_code(app::kExitCancelled);
}

void run_repair() {
    if (app::run_options().silent) {
        run_silent_repair();
        return;
    }
    CZZ_Repair dialog;
    dialog.run_modal(nullptr);
    if (dialog.refused()) app::set_exit_code(app::kExitFailed);
    else if (!dialog.repaired()) app::set_exit_code(app::kExitCancelled);
    if (!dialog.refused() && !dialog.failed()) return;
    // No usable kept package, or a repair that didn't complete: the
    // program ends unsuccessfully so that whoever started it can tell.
    app::end_mode_unsuccessfully();
}

void run_uninstall() {
    if (app::run_options().silent) {
        run_silent_uninstall();
        return;
    }
    CCZZ_Uninstall dialog;
    dialog.run_modal(nullptr);
    if (!dialog.uninstalled()) app::set_exit_code(app::kExitCancelled);
    if (!dialog.abandoned()) return;
    // A process kept the IME file loaded and nothing was removed: the
    // program ends unsuccessfully so that whoever started it can tell.
    app::end_mode_unsuccessfully();
}

void run_update(const wchar_t* product_name) {
    if (app::run_options().silent) {
        run_silent_update(product_name);
        return;
    }
    CZZ_AutoUpdateDlg dialog;
    dialog.set_ime_name(product_name);
    dialog.run_modal(nullptr);
}

void recover(const wchar_t* product_name, support::RunReport& log) {
    install::recover_interrupted_run(product_name, log);
}

}  // namespace

app::ModeEntries mode_entries() noexcept {
    app::ModeEntries entries;
    entries.install = &run_install;
    entries.repair = &run_repair;
    entries.uninstall = &run_uninstall;
    entries.update = &run_update;
    entries.recover = &recover;
    return entries;
}

}  // namespace ui
