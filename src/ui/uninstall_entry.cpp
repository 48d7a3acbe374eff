// The uninstall mode: the uninstall dialog as the program's main window.
#include <cstdlib>

#include "app/folders.h"
#include "app/mode_entries.h"
#include "app/process_records.h"
#include "app/workspace.h"
#include "ui/uninstall_dialog.h"

namespace app {

void run_uninstall_dialog() {
    ui::CCZZ_Uninstall dialog;
    dialog.run_modal(nullptr);
    if (!dialog.abandoned()) return;
    // A process kept the IME file loaded and nothing was removed: the
    // program ends with exit code 1 so that whoever started it can tell.
    // The workspace and the running copy go first, as after any other end
    // of the dialog; the normal exit runs the program's global clean-up.
    if (const RunContext* run = run_context(); run != nullptr) remove_directory_tree(run->workspace_dir);
    schedule_self_delete();
    std::exit(1);
}

}  // namespace app
