#include "app/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

#include "app/protected_folders.h"
#include "support/file_kind.h"
#include "support/folder_path.h"
#include "support/format_bounded.h"

namespace app {
namespace {

bool is_folder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

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

// Everything in `folder` (a full path without a trailing backslash), then
// the folder. A link inside (junction, symbolic link) goes as the link
// alone: what it leads to is never entered. Best effort: what is in use
// stays, and so do the folders that hold it.
void remove_tree(const std::wstring& folder, int depth) {
    if (depth > 64) return;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
                SetFileAttributesW(path.c_str(), entry.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                DeleteFileW(path.c_str());
            } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                RemoveDirectoryW(path.c_str());
            } else {
                remove_tree(path, depth + 1);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
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
    if (folder == nullptr || is_protected_folder(folder) || !is_folder(folder)) return 0;
    std::wstring path = folder;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    // A folder that is itself a link goes as the link.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RemoveDirectoryW(path.c_str());
        return 1;
    }
    const CurrentDirectoryAtRoot at_root;
    remove_tree(path, 0);
    return 1;
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
