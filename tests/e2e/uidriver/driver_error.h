#pragma once
// Failures of a driver command. Each carries the process exit code the
// driver ends with, so that the test on the Linux side can tell a time-out
// from a refused action or a mistyped command line.

#include <stdexcept>
#include <string>

namespace uidriver {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,   // the action can't be done (disabled control, no such button...)
    kExitUsage = 2,    // the command line is wrong
    kExitTimeout = 3,  // what was waited for didn't happen in time
};

class DriverError : public std::runtime_error {
public:
    DriverError(ExitCode code, const std::string& utf8_message)
        : std::runtime_error(utf8_message), code_(code) {}
    ExitCode code() const { return code_; }

private:
    ExitCode code_;
};

[[noreturn]] void fail(const std::wstring& message);
[[noreturn]] void fail_usage(const std::wstring& message);
[[noreturn]] void fail_timeout(const std::wstring& message);

}  // namespace uidriver
