// The install mode's entry: the install wizard, modal, as the program's
// main window.
#include "app/mode_entries.h"
#include "ui/install_wizard.h"

namespace app {

void run_install_wizard() {
    ui::CZZ_Install_BaseDlg wizard;
    wizard.run_modal(nullptr);
}

}  // namespace app
