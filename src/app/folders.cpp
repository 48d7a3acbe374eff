#include "app/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

#include "app/interpreter.h"
#include "app/protected_folders.h"
#include "support/file_kind.h"
#include "support/folder_path.h"
#include "support/format_bounded.h"

namespace app {
namespace {

constexpr DWORD kRemovalWaitMs = 1000;
constexpr int kRemovalAttempts = 2;

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// Leaves "c:\" as the current directory while it lives, so that this
// process doesn't keep the folder being removed in use, then returns to
// where it was.
class CurrentDirectoryAtRoot {
public:
    CurrentDirectoryAtRoot() {
        const DWORD needed = GetCurrentDirectoryW(0, nullptr);
        if (needed != 0) {
            saved_.resize(needed);
            const DWORD written = GetCurrentDirectoryW(needed, saved_.data());
            saved_.resize(written < needed ? written : 0);
        }
        SetCurrentDirectoryW(L"c:\\");
    }
    ~CurrentDirectoryAtRoot() {
        if (!saved_.empty()) SetCurrentDirectoryW(saved_.c_str());
    }
    CurrentDirectoryAtRoot(const CurrentDirectoryAtRoot&) = delete;
    CurrentDirectoryAtRoot& operator=(const CurrentDirectoryAtRoot&) = delete;

private:
    std::wstring saved_;
};

// One run of the interpreter on `folder`; false when it wasn't started.
bool run_removal(const wchar_t (&interpreter)[kPathUnits], const wchar_t* folder) {
    wchar_t short_path[kPathUnits] = {};
    const DWORD length = GetShortPathNameW(folder, short_path, kPathUnits);
    if (length == 0 || length >= kPathUnits) return false;
    // rmdir wants the folder without a trailing separator: inside quotes
    // a final backslash is harmless to the interpreter, but not needed.
    for (std::size_t end = length; end > 3 && short_path[end - 1] == L'\\'; --end) short_path[end - 1] = L'\0';
    if (!is_quotable_for_interpreter(short_path)) return false;

    // Quoted, so that spaces or "&" in a name (or a long name where no
    // short one can be had) never split the command in two. A command
    // that doesn't fit is never run cut: it would name another folder.
    wchar_t command[2 * kPathUnits];
    if (support::format_slot(command, L"\"%ls\" /c rmdir \"%ls\" /s /q", interpreter, short_path) !=
        support::kStatusOk) {
        return false;
    }
    return start_interpreter_at_idle(interpreter, command, kRemovalWaitMs);
}

bool is_plain_folder_name(const wchar_t* name) {
    if (name == nullptr || name[0] == L'\0') return false;
    if (std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0) return false;
    return std::wcspbrk(name, L"\\/:") == nullptr;
}

}  // namespace

int make_directory_path(const wchar_t* path) {
    if (path == nullptr || path[0] == L'\0' || std::wcslen(path) > kPathUnits - 1) return 0;
    // Levels that can't be made (a drive, a share, one that exists) are
    // the answer's business: only the whole path counts.
    support::create_folder_path(path);
    return support::is_folder(path) ? 1 : 0;
}

int remove_directory_tree(const wchar_t* folder) {
    if (folder == nullptr || is_protected_folder(folder)) return 0;

    const CurrentDirectoryAtRoot at_root;
    wchar_t interpreter[kPathUnits];
    if (!system_interpreter(interpreter)) return 0;
    for (int attempt = 1;; ++attempt) {
        if (!run_removal(interpreter, folder)) return 0;
        if (!exists(folder) || attempt == kRemovalAttempts) return 1;
    }
}

int common_data_dir(wchar_t (&path)[kPathUnits], const wchar_t* product_name) {
    path[0] = L'\0';
    if (!is_plain_folder_name(product_name)) return 0;
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                path))) {
        path[0] = L'\0';
        return 0;
    }
    // A cut name would be another product's folder: no answer is better.
    if (!support::append_slot(path, L"\\ZinzinIMEs\\") || !support::append_slot(path, product_name) ||
        !support::append_slot(path, L"\\")) {
        path[0] = L'\0';
        return 0;
    }
    return 1;
}

}  // namespace app
