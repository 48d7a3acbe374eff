#include "app/workspace.h"

#include <windows.h>

#include <cwchar>

#include "app/folders.h"
#include "support/format_bounded.h"

namespace app {
namespace {

// The temporary folder as the system names it; false when it can't be
// read or doesn't fit a path slot.
bool read_temp_folder(wchar_t (&path)[kPathUnits]) {
    const DWORD length = GetTempPathW(kPathUnits, path);
    if (length == 0 || length >= kPathUnits) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

bool ends_in_backslash(const wchar_t* path) {
    const std::size_t length = std::wcslen(path);
    return length != 0 && path[length - 1] == L'\\';
}

}  // namespace

int make_workspace_dir(RunContext& run) {
    if (!read_temp_folder(run.workspace_dir)) {
        support::copy_slot(run.workspace_dir, kFallbackWorkspaceDir);
    } else {
        const bool fits = (ends_in_backslash(run.workspace_dir) || support::append_slot(run.workspace_dir, L"\\")) &&
                          support::append_slot(run.workspace_dir, kWorkspaceFolderName);
        if (!fits) {
            run.workspace_dir[0] = L'\0';
            return 0;
        }
    }
    return make_directory_path(run.workspace_dir);
}

bool is_temporary_copy(const wchar_t* module_path) {
    return module_path != nullptr && std::wcsstr(module_path, kTemporaryCopyName) != nullptr;
}

bool temporary_copy_path(wchar_t (&path)[kPathUnits]) {
    if (!read_temp_folder(path)) return false;
    // Room for the name and a backslash, with the terminator inside the slot.
    if (std::wcslen(path) + std::wcslen(kTemporaryCopyName) + 2 >= kPathUnits) {
        path[0] = L'\0';
        return false;
    }
    if (!ends_in_backslash(path)) support::append_slot(path, L"\\");
    support::append_slot(path, kTemporaryCopyName);
    return true;
}

}  // namespace app
