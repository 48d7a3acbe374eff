// The repair mode: the repair dialog as the program's main window.
#include <cstdlib>

#include "app/folders.h"
#include "app/mode_entries.h"
#include "app/process_records.h"
#include "app/workspace.h"
#include "ui/repair_dialog.h"

namespace app {

void run_repair_dialog() {
    ui::CZZ_Repair dialog;
    dialog.run_modal(nullptr);
    if (!dialog.refused() && !dialog.failed()) return;
    // No usable kept package, or a repair that didn't complete: the
    // program ends with exit code 1 so that whoever started it can tell.
    // The workspace and the running copy go first, as after any other end
    // of the dialog; the normal exit runs the program's global clean-up.
    if (const RunContext* run = run_context(); run != nullptr) remove_directory_tree(run->workspace_dir);
    schedule_self_delete();
    std::exit(1);
}

}  // namespace app
