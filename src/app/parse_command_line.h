#pragma once
// The running copy's reading of its own command line: the grammar of
// app/command_line.h applied to RunContext::command_line, then the named
// product looked up in the registry.

#include "app/records.h"

namespace app {

// Fills run.source_path, run.mode and every field of `command` from
// run.command_line. Reports nothing: a missing or unreadable registry
// value leaves its field empty, and an empty install_dir tells the caller
// that the named product is not installed.
//
// display_name: "DisplayName" of the product's uninstall entry (HKLM
// "Software\Microsoft\Windows\CurrentVersion\Uninstall\<name>").
// install_dir: "ZMEInstallPath" of its vendor key ("Software\marlix\<name>"),
// the machine's key first, then the current user's. The look-ups run
// whatever the name holds, also when it is empty (install mode).
void parse_command_line(RunContext& run, CommandRecord& command);

}  // namespace app
