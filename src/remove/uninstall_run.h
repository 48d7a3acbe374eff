#pragma once
// The uninstall run: the installed input method removed in six numbered
// steps, each logged as a row of the dialog's step list (control 1006)
// with the progress bar (control 1008, range 0 to 100) moved to the step's
// percentage before its work starts. Nothing is asked and nothing is
// reported: a step whose work finds nothing to do (a file, folder, key or
// library already gone) passes silently and the next one follows, so the
// list always shows all seven rows; step 2 adds a row of its own when it
// leaves something in the install folder (not the product's, or files of
// others beside the product's).
//
// It works from three fields of the command record: product_name (the
// registry keys, the IME file "<name>.zin.ime", the data folder),
// display_name (the shortcuts and the Start-menu folder) and install_dir
// (ends in a backslash).

#include <windows.h>

#include <cstdint>

#include "app/records.h"

namespace removal {

inline constexpr int kStepListId = 1006;
inline constexpr int kProgressBarId = 1008;
inline constexpr int kStepEditId = 1004;

// The record a run works on, built over the uninstall dialog on the stack
// of its button handler.
struct UninstallRun {
    HWND dialog = nullptr;
    HWND step_list = nullptr;     // list view 1006: one row per step
    HWND progress_bar = nullptr;  // progress bar 1008
    HWND edit = nullptr;          // control 1004; the uninstall dialog has none
    app::RunContext* context = nullptr;
    std::int32_t reserved = 0;
    std::int32_t percent = 0;  // the percentage of the step now running
    app::CommandRecord* command = nullptr;
};

// A record over `dialog`: controls 1006, 1008 and 1004 looked up by ID
// (all null without a dialog). `command` and `context` default to the
// start-up's process-wide records (app::command_record(),
// app::run_context()); test programs hand their own.
UninstallRun make_uninstall_run(HWND dialog, app::CommandRecord* command = nullptr,
                                app::RunContext* context = nullptr);

// One posting: the percentage into the record and onto the bar (when
// there is one), then a row with `text` appended at the end of the list
// and scrolled into view (when there is a list).
void post_uninstall_step(UninstallRun& run, int percent, const wchar_t* text);

// The whole run, synchronously on the calling thread. Always 1. A record
// without a command record posts its seven rows and removes nothing.
int run_uninstall(UninstallRun& run);

}  // namespace removal
