#include "app/process_records.h"

namespace app {
namespace {

ProcessRecords* g_current = nullptr;

}  // namespace

// Value-initialised: every text slot empty, the mode 0, the install
// information all zero until it is loaded.
ProcessRecords::ProcessRecords()
    : run_(std::make_unique<RunContext>()),
      command_(std::make_unique<CommandRecord>()),
      info_(std::make_unique<package::InstallInfo>()),
      previous_(g_current) {
    g_current = this;
}

ProcessRecords::~ProcessRecords() {
    if (g_current == this) g_current = previous_;
}

RunContext* run_context() noexcept { return g_current != nullptr ? &g_current->run() : nullptr; }
CommandRecord* command_record() noexcept { return g_current != nullptr ? &g_current->command() : nullptr; }
package::InstallInfo* install_info() noexcept { return g_current != nullptr ? &g_current->info() : nullptr; }

}  // namespace app
