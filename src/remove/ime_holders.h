#pragma once
// Finding the running processes that have the IME file loaded: nothing may
// replace or remove that file while a program holds it.

#include <windows.h>

#include <vector>

#include "support/run_report.h"

namespace removal {

inline constexpr int kHolderNameUnits = 100;
inline constexpr int kHolderImageUnits = 1024;

// One process that holds the IME file, as the scan saw it. The identifier
// alone names a process only while it runs: once it has ended, the system
// may give the same number to another. The image path and start time say
// which process it was.
struct HolderProcess {
    wchar_t name[kHolderNameUnits];   // base name of its main module; empty when unreadable
    DWORD id;                         // the system's process identifier
    wchar_t image[kHolderImageUnits]; // full path of its program file
    FILETIME started;                 // when it started
};

// True when `module_path` ends with `file_name`, without regard to case:
// also when the name begins inside a longer file name ("xabc.ime" ends
// with "abc.ime"). An empty path or name never matches.
bool path_ends_with(const wchar_t* module_path, const wchar_t* file_name);

// The processes that hold `file_name`, in the order the system lists their
// identifiers, each opened once for everything the scan reads. Never
// listed: `skip_id` (the caller's own process: ending it would end the
// program that asked), processes of other sessions (other users' work,
// the services) and critical system processes (ending one stops the
// machine). Processes that can't be opened are passed over; when the
// process list itself can't be read the result is empty.
std::vector<HolderProcess> find_ime_holders(const wchar_t* file_name, DWORD skip_id);

// Ends the process `holder` names when it still is the one that was
// listed: opened once, its image path and start time compared with the
// listing, and only that handle ended (with `exit_code`). A process that
// has gone, or another that now has the identifier, is left alone. The
// handle (to wait on) or none.
HANDLE end_listed_process(const HolderProcess& holder, UINT exit_code);

// Ends every process of `holders` that still is the one listed
// (end_listed_process) and waits until they have gone, a second at most.
void end_holders(const std::vector<HolderProcess>& holders, UINT exit_code);

// The loaded-IME check of a run without a window: the processes holding
// "<ime_name>.zin.ime" are each reported as a failure (the sharing error);
// with `may_end` they are ended and the file looked for again. True when
// nothing holds the file (any more).
bool check_ime_unloaded_silently(const wchar_t* ime_name, bool may_end, support::RunReport& report);

}  // namespace removal
