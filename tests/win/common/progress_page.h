#pragma once
// A hidden window standing in for a dialog that shows a run's progress: a
// report-style list view with control ID 1006 and a progress bar with ID
// 1008, as the wizard's progress page and the repair dialog have them.
// Runs and steps that report to the page (report(): the dialogs' own
// reporter over the page, beside a recorder of what the run changed and
// what failed) can be run over it on the test's own thread, and the rows
// read back.

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/run_report.h"
#include "ui/step_log.h"

namespace wintest {

// Keeps the rows a run reported, what it changed and what failed.
class ReportRecorder final : public support::RunReport {
public:
    void row(const wchar_t* text) override { rows_.emplace_back(text); }
    void progress(int) override {}
    void failure(const wchar_t* what, unsigned long error) override { failures_.emplace_back(what, error); }
    void touched(support::Touch kind, const wchar_t* what) override { changes_.emplace_back(kind, what); }

    const std::vector<std::wstring>& rows() const { return rows_; }
    const std::vector<std::pair<support::Touch, std::wstring>>& changes() const { return changes_; }
    const std::vector<std::pair<std::wstring, unsigned long>>& failures() const { return failures_; }
    // Whether `kind` was reported for `what` (compared without regard to case).
    bool has(support::Touch kind, const std::wstring& what) const;

private:
    std::vector<std::wstring> rows_;
    std::vector<std::pair<support::Touch, std::wstring>> changes_;
    std::vector<std::pair<std::wstring, unsigned long>> failures_;
};

class ProgressPage {
public:
    ProgressPage();
    ProgressPage(const ProgressPage&) = delete;
    ProgressPage& operator=(const ProgressPage&) = delete;
    ~ProgressPage();

    HWND window() const { return window_; }
    // Rows and positions onto the page, everything also recorded.
    support::RunReport* report() { return tee_.get(); }
    const ReportRecorder& recorded() const { return recorder_; }
    // The list's rows, first to last.
    std::vector<std::wstring> rows() const;
    // The bar's position.
    int position() const;

private:
    HWND window_ = nullptr;
    std::unique_ptr<ui::StepLogReport> shown_;
    ReportRecorder recorder_;
    std::unique_ptr<support::TeeReport> tee_;
};

}  // namespace wintest
