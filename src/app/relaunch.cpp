#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "app/startup_messages.h"
#include "app/workspace.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace app {
namespace {

// The system's answer when a program that asks for administrator rights
// is started directly by one without them.
constexpr DWORD kElevationRequired = 740;

void show_relaunch_error(const wchar_t* text) {
    MessageBoxW(nullptr, text, kRelaunchErrorCaption, MB_OK | MB_ICONERROR);
}

// The copy takes the attributes of the file it comes from, so started from
// a read-only medium it is read-only too; it is ours to split and delete.
// The workspace is new, so nothing of that name can be there: a copy that
// exists already fails rather than being used.
bool make_temporary_copy(const wchar_t* module_path, const wchar_t* copy) {
    if (!CopyFileW(module_path, copy, TRUE)) return false;
    const DWORD attributes = GetFileAttributesW(copy);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(copy, attributes & ~FILE_ATTRIBUTE_READONLY);
    return true;
}

// Starts `copy` with `arguments`. The copy inherits the open workspace,
// so that it stays pinned from its creation to the copy's end. Where the
// system wants the shell to raise the copy's rights first (this process
// isn't elevated, the copy asks to be), the shell starts it instead.
bool start_copy(const wchar_t* copy, const wchar_t* arguments) {
    wchar_t line[kCommandUnits + 8];
    if (support::format_slot(line, L"\"%ls\" %ls", copy, arguments) != support::kStatusOk) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(copy, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        return true;
    }
    if (GetLastError() != kElevationRequired) return false;
    const HINSTANCE shell = ShellExecuteW(nullptr, nullptr, copy, arguments, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(shell) > 32;
}

}  // namespace

Relaunch relaunch_from_temp(RunContext& run, const wchar_t* arguments) {
    if (arguments == nullptr) arguments = L"";
    if (runs_in_own_workspace(run)) {
        support::copy_slot(run.command_line, arguments);
        return Relaunch::Continue;
    }

    const Workspace made = make_workspace_dir(run);
    wchar_t copy[kPathUnits];
    if (made != Workspace::Made || !temporary_copy_path(run, copy) || !make_temporary_copy(run.module_path, copy)) {
        show_relaunch_error(made == Workspace::Refused ? kWorkspaceRefusedText : kRelaunchCopyFailedText);
        if (made == Workspace::Made) {
            DeleteFileW(copy);
            discard_workspace(run);
        }
        return Relaunch::Stop;
    }

    support::format_slot(run.command_line, kRelaunchArgumentsFormat, arguments, run.module_path);
    if (!start_copy(copy, run.command_line)) {
        show_relaunch_error(kRelaunchStartFailedText);
        // Nothing will run in the workspace: the copy and the folder go.
        DeleteFileW(copy);
        discard_workspace(run);
    }
    return Relaunch::Stop;
}

}  // namespace app
