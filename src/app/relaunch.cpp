#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "app/command_line.h"
#include "app/install_path.h"
#include "app/run_options.h"
#include "app/startup_messages.h"
#include "app/tell_user.h"
#include "app/workspace.h"
#include "support/file_kind.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace app {
namespace {

// The system's answer when a program that asks for administrator rights
// is started directly by one without them.
constexpr DWORD kElevationRequired = 740;

// The relaunch's own failures end the run as failed; a silent run shows
// no box, only the console line where there is a console.
void show_relaunch_error(const wchar_t* text) {
    if (run_options().silent) tell_user(text, Stream::error, kRelaunchErrorCaption, false);
    else MessageBoxW(nullptr, text, kRelaunchErrorCaption, MB_OK | MB_ICONERROR);
    set_exit_code(kExitFailed);
}

// The copy's exit code once it has ended: the first program ends with it,
// so that whoever started the installer learns how the run went.
void wait_for_copy(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    DWORD code = kExitFailed;
    if (!GetExitCodeProcess(process, &code)) code = kExitFailed;
    set_exit_code(static_cast<int>(code));
}

// The copy takes the attributes of the file it comes from, so started from
// a read-only medium it is read-only too; it is ours to split and delete.
// The workspace is new, so nothing of that name can be there: a copy that
// exists already fails rather than being used.
bool make_temporary_copy(const wchar_t* module_path, const wchar_t* copy) {
    if (!CopyFileW(module_path, copy, TRUE)) return false;
    support::clear_read_only(copy);
    return true;
}

// Starts `copy` with `arguments`. The copy inherits the open workspace,
// so that it stays pinned from its creation to the copy's end. Where the
// system wants the shell to raise the copy's rights first (this process
// isn't elevated, the copy asks to be), the shell starts it instead.
// The copy's standard handles are this process's, so that its lines reach
// the same console, file or pipe. The process handle, for waiting, is
// returned (null when nothing was started).
support::UniqueHandle start_copy(const wchar_t* copy, const wchar_t* arguments) {
    wchar_t line[kCommandUnits + 8];
    if (support::format_slot(line, L"\"%ls\" %ls", copy, arguments) != support::kStatusOk) return {};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    StandardHandles standard = inheritable_standard_handles();
    if (standard.any()) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = standard.input;
        startup.hStdOutput = standard.output;
        startup.hStdError = standard.error;
    }
    PROCESS_INFORMATION started{};
    const BOOL made = CreateProcessW(copy, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started);
    const DWORD error = GetLastError();
    close_standard_handles(standard);
    if (made) {
        CloseHandle(started.hThread);
        return support::UniqueHandle(started.hProcess);
    }
    if (error != kElevationRequired) return {};
    SHELLEXECUTEINFOW shell{};
    shell.cbSize = sizeof shell;
    shell.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    shell.lpFile = copy;
    shell.lpParameters = arguments;
    shell.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&shell) || shell.hProcess == nullptr) return {};
    return support::UniqueHandle(shell.hProcess);
}

// The product's own uninstaller, started from its install folder to
// remove the product: "<install folder>Unstall.exe" as the machine's record
// names it.
bool is_products_uninstaller(const RunContext& run, const wchar_t* arguments) {
    const RunSwitches switches = scan_switches(support::to_u16(arguments));
    const CommandArguments parsed = parse_arguments(switches.rest);
    if (parsed.mode != u'U') return false;
    wchar_t folder[kPathUnits];
    if (!read_install_path(support::to_wide(parsed.product_name).c_str(), folder, InstallPathRoots::machine_only))
        return false;
    wchar_t uninstaller[kPathUnits];
    if (support::format_slot(uninstaller, L"%lsUnstall.exe", folder) != support::kStatusOk) return false;
    return CompareStringOrdinal(uninstaller, -1, run.module_path, -1, TRUE) == CSTR_EQUAL;
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

    // The copy keeps 259 units of its argument string: a longer one would
    // lose its end (a switch's value, the path after "file=") without a word.
    if (support::format_slot(run.command_line, kRelaunchArgumentsFormat, arguments, run.module_path) !=
        support::kStatusOk) {
        tell_user(kArgumentsTooLongText, Stream::error, kStartupErrorCaption, !run_options().silent);
        set_exit_code(kExitBadSwitches);
        DeleteFileW(copy);
        discard_workspace(run);
        return Relaunch::Stop;
    }
    const support::UniqueHandle started = start_copy(copy, run.command_line);
    if (!started) {
        show_relaunch_error(kRelaunchStartFailedText);
        // Nothing will run in the workspace: the copy and the folder go.
        DeleteFileW(copy);
        discard_workspace(run);
        return Relaunch::Stop;
    }
    // The copy holds the workspace through its own inherited handle; this
    // one goes, so that the copy's clean-up can remove the folder while
    // this process still waits.
    release_workspace(run);
    // The product's own uninstaller can't wait: its copy removes this very
    // file with the rest of the folder, which a running program's file
    // would keep. It ends at once, as it always did.
    if (is_products_uninstaller(run, arguments)) return Relaunch::Stop;
    wait_for_copy(started.get());
    return Relaunch::Stop;
}

}  // namespace app
