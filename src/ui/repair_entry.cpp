// The repair mode: the repair dialog as the program's main window.
#include "app/mode_entries.h"
#include "ui/repair_dialog.h"

namespace app {

void run_repair_dialog() {
    ui::CZZ_Repair dialog;
    dialog.run_modal(nullptr);
    if (!dialog.refused() && !dialog.failed()) return;
    // No usable kept package, or a repair that didn't complete: the
    // program ends with exit code 1603 so that whoever started it can tell.
    end_mode_unsuccessfully();
}

}  // namespace app
