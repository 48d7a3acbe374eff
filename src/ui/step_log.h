#pragma once
// The step log of the dialogs that run the install or the removal (the
// wizard's progress page, the repair and uninstall dialogs): a one-column
// report list with full-row selection beside a progress bar of 0 to 100,
// and the reporter through which a run (install, repair, uninstall) fills
// them.

#include "support/run_report.h"
#include "ui/dialog.h"

namespace ui {

inline constexpr int kStepListId = 1006;
inline constexpr int kProgressBarId = 1008;

// A run's reports shown on `dialog`: each row appended to its list 1006
// and scrolled into view, each position given to its bar 1008 (either
// control may be missing). Failures and changed files show only as the
// rows the run posts for them. Synchronous messages: a run on a worker
// thread needs the dialog's thread to keep dispatching.
class StepLogReport final : public support::RunReport {
public:
    explicit StepLogReport(HWND dialog) noexcept;
    void row(const wchar_t* text) override;
    void progress(int position) override;
    void failure(const wchar_t*, unsigned long) override {}
    void touched(support::Touch, const wchar_t*) override {}

private:
    HWND list_ = nullptr;
    HWND bar_ = nullptr;
};

// One left-aligned column headed `heading`, 330 pixels wide (as wide as
// the longest row needs), and full-row selection.
void add_step_log_column(const Dialog& dialog, int list_id, const wchar_t* heading);

// The bar's range set to 0 to 100 and its position to 0.
void reset_step_progress(const Dialog& dialog, int bar_id);

}  // namespace ui
