#pragma once
// One run at a time per product: install, uninstall, repair and update of
// the same product exclude each other across the machine's sessions.

namespace app {

// Takes the product's lock (a named mutex, app::run_lock_name) for the rest
// of the process. False when another run of this product holds it: the
// run is then over, with kExitAlreadyRunning, a log line and, unless
// silent, a message box saying so. A lock that can't be made at all is
// not taken as another run (the run goes on).
bool take_run_lock(const wchar_t* product_name);

}  // namespace app
