#include <windows.h>

#include "app/interpreter.h"
#include "app/workspace.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace app {

bool format_delete_command(wchar_t (&command)[kCommandUnits], const wchar_t* comspec, const wchar_t* short_path) {
    command[0] = L'\0';
    if (!is_quotable_for_interpreter(comspec) || !is_quotable_for_interpreter(short_path)) return false;
    // Both quoted: a name with spaces or "&", or a long name where the
    // system keeps no short one, stays one argument and never becomes a
    // second command. A command that doesn't fit is never run cut.
    if (support::format_slot(command, L"\"%ls\" /c del \"%ls\"", comspec, short_path) != support::kStatusOk) {
        command[0] = L'\0';
        return false;
    }
    return true;
}

int schedule_file_delete(const wchar_t* path) {
    wchar_t comspec[kPathUnits];
    if (path == nullptr || !read_comspec(comspec)) return 0;
    wchar_t short_path[kPathUnits];
    const DWORD length = GetShortPathNameW(path, short_path, kPathUnits);
    if (length == 0 || length >= kPathUnits) return 0;
    wchar_t command[kCommandUnits];
    if (!format_delete_command(command, comspec, short_path)) return 0;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(comspec, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &started)) {
        return 0;
    }
    const support::UniqueHandle process(started.hProcess);
    const support::UniqueHandle thread(started.hThread);

    // High here, idle there: the interpreter should get to the file only
    // once this process has ended. A read-only file would refuse "del".
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    SetPriorityClass(process.get(), IDLE_PRIORITY_CLASS);
    ResumeThread(thread.get());
    return 1;
}

int schedule_self_delete() {
    wchar_t module_path[kPathUnits];
    const DWORD length = GetModuleFileNameW(nullptr, module_path, kPathUnits);
    if (length == 0 || length >= kPathUnits) return 0;
    return schedule_file_delete(module_path);
}

}  // namespace app
