#pragma once
// The rights installed files get, and removing the per-user shadow copies
// that the browser's protected mode makes of the product's common data
// folder.
//
// One rule decides the rights: below the common data area
// ("<common application data>\ZinzinIMEs\") the input method keeps the
// data it writes while it runs inside ordinary users' programs, so Users
// get modify rights there. Everything else the program places (the IME
// file, "Unstall.exe", the kept package, libraries, the relaunched copy)
// is code or feeds code that runs elevated: it gets the default rights of
// its folder, under which Users may read and run it but not change it.
//
// A failed security call leaves one line on the standard output (which a
// windowed program doesn't show), e.g. "GetFileSecurity() failed. Error 2".

#include <windows.h>

namespace install {

// Adds to the discretionary access list of the file or folder at `path`
// an entry that allows the Users group (S-1-5-32-545) modify rights
// (kUsersAccessMask), inherited by files and folders inside; an explicit
// entry Users had before is replaced, inherited ones stay (see
// build_granted_descriptor). 1 when the new list was written to the
// object, else 0. For data only.
int grant_users_access(const wchar_t* path);

// Gives the file or folder at `path` the default rights of its folder: its
// explicit entries go (among them any Users entry an earlier install gave
// it) and it inherits its folder's entries again. 1 when the system took
// the new list, else 0 with the line "SetNamedSecurityInfo() failed.
// Error %d".
int restore_default_rights(const wchar_t* path);

// True when `path` lies below "<common application data>\ZinzinIMEs\":
// the data area, where Users may write.
bool is_in_data_area(const wchar_t* path);

// The rights an installed file or folder gets, by the rule above:
// grant_users_access inside the data area (unless the path passes through
// a link, which could lead anywhere), restore_default_rights elsewhere.
// Its result.
int apply_install_rights(const wchar_t* path);

// Copies `existing` to `new_file` (`fail_if_exists` as for CopyFileW) and
// gives the copy its rights (apply_install_rights). When the two paths are
// the same text (exact, case-sensitive) nothing is copied and the result is
// 1. Otherwise 0 when the copy failed, else the result of the rights call
// (the copy stays either way).
int copy_file_granting_users(const wchar_t* existing, const wchar_t* new_file, BOOL fail_if_exists);

// Which rights a file was given. Wine keeps no access lists to read back,
// so the program's tests watch the calls instead: a watcher set here sees
// every apply_install_rights, grant_users_access and
// restore_default_rights call with its path. Null (the default) watches
// nothing.
enum class GivenRights { FolderDefault, UsersModify };
using RightsWatcher = void (*)(const wchar_t* path, GivenRights rights);
void set_rights_watcher(RightsWatcher watcher);

// Removes "<temporary internet files>\Virtualized\<d>\ProgramData\ZinzinIMEs\"
// of the current user for each drive letter d from "c" to "y", through
// remove_directory_tree. Nothing when the user's temporary-internet-files
// folder, or its "Virtualized" folder, doesn't exist. Reports nothing.
void clean_virtualized_store();

}  // namespace install
