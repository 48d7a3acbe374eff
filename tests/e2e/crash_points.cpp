// Linked only into the kill test's installer (imesetup_crashtest), never
// into the shipped one: the installer ends itself at a named moment of its
// run, as a kill from a task manager or a power loss would end it, so that
// the test can stop it at every moment it names.
//
// IMEBASE_CRASH_AT=N ends the process (exit code 1201) at the N-th moment
// (install::crash_point: each record the journal writes to disk, the
// commit); IMEBASE_CRASH_TRACE=FILE appends "N moment" per moment to FILE.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cstdlib>

#include "install/install_journal.h"

namespace {

constexpr UINT kKilledExitCode = 1201;

long g_at = 0;
long g_count = 0;
wchar_t g_trace[MAX_PATH] = {};

void at_moment(const wchar_t* moment) {
    ++g_count;
    if (g_trace[0] != L'\0') {
        const HANDLE file = CreateFileW(g_trace, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            char line[64];
            const int length = std::snprintf(line, sizeof line, "%ld %lc\n", g_count, static_cast<wint_t>(moment[0]));
            DWORD written = 0;
            WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
            CloseHandle(file);
        }
    }
    if (g_count == g_at) TerminateProcess(GetCurrentProcess(), kKilledExitCode);
}

struct CrashHookFromEnvironment {
    CrashHookFromEnvironment() {
        wchar_t text[32] = {};
        if (GetEnvironmentVariableW(L"IMEBASE_CRASH_AT", text, 32) > 0) g_at = std::wcstol(text, nullptr, 10);
        const DWORD length = GetEnvironmentVariableW(L"IMEBASE_CRASH_TRACE", g_trace, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) g_trace[0] = L'\0';
        if (g_at > 0 || g_trace[0] != L'\0') install::set_crash_hook(at_moment);
    }
};

const CrashHookFromEnvironment g_hook;

}  // namespace
