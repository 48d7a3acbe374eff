#include "app/run_options.h"

namespace app {

namespace {

RunOptions g_options;
support::NullReport g_no_log;
support::RunReport* g_log = nullptr;
int g_exit_code = kExitSuccess;

}  // namespace

const RunOptions& run_options() noexcept { return g_options; }
RunOptions& mutable_run_options() noexcept { return g_options; }

support::RunReport& run_log() noexcept { return g_log != nullptr ? *g_log : g_no_log; }

void set_run_log(support::RunReport* log) noexcept { g_log = log; }

void set_exit_code(int code) noexcept {
    // A failure or cancellation already recorded stays; a restart request
    // outranks plain success.
    if (g_exit_code == kExitFailed || g_exit_code == kExitCancelled || g_exit_code == kExitAlreadyRunning ||
        g_exit_code == kExitBadSwitches)
        return;
    if (code == kExitSuccess && g_exit_code == kExitRestartNeeded) return;
    g_exit_code = code;
}

int exit_code() noexcept { return g_exit_code; }
void reset_exit_code() noexcept { g_exit_code = kExitSuccess; }

}  // namespace app
