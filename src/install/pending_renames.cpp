#include "install/pending_renames.h"

#include <windows.h>

#include <cwchar>
#include <utility>
#include <vector>

#include "install/file_names.h"
#include "support/unique_handle.h"

namespace install {

namespace {

constexpr wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenamesValue[] = L"PendingFileRenameOperations";

using RenamePair = std::pair<std::wstring, std::wstring>;

// The list as pairs. A source is never empty, so an empty string where a
// source should be is the list's end.
std::vector<RenamePair> parse_pairs(const std::vector<wchar_t>& units) {
    std::vector<RenamePair> pairs;
    std::size_t at = 0;
    auto next_string = [&] {
        std::wstring text;
        while (at < units.size() && units[at] != L'\0') text.push_back(units[at++]);
        ++at;  // the NUL
        return text;
    };
    while (at < units.size()) {
        std::wstring source = next_string();
        if (source.empty()) break;
        std::wstring target = at < units.size() ? next_string() : std::wstring();
        pairs.emplace_back(std::move(source), std::move(target));
    }
    return pairs;
}

bool read_pairs(HKEY key, std::vector<RenamePair>& pairs, DWORD& type) {
    DWORD size = 0;
    if (RegQueryValueExW(key, kPendingRenamesValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::vector<wchar_t> units(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(units.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, kPendingRenamesValue, nullptr, &type, reinterpret_cast<BYTE*>(units.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    units.resize(size / sizeof(wchar_t));
    pairs = parse_pairs(units);
    return true;
}

// "\??\C:\x" -> "C:\x"; "!" in front of a target is taken off first.
std::wstring plain_path(std::wstring text) {
    if (!text.empty() && text.front() == L'!') text.erase(0, 1);
    if (text.rfind(L"\\??\\", 0) == 0) text.erase(0, 4);
    return text;
}

std::wstring full_path(const wchar_t* path) {
    wchar_t full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameW(path, MAX_PATH * 2, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 2) return path;
    return std::wstring(full, length);
}

bool runs_under_wow64() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

std::wstring path_at_boot(const wchar_t* path) {
    const std::wstring full = full_path(path);
    if (!runs_under_wow64()) return full;
    wchar_t system[MAX_PATH];
    wchar_t wow64[MAX_PATH];
    const UINT system_units = GetSystemDirectoryW(system, MAX_PATH);
    const UINT wow64_units = GetSystemWow64DirectoryW(wow64, MAX_PATH);
    if (system_units == 0 || system_units >= MAX_PATH || wow64_units == 0 || wow64_units >= MAX_PATH) return full;
    // Only the folder itself and what lies below it: "system32x" is another folder.
    if (full.size() <= system_units || full[system_units] != L'\\' ||
        !same_name(full.substr(0, system_units).c_str(), system))
        return full;
    // Windows doesn't redirect these folders: a 32-bit program reaches the
    // 64-bit system's own.
    const std::wstring rest = full.substr(system_units + 1);
    for (const wchar_t* shared : {L"catroot\\", L"catroot2\\", L"drivers\\etc\\", L"logfiles\\", L"spool\\"})
        if (rest.size() > std::wcslen(shared) && same_name(rest.substr(0, std::wcslen(shared)).c_str(), shared))
            return full;
    return std::wstring(wow64, wow64_units) + full.substr(system_units);
}

bool schedule_replacement(const wchar_t* staged, const wchar_t* target) {
    // The staged copy lies beside its target, so both names are translated.
    return MoveFileExW(path_at_boot(staged).c_str(), path_at_boot(target).c_str(),
                       MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool schedule_deletion(const wchar_t* path) {
    return MoveFileExW(path_at_boot(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool cancel_scheduled_replacement(const wchar_t* staged) {
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return false;
    std::vector<RenamePair> pairs;
    DWORD type = REG_MULTI_SZ;
    if (!read_pairs(key.get(), pairs, type)) return false;
    const std::wstring source = path_at_boot(staged);
    // The system appends each request: the newest for `staged` is the last.
    std::size_t newest = pairs.size();
    for (std::size_t i = 0; i < pairs.size(); ++i)
        if (same_name(plain_path(pairs[i].first), source)) newest = i;
    if (newest == pairs.size()) return false;
    std::vector<wchar_t> kept;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (i == newest) continue;
        const RenamePair& pair = pairs[i];
        kept.insert(kept.end(), pair.first.begin(), pair.first.end());
        kept.push_back(L'\0');
        kept.insert(kept.end(), pair.second.begin(), pair.second.end());
        kept.push_back(L'\0');
    }
    if (kept.empty()) {
        RegDeleteValueW(key.get(), kPendingRenamesValue);
        return true;
    }
    kept.push_back(L'\0');
    return RegSetValueExW(key.get(), kPendingRenamesValue, 0, type, reinterpret_cast<const BYTE*>(kept.data()),
                          static_cast<DWORD>(kept.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

std::wstring scheduled_target(const wchar_t* staged) {
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return {};
    std::vector<RenamePair> pairs;
    DWORD type = 0;
    if (!read_pairs(key.get(), pairs, type)) return {};
    const std::wstring source = path_at_boot(staged);
    for (const RenamePair& pair : pairs)
        if (same_name(plain_path(pair.first), source)) return plain_path(pair.second);
    return {};
}

}  // namespace install
