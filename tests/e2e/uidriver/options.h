#pragma once
// The driver's command line: a command word, its positional arguments and
// options that may stand anywhere ("--" ends the options, so that a text to
// type may itself begin with "--").

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace uidriver {

struct Options {
    std::wstring command;
    std::vector<std::wstring> args;
    DWORD timeout_ms = 10000;  // --timeout MS: how long any wait may take
    DWORD pid = 0;             // --pid PID: only windows of this process
    std::wstring exe;          // --exe NAME: only windows of processes with this image name
    bool hidden = false;       // --hidden: hidden top-level windows match too
    std::map<std::wstring, std::wstring> flags;  // command options: --header, --answer yes, ...

    bool has(const std::wstring& flag) const { return flags.count(flag) != 0; }
    std::wstring flag(const std::wstring& name) const;
};

// Parses the process's own UTF-16 command line (argv[0] is skipped).
Options parse_options(const std::vector<std::wstring>& argv);

// Decimal or 0x-hexadecimal; throws a usage error naming `what` otherwise.
long long parse_number(const std::wstring& text, const wchar_t* what);

}  // namespace uidriver
