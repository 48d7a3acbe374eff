// The uninstall mode: the uninstall dialog as the program's main window.
#include "app/mode_entries.h"
#include "ui/uninstall_dialog.h"

namespace app {

void run_uninstall_dialog() {
    ui::CCZZ_Uninstall dialog;
    dialog.run_modal(nullptr);
    if (!dialog.abandoned()) return;
    // A process kept the IME file loaded and nothing was removed: the
    // program ends with exit code 1603 so that whoever started it can tell.
    end_mode_unsuccessfully();
}

}  // namespace app
