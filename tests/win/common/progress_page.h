#pragma once
// A hidden window standing in for a dialog that shows a run's progress: a
// report-style list view with control ID 1006 and a progress bar with ID
// 1008, as the wizard's progress page and the repair dialog have them.
// Steps that report to the page (install::make_install_run) can be run
// over it on the test's own thread, and the rows read back.

#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

class ProgressPage {
public:
    ProgressPage();
    ProgressPage(const ProgressPage&) = delete;
    ProgressPage& operator=(const ProgressPage&) = delete;
    ~ProgressPage();

    HWND window() const { return window_; }
    // The list's rows, first to last.
    std::vector<std::wstring> rows() const;
    // The bar's position.
    int position() const;

private:
    HWND window_ = nullptr;
};

}  // namespace wintest
