#pragma once
// The running processes, for tests that check how a program started
// another (the installer relaunching itself from the temporary folder).

#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

struct ProcessInfo {
    DWORD pid = 0;
    DWORD parent_pid = 0;
    std::wstring image_path;    // full path of the main module, empty if unknown
    std::wstring command_line;  // as the process was started, empty if unknown
};

std::vector<ProcessInfo> list_processes();

}  // namespace uidriver
