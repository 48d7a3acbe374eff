#include "install/install_list.h"

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>

#include "install/file_names.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "support/format_bounded.h"
#include "support/replace_file.h"
#include "support/text_slot.h"
#include "support/unique_handle.h"
#include "support/utf8.h"
#include "support/wide.h"

namespace install {
namespace {

// A list longer than this is nobody's list: it isn't read.
constexpr DWORD kMostListBytes = 4 * 1024 * 1024;
constexpr wchar_t kProductLine[] = L"product=";
constexpr wchar_t kFolderOwn[] = L"folder=own";
constexpr wchar_t kFolderShared[] = L"folder=shared";

bool list_path(const wchar_t* folder, support::PathSlot& path) {
    const std::size_t length = std::wcslen(folder);
    const wchar_t* separator = length > 0 && folder[length - 1] == L'\\' ? L"" : L"\\";
    return path.format(L"%ls%ls%ls", folder, separator, kInstallListName) == support::kStatusOk;
}

std::wstring from_utf8(const std::string& text) {
    const std::optional<std::u16string> decoded = support::utf8_to_utf16(text);
    return decoded ? support::to_wide(*decoded) : std::wstring();
}

std::string to_utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), bytes, nullptr,
                        nullptr);
    return narrow;
}

bool read_bytes(const wchar_t* path, std::string& bytes) {
    const support::UniqueHandle file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMostListBytes) return false;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

bool parse_list(const std::wstring& text, InstallList& list) {
    bool folder_seen = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty()) continue;
        if (line.rfind(kProductLine, 0) == 0 && list.product.empty()) {
            list.product = line.substr(std::wcslen(kProductLine));
        } else if ((line == kFolderOwn || line == kFolderShared) && !folder_seen) {
            folder_seen = true;
            list.folder_own = line == kFolderOwn;
        } else if (is_plain_relative_path(line)) {
            list.files.push_back(line);
        } else {
            return false;
        }
    }
    return !list.product.empty() && folder_seen;
}

bool holds_anything(const wchar_t* folder) {
    support::PathSlot pattern;
    if (pattern.format(L"%ls*", folder) != support::kStatusOk) return true;  // can't tell: not empty
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do {
        found = std::wcscmp(entry.cFileName, L".") != 0 && std::wcscmp(entry.cFileName, L"..") != 0;
    } while (!found && FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

const wchar_t* ime_name_of(const InstallRun& run) {
    return run.info != nullptr ? support::as_wide(run.info->ime_name) : L"";
}

}  // namespace

bool is_plain_relative_path(const std::wstring& relative) {
    if (relative.empty() || relative.find_first_of(L"/:") != std::wstring::npos) return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = relative.find(L'\\', start);
        const std::wstring part = relative.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (part.empty() || part == L"." || part == L"..") return false;
        if (end == std::wstring::npos) return true;
        start = end + 1;
    }
}

bool read_install_list(const wchar_t* folder, InstallList& list) {
    list = InstallList{};
    support::PathSlot path;
    std::string bytes;
    if (folder == nullptr || !list_path(folder, path) || !read_bytes(path.c_str(), bytes)) return false;
    const std::wstring text = from_utf8(bytes);
    if (text.empty() || !parse_list(text, list)) {
        list = InstallList{};
        return false;
    }
    return true;
}

void note_install_folder(InstallRun& run) {
    run.placed.clear();
    run.folder_own = true;
    const DWORD attributes = GetFileAttributesW(run.install_dir);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;  // made by this run
    InstallList earlier;
    if (read_install_list(run.install_dir, earlier) && same_name(earlier.product.c_str(), ime_name_of(run))) {
        // A repair or a second install over the product's own folder.
        run.folder_own = earlier.folder_own;
        run.placed = earlier.files;
        return;
    }
    run.folder_own = !holds_anything(run.install_dir);
}

void note_placed_file(InstallRun& run, const wchar_t* target) {
    const std::size_t length = std::wcslen(run.install_dir);
    if (length == 0 || std::wcslen(target) <= length ||
        CompareStringOrdinal(target, static_cast<int>(length), run.install_dir, static_cast<int>(length), TRUE) !=
            CSTR_EQUAL)
        return;
    std::wstring relative = target + length;
    if (!is_plain_relative_path(relative)) return;
    // A name noted twice is listed once: write_install_list drops the
    // later ones (looking each up here would cost the run a pass over the
    // list for every file it places).
    run.placed.push_back(std::move(relative));
}

namespace {

// `files` without the names that came before (compared without regard to
// case), in their order.
std::vector<std::wstring> without_repeats(const std::vector<std::wstring>& files) {
    std::vector<std::size_t> order(files.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    const auto less = [&files](std::size_t a, std::size_t b) {
        const int compared = CompareStringOrdinal(files[a].c_str(), static_cast<int>(files[a].size()),
                                                  files[b].c_str(), static_cast<int>(files[b].size()), TRUE);
        return compared == CSTR_LESS_THAN || (compared == CSTR_EQUAL && a < b);
    };
    std::sort(order.begin(), order.end(), less);
    std::vector<bool> repeated(files.size(), false);
    for (std::size_t i = 1; i < order.size(); ++i)
        if (same_name(files[order[i - 1]], files[order[i]])) repeated[order[i]] = true;
    std::vector<std::wstring> kept;
    kept.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!repeated[i]) kept.push_back(files[i]);
    return kept;
}

// `bytes` into a new file beside `path`, then renamed over it: a run
// stopped half way leaves the old list or the whole new one, never a cut
// list that would name nothing. 0 or the Windows error.
DWORD write_beside_then_rename(const wchar_t* path, const std::string& bytes, InstallJournal* journal) {
    support::PathSlot beside;
    if (!support::path_beside(beside, path, L".new")) return ERROR_FILENAME_EXCED_RANGE;
    if (journal != nullptr && !journal->before_file_write(beside.c_str())) return ERROR_CANNOT_MAKE;
    DWORD error = 0;
    {
        const support::UniqueHandle file(
            CreateFileW(beside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return GetLastError();
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
            error = GetLastError();
        else if (written != bytes.size())
            error = ERROR_DISK_FULL;
    }
    if (error == 0 && !MoveFileExW(beside.c_str(), path, support::kReplaceFlags)) error = GetLastError();
    if (error != 0) DeleteFileW(beside.c_str());
    return error;
}

}  // namespace

bool write_install_list(InstallRun& run) {
    support::PathSlot path;
    if (!list_path(run.install_dir, path)) return false;
    note_placed_file(run, path.c_str());
    run.placed = without_repeats(run.placed);
    std::wstring text = std::wstring(kProductLine) + ime_name_of(run) + L"\r\n";
    text += std::wstring(run.folder_own ? kFolderOwn : kFolderShared) + L"\r\n";
    for (const std::wstring& file : run.placed) text += file + L"\r\n";
    const std::string bytes = to_utf8(text);

    if (run.journal != nullptr && !run.journal->before_file_write(path.c_str())) return false;
    const bool replacing = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const DWORD error = write_beside_then_rename(path.c_str(), bytes, run.journal);
    if (error != 0) {
        report_failure(run, path.c_str(), error);
        return false;
    }
    report_touched(run, replacing ? support::Touch::file_replaced : support::Touch::file_copied, path.c_str());
    return true;
}

}  // namespace install
