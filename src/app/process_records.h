#pragma once
// The three process-wide records: the run context, the command record and
// the install information. The start-up allocates them (zero-filled)
// before it reads the command line and frees them after the mode's dialog
// has closed; in between every part of the program reaches them through
// the accessors below. No other code allocates or frees them.
//
// The accessors answer null outside that span (before the start-up has
// allocated the records, after it has freed them, and in test programs
// that never run the start-up: those build records of their own).

#include <memory>

#include "app/records.h"
#include "package/install_info.h"

namespace app {

RunContext* run_context() noexcept;
CommandRecord* command_record() noexcept;
package::InstallInfo* install_info() noexcept;

// Owns the three records for as long as it lives: the start-up makes one,
// which fills the accessors, and frees the records by letting it go. One
// at a time; a second one while the first lives takes over the accessors
// until it goes.
class ProcessRecords {
public:
    ProcessRecords();
    ~ProcessRecords();
    ProcessRecords(const ProcessRecords&) = delete;
    ProcessRecords& operator=(const ProcessRecords&) = delete;

    RunContext& run() noexcept { return *run_; }
    CommandRecord& command() noexcept { return *command_; }
    package::InstallInfo& info() noexcept { return *info_; }

private:
    std::unique_ptr<RunContext> run_;
    std::unique_ptr<CommandRecord> command_;
    std::unique_ptr<package::InstallInfo> info_;
    ProcessRecords* previous_;
};

}  // namespace app
