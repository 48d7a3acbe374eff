#pragma once
// How this run was asked to behave beyond its mode: the switches for runs
// without a person (silent modes, the log's place, the install folder and
// user details, licence acceptance, ending the IME's holders), the log
// every run writes, and the exit code the program ends with.

#include <string>

#include "support/run_report.h"

namespace app {

// The documented exit codes, the same in every mode.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRestartNeeded = 3010;
inline constexpr int kExitCancelled = 1602;
inline constexpr int kExitFailed = 1603;
inline constexpr int kExitAlreadyRunning = 1618;
inline constexpr int kExitBadSwitches = 87;
// Uninstall, repair or update of a product that isn't installed: nothing
// was touched (msiexec's "unknown product").
inline constexpr int kExitUnknownProduct = 1605;

struct RunOptions {
    bool silent = false;          // no window at all; the run reports only to its log
    bool accept_licence = false;  // the licence taken as accepted (silent install only)
    bool end_holders = false;     // silent: programs holding the IME may be ended
    std::wstring log_path;        // empty: the default log in the temporary folder
    std::wstring install_dir;     // empty: the wizard's default
    std::wstring owner;           // empty: the wizard's default
    std::wstring company;         // empty: the wizard's default
};

// The options of this run, read from the command line by the start-up
// (defaults before that and in test programs).
const RunOptions& run_options() noexcept;
RunOptions& mutable_run_options() noexcept;

// The run's log: every engine's reports go here as well as to the dialog.
// A reporter that writes nothing until the start-up has opened the log.
support::RunReport& run_log() noexcept;
// Makes `log` the run's log (null: none again). The start-up's log file
// (app/run_log_file.h) puts itself here once it is open; test programs put
// a recorder here.
void set_run_log(support::RunReport* log) noexcept;

// The code the program ends with. Starts at kExitSuccess; a run that needs
// a restart, fails or is cancelled sets it. The first failure or
// cancellation is kept: a later success does not overwrite it.
void set_exit_code(int code) noexcept;
int exit_code() noexcept;
// Back to kExitSuccess (test programs, between runs).
void reset_exit_code() noexcept;

}  // namespace app
