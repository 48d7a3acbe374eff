#pragma once
// The system folder ("C:\Windows\System32", or SysWOW64 for a 32-bit
// program on 64-bit Windows) and the files the program takes from there
// only: the command interpreter and the libraries it loads at run time.
// Nothing is looked up through PATH, COMSPEC or the DLL search order,
// which the user's environment and the folder the program was started
// from could otherwise decide.

#include <windows.h>

#include <cstddef>

namespace support {

// The very first thing the program does: DLLs are looked for in the
// system folder only (SetDefaultDllDirectories with the system-folder
// flag). Where the system lacks that call (Windows 7 without its update)
// the current directory is at least taken out of the search
// (SetDllDirectoryW("")). False when neither could be done.
bool restrict_dll_search();

// "<system folder>\<name>" into `path` (`units` units). False, with `path`
// empty, when the folder can't be read or the whole doesn't fit.
bool system_file_path(const wchar_t* name, wchar_t* path, std::size_t units);

template <std::size_t N>
bool system_file_path(const wchar_t* name, wchar_t (&path)[N]) {
    return system_file_path(name, path, N);
}

// Loads the system folder's `name` by its full path, so no other folder
// is ever searched for it. Null (with the system's error code) when it
// can't be loaded.
HMODULE load_system_library(const wchar_t* name);

}  // namespace support
