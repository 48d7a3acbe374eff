#pragma once
// The driver's commands: one function per command word.

#include "options.h"

namespace uidriver {

// Runs the command named in `options`; throws DriverError on failure.
void run_command(const Options& options);
void print_usage();

}  // namespace uidriver
