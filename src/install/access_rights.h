#pragma once
// Opening installed files to the local Users group, and removing the
// per-user shadow copies that the browser's protected mode makes of the
// product's common data folder.
//
// A failed security call leaves one line on the standard output (which a
// windowed program doesn't show), e.g. "GetFileSecurity() failed. Error 2".

#include <windows.h>

namespace install {

// Adds to the discretionary access list of the file or folder at `path`
// an entry that allows the account "Users" (looked up by name on the
// local system) full access (GENERIC_ALL), inherited by files and folders
// inside; an explicit entry Users had before is replaced, inherited ones
// stay (see build_granted_descriptor). 1 when the new list was written to
// the object, else 0; 0 without a line when "Users" is found without
// buffers (it can't be), or can't be found.
int grant_users_access(const wchar_t* path);

// Copies `existing` to `new_file` (`fail_if_exists` as for CopyFileW) and
// opens the copy to Users. When the two paths are the same text (exact,
// case-sensitive) nothing is copied and the result is 1. Otherwise 0 when
// the copy failed, else the result of grant_users_access on the copy (the
// copy stays either way).
int copy_file_granting_users(const wchar_t* existing, const wchar_t* new_file, BOOL fail_if_exists);

// Removes "<temporary internet files>\Virtualized\<d>\ProgramData\ZinzinIMEs\"
// of the current user for each drive letter d from "c" to "y", through
// remove_directory_tree. Nothing when the user's temporary-internet-files
// folder doesn't exist. Reports nothing.
void clean_virtualized_store();

}  // namespace install
