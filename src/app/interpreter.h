#pragma once
// Starting the system's command interpreter for the one job only it can do
// for us: deleting the running copy and its workspace once this process has
// ended (app/self_delete). Hidden, and at idle priority so that this
// process gets to finish first. Folder trees that a run clears are removed
// in the process itself (app::remove_directory_tree), never left to it.

#include <windows.h>

#include "app/records.h"

namespace app {

// The system's command interpreter: "cmd.exe" of the system folder.
// Never the environment's "COMSPEC", which any program of the user can
// set for an elevated run to start. False, with `path` empty, when the
// system folder can't be read or the path can't be quoted
// (is_quotable_for_interpreter).
bool system_interpreter(wchar_t (&path)[kPathUnits]);

// Test programs only (the installer never calls it): `program` stands in
// for the interpreter from now on (null: the system's again), so that a
// test sees the exact commands without anything being removed.
void use_interpreter_for_tests(const wchar_t* program);

// Whether `path` can stand between double quotes on an interpreter command
// line and mean exactly itself: not empty, no double quote (it would end
// the quoting), no "%" or "!" (the interpreter expands variables even
// inside quotes) and no control character.
bool is_quotable_for_interpreter(const wchar_t* path);

// Starts `program` with `command` (its whole command line, which the
// system may rewrite in place) with no window and its main thread
// suspended; raises this process to high priority, sets the new process
// to idle priority and resumes it; then waits for it at most `wait_ms`
// milliseconds (0: not at all). False when it could not be started.
bool start_interpreter_at_idle(const wchar_t* program, wchar_t* command, DWORD wait_ms);

}  // namespace app
