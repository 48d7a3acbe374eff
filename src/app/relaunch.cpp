#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "app/startup_messages.h"
#include "app/workspace.h"
#include "install/access_rights.h"
#include "support/format_bounded.h"

namespace app {
namespace {

void show_relaunch_error(const wchar_t* text) {
    MessageBoxW(nullptr, text, kRelaunchErrorCaption, MB_OK | MB_ICONERROR);
}

void clear_read_only(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

// The copy takes the attributes of the file it comes from, so started from
// a read-only medium it is read-only too. It is ours to replace, split and
// delete, so an older read-only copy is made writable before it is
// replaced (else every later start would fail here), and the new one is
// made writable at once.
bool make_temporary_copy(const wchar_t* module_path, const wchar_t* copy) {
    clear_read_only(copy);
    if (install::copy_file_granting_users(module_path, copy, FALSE) == 0) return false;
    clear_read_only(copy);
    return true;
}

}  // namespace

Relaunch relaunch_from_temp(RunContext& run, const wchar_t* arguments) {
    if (arguments == nullptr) arguments = L"";
    if (is_temporary_copy(run.module_path)) {
        support::copy_slot(run.command_line, arguments);
        return Relaunch::Continue;
    }

    wchar_t copy[kPathUnits];
    const bool have_path = temporary_copy_path(copy);
    if (!have_path || (std::wcscmp(run.module_path, copy) != 0 && !make_temporary_copy(run.module_path, copy))) {
        show_relaunch_error(kRelaunchCopyFailedText);
        return Relaunch::Stop;
    }

    support::format_slot(run.command_line, kRelaunchArgumentsFormat, arguments, run.module_path);
    const HINSTANCE started = ShellExecuteW(nullptr, nullptr, copy, run.command_line, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) <= 32) show_relaunch_error(kRelaunchStartFailedText);
    return Relaunch::Stop;
}

}  // namespace app
