#include "app/interpreter.h"

#include "support/format_bounded.h"
#include "support/system_folder.h"
#include "support/unique_handle.h"

namespace app {
namespace {

wchar_t g_test_interpreter[kPathUnits];

}  // namespace

bool system_interpreter(wchar_t (&path)[kPathUnits]) {
    if (g_test_interpreter[0] != L'\0') {
        support::copy_slot(path, g_test_interpreter);
        return true;
    }
    if (!support::system_file_path(L"cmd.exe", path) || !is_quotable_for_interpreter(path)) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

void use_interpreter_for_tests(const wchar_t* program) {
    support::copy_slot(g_test_interpreter, program != nullptr ? program : L"");
}

bool is_quotable_for_interpreter(const wchar_t* path) {
    if (path == nullptr || path[0] == L'\0') return false;
    for (const wchar_t* p = path; *p != L'\0'; ++p) {
        if (*p == L'"' || *p == L'%' || *p == L'!' || *p < L' ') return false;
    }
    return true;
}

bool start_interpreter_at_idle(const wchar_t* program, wchar_t* command, DWORD wait_ms) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &started)) {
        return false;
    }
    const support::UniqueHandle process(started.hProcess);
    const support::UniqueHandle thread(started.hThread);

    // High here, idle there: the interpreter runs when this process waits
    // or has ended, not while it still uses what is to be removed.
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    SetPriorityClass(process.get(), IDLE_PRIORITY_CLASS);
    ResumeThread(thread.get());
    if (wait_ms != 0) WaitForSingleObject(process.get(), wait_ms);
    return true;
}

}  // namespace app
