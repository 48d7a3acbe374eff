#pragma once
// The record one install run works on, and its one way to report: the
// run's reporter (support::RunReport), which gets the step list's rows, the
// progress bar's positions (0 to 100), every file, key and value the run
// changes and every failure. The wizard's progress page and the repair
// dialog hand a reporter that shows rows and positions (with the run's log
// beside it); a silent run hands the log alone. The run holds no window.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/records.h"
#include "package/install_info.h"
#include "support/run_report.h"

namespace install {

class InstallJournal;

struct InstallRun {
    support::RunReport* report = nullptr;       // who watches the run; never null once made
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
};

// A record reporting to `report` (nothing is reported when it is null),
// position 0, `info` as given, empty install directory, no journal, no
// restart needed. The context is `context` when given, else the
// start-up's process-wide run context (app::run_context(); null in a
// program that never ran the start-up).
InstallRun make_install_run(support::RunReport* report, const package::InstallInfo* info,
                            app::RunContext* context = nullptr);

// One report. A position of 0 or more is stored in the record and given to
// the reporter; a negative position leaves both as they are. A text (not
// null) goes to the reporter as the step list's new last row. A dialog's
// reporter sends its controls synchronous messages: a run on a worker
// thread needs the dialog's thread to keep dispatching.
void post_progress(InstallRun& run, int position, const wchar_t* text);

// What the run changed (a file placed, a key or value written, a shortcut
// made) and what failed with the Windows error code, for the run's log.
// Reporting a failure keeps the thread's last error.
void report_touched(InstallRun& run, support::Touch kind, const wchar_t* what);
void report_failure(InstallRun& run, const wchar_t* what, unsigned long error);

// How the log names a key or value: "HKLM\<path>" or "HKCU\<path>", with
// "\<value>" when a value is named.
std::wstring registry_text(HKEY root, const wchar_t* path, const wchar_t* value = nullptr);

}  // namespace install
