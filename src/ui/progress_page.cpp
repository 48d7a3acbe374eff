#include "ui/progress_page.h"

#include <commctrl.h>

#include "ui/step_log.h"
#include "ui/wizard_texts.h"

namespace ui {
BOOL CZZ_Install_Begain::on_init() {
    add_step_log_column(*this, kStepListId, kProgressColumnText);
    return TRUE;
}

}  // namespace ui
