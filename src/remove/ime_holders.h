#pragma once
// Finding the running processes that have the IME file loaded: nothing may
// replace or remove that file while a program holds it.

#include <windows.h>

#include <vector>

namespace removal {

inline constexpr int kHolderNameUnits = 100;

// One process that holds the IME file.
struct HolderProcess {
    wchar_t name[kHolderNameUnits];  // base name of its main module; empty when unreadable
    DWORD id;                        // the system's process identifier
};

// True when `module_path` ends with `file_name`, without regard to case:
// also when the name begins inside a longer file name ("xabc.ime" ends
// with "abc.ime"). An empty path or name never matches.
bool path_ends_with(const wchar_t* module_path, const wchar_t* file_name);

// True when process `id` has a module whose full path ends with
// `file_name` (at most the first 1024 modules are examined). False when
// the process can't be opened for query and memory reading or its modules
// can't be listed.
bool process_holds(DWORD id, const wchar_t* file_name);

// The processes that hold `file_name`, in the order the system lists their
// identifiers. `skip_id` (the caller's own process) is never listed:
// ending it would end the program that asked. Processes that can't be
// opened are passed over; when the process list itself can't be read the
// result is empty.
std::vector<HolderProcess> find_ime_holders(const wchar_t* file_name, DWORD skip_id);

// The base name of process `id`'s main module, read in the system's ANSI
// code page and converted; empty when the process or the name can't be
// read.
void main_module_name(DWORD id, wchar_t (&name)[kHolderNameUnits]);

}  // namespace removal
