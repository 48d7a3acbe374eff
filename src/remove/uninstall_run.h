#pragma once
// The uninstall run: the installed input method removed in six numbered
// steps, each reported (support::RunReport) as a row of the step list with
// the progress bar (0 to 100) moved to the step's percentage before its
// work starts; every file, shortcut and key it removes goes to the
// reporter too. Nothing is asked: a step whose work finds nothing to do (a
// file, folder, key or library already gone) passes silently and the next
// one follows, so the list always shows all seven rows; step 2 adds a row
// of its own when it leaves something in the install folder (not the
// product's, or files of others beside the product's). The run holds no
// window: the uninstall dialog hands a reporter that shows the rows, a
// silent uninstall the run's log.
//
// It works from three fields of the command record: product_name (the
// registry keys, the IME file "<name>.zin.ime", the data folder),
// display_name (the shortcuts and the Start-menu folder) and install_dir
// (ends in a backslash).

#include <cstdint>

#include "app/records.h"
#include "support/run_report.h"

namespace removal {

// The record a run works on.
struct UninstallRun {
    support::RunReport* report = nullptr;  // who watches the run; never null once made
    app::RunContext* context = nullptr;
    std::int32_t reserved = 0;
    std::int32_t percent = 0;  // the percentage of the step now running
    // Set when something could only be left for the next restart to
    // delete (the IME file still in use).
    int restart_needed = 0;
    app::CommandRecord* command = nullptr;
};

// A record reporting to `report` (nothing is reported when it is null).
// `command` and `context` default to the start-up's process-wide records
// (app::command_record(), app::run_context()); test programs hand their
// own.
UninstallRun make_uninstall_run(support::RunReport* report, app::CommandRecord* command = nullptr,
                                app::RunContext* context = nullptr);

// One posting: the percentage into the record and to the reporter, then
// `text` as the step list's new last row.
void post_uninstall_step(UninstallRun& run, int percent, const wchar_t* text);

// The whole run, synchronously on the calling thread. Always 1. A record
// without a command record posts its seven rows and removes nothing.
int run_uninstall(UninstallRun& run);

}  // namespace removal
