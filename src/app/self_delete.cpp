#include <windows.h>

#include "app/interpreter.h"
#include "app/process_records.h"
#include "app/workspace.h"
#include "support/format_bounded.h"

namespace app {
namespace {

bool short_form(const wchar_t* path, wchar_t (&out)[kPathUnits]) {
    const DWORD length = GetShortPathNameW(path, out, kPathUnits);
    return length != 0 && length < kPathUnits;
}

// Deletes `path` and, when `folder` isn't null, that folder's tree after
// it, once this process has ended.
int schedule_delete(const wchar_t* path, const wchar_t* folder) {
    wchar_t interpreter[kPathUnits];
    if (path == nullptr || !system_interpreter(interpreter)) return 0;
    wchar_t short_path[kPathUnits];
    if (!short_form(path, short_path)) return 0;
    wchar_t short_folder[kPathUnits];
    if (folder != nullptr) {
        if (!short_form(folder, short_folder)) return 0;
        // rmdir wants the folder without its trailing separator.
        for (std::size_t end = wcslen(short_folder); end > 3 && short_folder[end - 1] == L'\\'; --end)
            short_folder[end - 1] = L'\0';
    }
    wchar_t command[kCommandUnits];
    if (!format_delete_command(command, interpreter, short_path, folder != nullptr ? short_folder : nullptr))
        return 0;

    // High here, idle there: the interpreter should get to the file only
    // once this process has ended. A read-only file would refuse "del".
    SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
    return start_interpreter_at_idle(interpreter, command, 0) ? 1 : 0;
}

}  // namespace

bool format_delete_command(wchar_t (&command)[kCommandUnits], const wchar_t* interpreter, const wchar_t* short_path,
                           const wchar_t* short_folder) {
    command[0] = L'\0';
    if (!is_quotable_for_interpreter(interpreter) || !is_quotable_for_interpreter(short_path) ||
        (short_folder != nullptr && !is_quotable_for_interpreter(short_folder))) {
        return false;
    }
    // All quoted: a name with spaces or "&", or a long name where the
    // system keeps no short one, stays one argument and never becomes a
    // second command. A command that doesn't fit is never run cut.
    const auto status =
        short_folder == nullptr
            ? support::format_slot(command, L"\"%ls\" /c del \"%ls\"", interpreter, short_path)
            : support::format_slot(command, L"\"%ls\" /c del \"%ls\" & rmdir \"%ls\" /s /q", interpreter, short_path,
                                   short_folder);
    if (status != support::kStatusOk) {
        command[0] = L'\0';
        return false;
    }
    return true;
}

int schedule_file_delete(const wchar_t* path) { return schedule_delete(path, nullptr); }

int schedule_self_delete() {
    wchar_t module_path[kPathUnits];
    const DWORD length = GetModuleFileNameW(nullptr, module_path, kPathUnits);
    if (length == 0 || length >= kPathUnits) return 0;
    // The copy takes its workspace with it (emptied already, but for
    // the running file itself).
    const RunContext* run = run_context();
    const bool in_workspace = run != nullptr && runs_in_own_workspace(*run);
    return schedule_delete(module_path, in_workspace ? run->workspace_dir : nullptr);
}

}  // namespace app
