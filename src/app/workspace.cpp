#include "app/workspace.h"

#include <windows.h>

#include <cwchar>

#include "app/folders.h"
#include "app/private_folder.h"
#include "support/format_bounded.h"

namespace app {
namespace {

// Random hexadecimal digits after the workspace's name prefix: 64 bits,
// more than any program could create ahead.
constexpr std::size_t kRandomDigits = 16;

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

// The temporary folder with a backslash at its end.
bool temp_folder_with_backslash(wchar_t (&path)[kPathUnits]) {
    return read_temp_folder(path) && (ends_in_backslash(path) || support::append_slot(path, L"\\"));
}

// The workspace this run pinned (see pin_folder): held until the process
// ends, when the system closes it; the interpreter that removes the
// folder runs only after that.
support::UniqueHandle& workspace_pin() {
    static support::UniqueHandle pin;
    return pin;
}

}  // namespace

Workspace make_workspace_dir(RunContext& run) {
    run.workspace_dir[0] = L'\0';
    wchar_t folder[kPathUnits];
    wchar_t random[kRandomDigits + 1];
    if (!temp_folder_with_backslash(folder) || !random_hex(random, kRandomDigits) ||
        !support::append_slot(folder, kWorkspaceFolderPrefix) || !support::append_slot(folder, random)) {
        return Workspace::Failed;
    }
    // A link anywhere on the way would put the workspace somewhere else.
    if (has_reparse_point(folder)) return Workspace::Refused;
    // A new folder or none: an existing one (made ahead, or a link) fails.
    if (!create_private_folder(folder)) return Workspace::Failed;
    support::UniqueHandle pin = pin_folder(folder, true);
    if (!pin || has_reparse_point(folder)) return Workspace::Refused;
    if (!support::append_slot(folder, L"\\")) return Workspace::Failed;
    support::copy_slot(run.workspace_dir, folder);
    workspace_pin() = std::move(pin);
    return Workspace::Made;
}

bool adopt_workspace(RunContext& run) {
    run.workspace_dir[0] = L'\0';
    if (!is_temporary_copy(run.module_path)) return false;
    wchar_t temp[kPathUnits];
    if (!temp_folder_with_backslash(temp)) return false;
    // "<temp>\__ZZIMEInstall.<random>\<copy name>", and nothing else.
    const std::size_t temp_length = std::wcslen(temp);
    const std::size_t prefix_length = std::wcslen(kWorkspaceFolderPrefix);
    const wchar_t* path = run.module_path;
    if (_wcsnicmp(path, temp, temp_length) != 0 ||
        std::wcsncmp(path + temp_length, kWorkspaceFolderPrefix, prefix_length) != 0) {
        return false;
    }
    const wchar_t* random = path + temp_length + prefix_length;
    const wchar_t* end = std::wcschr(random, L'\\');
    if (end == nullptr || end - random != static_cast<std::ptrdiff_t>(kRandomDigits) ||
        std::wcscmp(end + 1, kTemporaryCopyName) != 0) {
        return false;
    }
    wchar_t folder[kPathUnits];
    support::copy_slot(folder, path);
    folder[end - path] = L'\0';
    if (has_reparse_point(folder)) return false;
    support::UniqueHandle pin = pin_folder(folder, false);
    if (!pin) return false;
    support::append_slot(folder, L"\\");
    support::copy_slot(run.workspace_dir, folder);
    workspace_pin() = std::move(pin);
    return true;
}

void release_workspace(RunContext&) { workspace_pin().reset(); }

void discard_workspace(RunContext& run) {
    workspace_pin().reset();
    if (run.workspace_dir[0] != L'\0') RemoveDirectoryW(run.workspace_dir);
    run.workspace_dir[0] = L'\0';
}

bool is_temporary_copy(const wchar_t* module_path) {
    if (module_path == nullptr) return false;
    const wchar_t* name = std::wcsrchr(module_path, L'\\');
    return std::wcscmp(name != nullptr ? name + 1 : module_path, kTemporaryCopyName) == 0;
}

bool temporary_copy_path(const RunContext& run, wchar_t (&path)[kPathUnits]) {
    path[0] = L'\0';
    if (run.workspace_dir[0] == L'\0') return false;
    if (support::format_slot(path, L"%ls%ls", run.workspace_dir, kTemporaryCopyName) != support::kStatusOk) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

bool runs_in_own_workspace(const RunContext& run) {
    if (run.workspace_dir[0] == L'\0' || !is_temporary_copy(run.module_path)) return false;
    const std::size_t length = std::wcslen(run.workspace_dir);
    return std::wcsncmp(run.module_path, run.workspace_dir, length) == 0 &&
           std::wcscmp(run.module_path + length, kTemporaryCopyName) == 0;
}

}  // namespace app
