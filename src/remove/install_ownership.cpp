#include "remove/install_ownership.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "app/folders.h"
#include "app/process_records.h"
#include "app/protected_folders.h"
#include "install/file_names.h"
#include "install/file_placement.h"
#include "install/install_list.h"
#include "install/plain_name.h"
#include "install/run_install.h"
#include "package/cabinet_extract.h"
#include "package/install_info.h"
#include "package/package_key.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace removal {
namespace {

// The record needs no more than its IME name to be told apart.
constexpr std::size_t kLeastRecordBytes = sizeof(package::InstallInfo::ime_name);
constexpr DWORD kMostRecordBytes = 64 * 1024;

std::wstring with_backslash(const wchar_t* folder) {
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

// A plain file (no folder, no link) at `path`.
bool is_plain_file(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

bool read_small_file(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
    const support::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMostRecordBytes) return false;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), 0);
    DWORD read = 0;
    return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

// A scratch folder of this process for deciphering a kept package.
std::wstring scratch_folder() {
    std::wstring base;
    const app::RunContext* context = app::run_context();
    if (context != nullptr && context->workspace_dir[0] != L'\0') {
        base = with_backslash(context->workspace_dir);
    } else {
        wchar_t temp[MAX_PATH + 1] = {};
        if (GetTempPathW(MAX_PATH + 1, temp) == 0) return {};
        base = with_backslash(temp);
    }
    return base + L"__ZZIMEOwner" + std::to_wstring(GetCurrentProcessId()) + L"\\";
}

bool names_product(const std::wstring& record_path, const wchar_t* product_name) {
    std::vector<std::uint8_t> bytes;
    if (!read_small_file(record_path, bytes) || bytes.size() < kLeastRecordBytes) return false;
    const package::InstallInfo info = package::load_install_info(bytes);
    return install::same_name(support::as_wide(info.ime_name), product_name);
}

bool is_product_folder(const std::wstring& folder, const wchar_t* product_name) {
    return is_plain_file(folder + install::kUninstallerName) && kept_package_names(folder.c_str(), product_name);
}

FolderClaim judge(const wchar_t* folder, const wchar_t* product_name, install::InstallList& list) {
    list = install::InstallList{};
    if (folder == nullptr || folder[0] == L'\0' || !install::is_plain_name(product_name)) return FolderClaim::Nothing;
    if (app::passes_through_link(folder)) return FolderClaim::Nothing;
    const std::wstring path = with_backslash(folder);
    const bool listed =
        install::read_install_list(path.c_str(), list) && install::same_name(list.product.c_str(), product_name);
    if (!listed) list = install::InstallList{};
    const bool fit_place = !app::is_system_location(path.c_str()) && !app::is_inside_profile(path.c_str());
    if (fit_place && (!listed || list.folder_own) && is_product_folder(path, product_name)) return FolderClaim::Whole;
    return listed ? FolderClaim::ListedFiles : FolderClaim::Nothing;
}

// The listed files, never through a link, then the folders they leave
// empty (deepest first); the install folder itself when it was the
// product's own.
void remove_listed_files(const std::wstring& folder, const install::InstallList& list, support::RunReport* report) {
    std::vector<std::wstring> levels;
    for (const std::wstring& relative : list.files) {
        const std::wstring path = folder + relative;
        if (app::passes_through_link(path.c_str()) || !is_plain_file(path)) continue;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileW(path.c_str())) {
            if (report != nullptr) report->touched(support::Touch::file_deleted, path.c_str());
        } else if (report != nullptr) {
            report->failure(path.c_str(), GetLastError());
        }
        for (std::size_t cut = relative.rfind(L'\\'); cut != std::wstring::npos && cut > 0;
             cut = relative.rfind(L'\\', cut - 1))
            levels.push_back(relative.substr(0, cut));
    }
    std::sort(levels.begin(), levels.end(),
              [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
    for (const std::wstring& level : levels) {
        const std::wstring path = folder + level;
        if (!app::passes_through_link(path.c_str())) RemoveDirectoryW(path.c_str());  // only when empty
    }
    if (list.folder_own && !app::is_system_location(folder.c_str())) RemoveDirectoryW(folder.c_str());
}

// The files below `folder` (with a backslash), in the order found, and its
// subfolders, each after those inside it; links are listed as files and
// never entered.
void list_files(const std::wstring& folder, std::vector<std::wstring>& files, std::vector<std::wstring>& folders) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool folder_entry = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                  (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        if (folder_entry) {
            list_files(folder + name + L"\\", files, folders);
            folders.push_back(folder + name);
        } else {
            files.push_back(folder + name);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

}  // namespace

bool kept_package_names(const wchar_t* folder, const wchar_t* product_name) {
    if (folder == nullptr || product_name == nullptr) return false;
    const std::wstring package = with_backslash(folder) + install::kBackupPackageName;
    if (!is_plain_file(package)) return false;
    const std::wstring scratch = scratch_folder();
    if (scratch.empty() || scratch.size() >= app::kPathUnits) return false;
    app::remove_directory_tree(scratch.c_str());

    bool names = false;
    {
        Cabinet::CExtract extract;
        extract.SetKey(package::kPackageKey, package::kPackageKeyLength);
        if (extract.CreateFDIContext()) {
            if (extract.ExtractFile(package.c_str(), scratch.c_str()))
                names = names_product(scratch + install::kInstallInfoName, product_name);
            extract.DestroyFDIContext();
        }
    }
    app::remove_directory_tree(scratch.c_str());
    return names;
}

FolderClaim judge_install_folder(const wchar_t* folder, const wchar_t* product_name) {
    install::InstallList list;
    return judge(folder, product_name, list);
}

FolderClaim judge_install_folder(const wchar_t* folder, const wchar_t* product_name, install::InstallList& list) {
    return judge(folder, product_name, list);
}

void remove_tree_reported(const wchar_t* folder, support::RunReport* report) {
    if (folder == nullptr || folder[0] == L'\0') return;
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;
    list_files(with_backslash(folder), files, folders);
    app::remove_directory_tree(folder);
    // What a file in use kept the tree removal from taking goes one by one,
    // and the folders left empty after it.
    for (const std::wstring& file : files) {
        DWORD error = ERROR_SUCCESS;
        if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(file.c_str())) error = GetLastError();
        }
        if (report == nullptr) continue;
        if (error == ERROR_SUCCESS) report->touched(support::Touch::file_deleted, file.c_str());
        else report->failure(file.c_str(), error);
    }
    for (const std::wstring& level : folders) RemoveDirectoryW(level.c_str());
    RemoveDirectoryW(folder);
}

FolderClaim remove_install_folder(const wchar_t* folder, const wchar_t* product_name, wchar_t (&row)[520],
                                  support::RunReport* report) {
    row[0] = L'\0';
    install::InstallList list;
    const FolderClaim claim = judge(folder, product_name, list);
    // A folder that is gone (a second removal) has nothing left to tell.
    if (claim == FolderClaim::Nothing && (folder == nullptr || GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES))
        return claim;
    switch (claim) {
    case FolderClaim::Whole:
        remove_tree_reported(folder, report);
        break;
    case FolderClaim::ListedFiles:
        remove_listed_files(with_backslash(folder), list, report);
        // Said only when something of others' is left.
        if (GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) support::format_slot(row, kOthersKeptFormat, folder);
        break;
    case FolderClaim::Nothing:
        support::format_slot(row, kNotOursFormat, folder);
        break;
    }
    return claim;
}

void remove_data_folder(const wchar_t* product_name, support::RunReport* report) {
    wchar_t data[app::kPathUnits];
    if (!app::common_data_dir(data, product_name)) return;
    // A link put there before the install would lead the removal elsewhere.
    if (app::passes_through_link(data)) return;
    remove_tree_reported(data, report);
}

}  // namespace removal
