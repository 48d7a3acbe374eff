#include "processes.h"

#include "handles.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace uidriver {

namespace {

using QueryInformationProcess = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);

QueryInformationProcess query_function() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return nullptr;
    return reinterpret_cast<QueryInformationProcess>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
}

template <class T>
bool read_remote(HANDLE process, const void* address, T& value) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, address, &value, sizeof value, &done) && done == sizeof value;
}

// The command line from the process's parameter block, found through its
// PEB (Wine has no ProcessCommandLineInformation query). The layouts are
// this program's own, so the other process must be of the same bitness.
std::wstring command_line_of(HANDLE process) {
    static const QueryInformationProcess query = query_function();
    if (query == nullptr) return {};
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG size = 0;
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, &size) < 0) return {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (basic.PebBaseAddress == nullptr || !read_remote(process, basic.PebBaseAddress, peb) ||
        peb.ProcessParameters == nullptr ||
        !read_remote(process, peb.ProcessParameters, parameters))
        return {};
    const UNICODE_STRING& line = parameters.CommandLine;
    if (line.Buffer == nullptr || line.Length == 0) return {};
    std::wstring text(line.Length / sizeof(wchar_t), L'\0');
    SIZE_T done = 0;
    if (!ReadProcessMemory(process, line.Buffer, text.data(), line.Length, &done)) return {};
    text.resize(done / sizeof(wchar_t));
    return text;
}

std::wstring image_path_of(HANDLE process) {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process, 0, path, &size)) return {};
    return std::wstring(path, size);
}

}  // namespace

std::vector<ProcessInfo> list_processes() {
    std::vector<ProcessInfo> result;
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return result;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        ProcessInfo info;
        info.pid = entry.th32ProcessID;
        info.parent_pid = entry.th32ParentProcessID;
        info.image_path = entry.szExeFile;
        Handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, info.pid));
        if (process) {
            const std::wstring full = image_path_of(process.get());
            if (!full.empty()) info.image_path = full;
            info.command_line = command_line_of(process.get());
        }
        result.push_back(std::move(info));
    }
    return result;
}

}  // namespace uidriver
