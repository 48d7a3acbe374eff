#pragma once
// Folders that only this run may write: the workspace of an elevated run
// lies in the user's temporary folder, where every program of that user
// (elevated or not) can create, link and rename things.

#include <windows.h>

#include <cstddef>

#include "support/unique_handle.h"

namespace app {

// Whether this process runs with an elevated (administrator) token.
bool is_elevated();

// Creates `path` (one new folder, never an existing one: CreateDirectoryW
// fails when anything, a link included, is there already) with an access
// list of its own that isn't inherited from the temporary folder: full
// access for Administrators and SYSTEM when elevated, for the current user
// alone otherwise. What is made inside inherits it. False (with the
// system's error code) when the folder can't be made so.
bool create_private_folder(const wchar_t* path);

// Whether any existing level of `path` (a full path "X:\..."), from the
// first folder below the drive to the last, is a reparse point (a
// junction, a symbolic link, a mount point): work through one would land
// somewhere else than the path says.
bool has_reparse_point(const wchar_t* path);

// Opens the folder `path` so that, while the handle lives, nobody can
// rename or delete it (no delete sharing) and a link swapped in under its
// name can't take its place. Invalid when it can't be opened, isn't a
// folder, or is a reparse point. `inheritable`: a started copy keeps it.
support::UniqueHandle pin_folder(const wchar_t* path, bool inheritable);

// A new random text of `digits` hexadecimal digits (from the system's
// random number generator) into `text` (room for digits + 1 units).
// False when the generator fails.
bool random_hex(wchar_t* text, std::size_t digits);

}  // namespace app
