#pragma once
// The step log of the dialogs that run the install or the removal (the
// wizard's progress page, the repair and uninstall dialogs): a one-column
// report list with full-row selection beside a progress bar of 0 to 100.

#include "ui/dialog.h"

namespace ui {

// One left-aligned column headed `heading`, 330 pixels wide (as wide as
// the longest row needs), and full-row selection.
void add_step_log_column(const Dialog& dialog, int list_id, const wchar_t* heading);

// The bar's range set to 0 to 100 and its position to 0.
void reset_step_progress(const Dialog& dialog, int bar_id);

}  // namespace ui
