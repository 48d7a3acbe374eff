#pragma once
// Memory inside another process, for the control messages whose pointers
// the system passes on unchanged (list-view items, tab items, columns): the
// structure and its text buffer must live in the control's own process.

#include "handles.h"

#include <windows.h>

#include <cstddef>
#include <string>

namespace uidriver {

class RemoteMemory {
public:
    // Reserves `size` bytes in the process that owns `window`. Fails (exit
    // code 1) when the process can't be opened or is of another bitness:
    // the structures written here have this program's own layout.
    RemoteMemory(HWND window, size_t size);
    ~RemoteMemory();
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    // The address as the other process sees it.
    void* at(size_t offset) const { return static_cast<char*>(base_) + offset; }
    void write(size_t offset, const void* data, size_t size);
    void read(size_t offset, void* data, size_t size) const;
    // Reads a terminated string of at most `max_units` from any address of
    // the other process (controls may answer with a pointer of their own).
    std::wstring read_string(const void* address, size_t max_units) const;

private:
    Handle process_;
    void* base_ = nullptr;
    size_t size_ = 0;
};

}  // namespace uidriver
