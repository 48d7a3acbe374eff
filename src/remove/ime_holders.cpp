#include "remove/ime_holders.h"

#include <psapi.h>

#include <cwchar>
#include <vector>

#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace removal {
namespace {

// How long ending the holders waits for them to go before the file is
// looked for again.
constexpr ULONGLONG kEndWaitMilliseconds = 1000;
// "<ime name>.zin.ime" whole for the longest IME name (39 characters).
constexpr std::size_t kSilentFileNameUnits = 48;
// The exit code a holder ended by a silent run gets: not 0, so that
// whoever waits for it doesn't take it for a normal end.
constexpr UINT kSilentEndExitCode = 1;

constexpr DWORD kFirstIdBufferBytes = 1024;
constexpr DWORD kModuleRoom = 1024;
constexpr DWORD kPathUnits = 260;
constexpr DWORD kAnsiNameBytes = 260;

support::UniqueHandle open_for_reading(DWORD id) {
    return support::UniqueHandle(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
}

// The process's program file and start time; false when either can't be read.
bool identity_of(HANDLE process, wchar_t (&image)[kHolderImageUnits], FILETIME& started) {
    DWORD units = kHolderImageUnits;
    if (!QueryFullProcessImageNameW(process, 0, image, &units)) return false;
    FILETIME exited{}, kernel{}, user{};
    return GetProcessTimes(process, &started, &exited, &kernel, &user) != 0;
}

// Critical processes (the session manager, the subsystem...) end the
// machine when they end. The test exists from Windows 8.1 on; without it
// the session check keeps the services out all the same.
bool is_critical(HANDLE process) {
    using IsProcessCriticalFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    static const auto test = reinterpret_cast<IsProcessCriticalFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsProcessCritical")));
    BOOL critical = FALSE;
    return test != nullptr && test(process, &critical) && critical;
}

DWORD own_session() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return session;
}

// True when the process has a module whose full path ends with
// `file_name` (at most the first 1024 modules are examined).
bool holds_through(HANDLE process, const wchar_t* file_name) {
    std::vector<HMODULE> modules(kModuleRoom);
    DWORD needed = 0;
    if (!EnumProcessModules(process, modules.data(), kModuleRoom * sizeof(HMODULE), &needed)) return false;
    DWORD count = needed / sizeof(HMODULE);
    if (count > kModuleRoom) count = kModuleRoom;
    for (DWORD i = 0; i < count; ++i) {
        wchar_t path[kPathUnits] = {};
        if (GetModuleFileNameExW(process, modules[i], path, kPathUnits) == 0) continue;
        path[kPathUnits - 1] = L'\0';
        if (path_ends_with(path, file_name)) return true;
    }
    return false;
}

// The base name of the process's main module, read in the system's ANSI
// code page and converted; empty when it can't be read.
void main_module_name_through(HANDLE process, wchar_t (&name)[kHolderNameUnits]) {
    name[0] = L'\0';
    HMODULE first = nullptr;
    DWORD needed = 0;
    if (!EnumProcessModules(process, &first, sizeof first, &needed) || first == nullptr) return;
    char ansi[kAnsiNameBytes] = {};
    if (GetModuleBaseNameA(process, first, ansi, kAnsiNameBytes) == 0) return;
    ansi[kAnsiNameBytes - 1] = '\0';
    // Converted whole first, then cut to the slot: a name longer than the
    // slot keeps its beginning.
    const int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    if (units <= 0) return;
    std::vector<wchar_t> wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide.data(), units) == 0) return;
    std::wcsncpy(name, wide.data(), kHolderNameUnits - 1);
    name[kHolderNameUnits - 1] = L'\0';
}

// Every process identifier the system lists. The buffer doubles while the
// system fills it completely (there may be more than it holds). Empty
// when the list can't be read.
std::vector<DWORD> process_ids() {
    std::vector<DWORD> ids;
    for (DWORD bytes = kFirstIdBufferBytes; bytes != 0 && bytes <= (1u << 30); bytes *= 2) {
        ids.assign(bytes / sizeof(DWORD), 0);
        DWORD returned = 0;
        if (!EnumProcesses(ids.data(), bytes, &returned)) return {};
        if (returned < bytes) {
            ids.resize(returned / sizeof(DWORD));
            return ids;
        }
    }
    return {};
}

}  // namespace

bool path_ends_with(const wchar_t* module_path, const wchar_t* file_name) {
    if (module_path == nullptr || file_name == nullptr) return false;
    const std::size_t path_length = std::wcslen(module_path);
    const std::size_t name_length = std::wcslen(file_name);
    if (path_length == 0 || name_length == 0 || name_length > path_length) return false;
    // Ordinal comparison without case: file names, not words of a language.
    return CompareStringOrdinal(module_path + (path_length - name_length), static_cast<int>(name_length), file_name,
                                static_cast<int>(name_length), TRUE) == CSTR_EQUAL;
}

std::vector<HolderProcess> find_ime_holders(const wchar_t* file_name, DWORD skip_id) {
    std::vector<HolderProcess> holders;
    const DWORD session = own_session();
    for (DWORD id : process_ids()) {
        if (id == skip_id) continue;
        DWORD its_session = 0;
        if (!ProcessIdToSessionId(id, &its_session) || its_session != session) continue;
        // One handle for everything read about this process: while it is
        // open the identifier can't pass to another process.
        const support::UniqueHandle process = open_for_reading(id);
        if (!process || is_critical(process.get()) || !holds_through(process.get(), file_name)) continue;
        HolderProcess holder{};
        holder.id = id;
        if (!identity_of(process.get(), holder.image, holder.started)) continue;  // couldn't be told apart later
        main_module_name_through(process.get(), holder.name);
        holders.push_back(holder);
    }
    return holders;
}

HANDLE end_listed_process(const HolderProcess& holder, UINT exit_code) {
    support::UniqueHandle process(
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, holder.id));
    if (!process) return nullptr;
    wchar_t image[kHolderImageUnits] = {};
    FILETIME started{};
    if (!identity_of(process.get(), image, started) || CompareFileTime(&started, &holder.started) != 0 ||
        CompareStringOrdinal(image, -1, holder.image, -1, TRUE) != CSTR_EQUAL)
        return nullptr;  // gone, and the identifier is another process's now
    if (!TerminateProcess(process.get(), exit_code)) return nullptr;
    return process.release();
}

void end_holders(const std::vector<HolderProcess>& holders, UINT exit_code) {
    std::vector<support::UniqueHandle> ended;
    for (const HolderProcess& holder : holders) {
        support::UniqueHandle process(end_listed_process(holder, exit_code));
        if (process) ended.push_back(std::move(process));
    }
    const ULONGLONG deadline = GetTickCount64() + kEndWaitMilliseconds;
    for (const support::UniqueHandle& process : ended) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        // A handle without the right to wait fails at once; the rescan
        // still finds out whether that process has gone.
        WaitForSingleObject(process.get(), static_cast<DWORD>(deadline - now));
    }
}

bool check_ime_unloaded_silently(const wchar_t* ime_name, bool may_end, support::RunReport& report) {
    wchar_t file_name[kSilentFileNameUnits];
    if (support::format_slot(file_name, L"%ls.zin.ime", ime_name != nullptr ? ime_name : L"") != support::kStatusOk)
        return false;
    std::vector<HolderProcess> holders = find_ime_holders(file_name, GetCurrentProcessId());
    if (holders.empty()) return true;
    for (const HolderProcess& holder : holders) {
        wchar_t what[2 * kHolderNameUnits];
        support::format_slot(what, L"%ls (%lu) holds %ls", holder.name, static_cast<unsigned long>(holder.id),
                             file_name);
        report.failure(what, ERROR_SHARING_VIOLATION);
    }
    if (!may_end) return false;
    end_holders(holders, kSilentEndExitCode);
    return find_ime_holders(file_name, GetCurrentProcessId()).empty();
}

}  // namespace removal
