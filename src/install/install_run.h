#pragma once
// The record one install run works on, and its one way to report: rows of
// the step list (control 1006) and positions of the progress bar (control
// 1008, range 0 to 100) on the dialog that started the run. The wizard's
// progress page and the repair dialog build it; the run and every step it
// calls read it and post through it.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/records.h"
#include "package/install_info.h"
#include "support/run_report.h"

namespace install {

class InstallJournal;

inline constexpr int kStepListId = 1006;
inline constexpr int kProgressBarId = 1008;

struct InstallRun {
    HWND page = nullptr;                        // the dialog that shows the progress
    HWND step_list = nullptr;                   // list view 1006 of the page: one row per report
    HWND progress_bar = nullptr;                // progress bar 1008, or null when the page has none
    app::RunContext* context = nullptr;         // workspace, package, uninstaller and extraction paths
    std::int32_t progress_position = 0;         // the last position given to the bar
    const package::InstallInfo* info = nullptr; // the product's install information
    wchar_t install_dir[app::kPathUnits] = {};  // target folder; ends in a backslash once the run started
    // What the run creates or replaces, for undoing a failed run. Null:
    // the steps journal nothing (run_install then keeps a journal of its
    // own for the length of the run).
    InstallJournal* journal = nullptr;
    // Set by a step whose work takes effect only after a restart (a file
    // in use scheduled for replacement); the run's last row then says so.
    int restart_needed = 0;
    // What the run places in the install folder, relative to it, and
    // whether the folder is the product's own: the list kept beside the
    // package (install/install_list.h).
    std::vector<std::wstring> placed;
    bool folder_own = true;
    // Who hears what failed, with its Windows error (the run's log, the
    // dialog); null: nobody.
    support::RunReport* report = nullptr;
};

// A record over `page`: step list and progress bar looked up by their
// control IDs (all null when `page` is null), position 0, `info` as given,
// empty install directory, no journal, no restart needed. The context is
// `context` when given, else the start-up's process-wide run context
// (app::run_context(); null in a program that never ran the start-up).
InstallRun make_install_run(HWND page, const package::InstallInfo* info, app::RunContext* context = nullptr);

// One report. A position of 0 or more is stored in the record and given to
// the bar (when there is one); a negative position leaves both as they
// are. A text (not null) is appended as the list's new last row, and the
// list is scrolled to it. Synchronous messages: a run on a worker thread
// needs the dialog's thread to keep dispatching.
void post_progress(InstallRun& run, int position, const wchar_t* text);

// Tells the run's report (when it has one) that `what` (a path or a step)
// failed with the Windows error `error`. Keeps the thread's last error.
void report_failure(InstallRun& run, const wchar_t* what, unsigned long error);

}  // namespace install
