#include "remote_memory.h"

#include "driver_error.h"
#include "window_query.h"

#include <vector>

namespace uidriver {

namespace {

// Processes share the structures' layout when both or neither run under
// WOW64 (a 32-bit program on 64-bit Windows).
bool runs_under_wow64(HANDLE process) {
    BOOL wow64 = FALSE;
    return IsWow64Process(process, &wow64) && wow64;
}

}  // namespace

RemoteMemory::RemoteMemory(HWND window, size_t size) : size_(size) {
    const DWORD pid = pid_of(window);
    process_ = Handle(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                      PROCESS_QUERY_LIMITED_INFORMATION,
                                  FALSE, pid));
    if (!process_)
        fail(L"can't open process " + std::to_wstring(pid) + L" to read its controls (error " +
             std::to_wstring(GetLastError()) + L")");
    if (runs_under_wow64(process_.get()) != runs_under_wow64(GetCurrentProcess()))
        fail(L"process " + std::to_wstring(pid) +
             L" is of another bitness than the driver: use the driver built for it");
    base_ = VirtualAllocEx(process_.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (base_ == nullptr)
        fail(L"can't reserve memory in process " + std::to_wstring(pid) + L" (error " +
             std::to_wstring(GetLastError()) + L")");
}

RemoteMemory::~RemoteMemory() {
    if (base_ != nullptr) VirtualFreeEx(process_.get(), base_, 0, MEM_RELEASE);
}

void RemoteMemory::write(size_t offset, const void* data, size_t size) {
    SIZE_T done = 0;
    if (offset + size > size_ ||
        !WriteProcessMemory(process_.get(), at(offset), data, size, &done) || done != size)
        fail(L"can't write into the other process's memory");
}

void RemoteMemory::read(size_t offset, void* data, size_t size) const {
    SIZE_T done = 0;
    if (offset + size > size_ ||
        !ReadProcessMemory(process_.get(), at(offset), data, size, &done) || done != size)
        fail(L"can't read the other process's memory");
}

std::wstring RemoteMemory::read_string(const void* address, size_t max_units) const {
    std::vector<wchar_t> buffer(max_units + 1, L'\0');
    SIZE_T done = 0;
    // A pointer near the end of a region reads short; what was read is kept.
    ReadProcessMemory(process_.get(), address, buffer.data(), max_units * sizeof(wchar_t), &done);
    buffer[done / sizeof(wchar_t)] = L'\0';
    return std::wstring(buffer.data());
}

}  // namespace uidriver
