#pragma once
// Folder routines that most of the program uses: creating every level of a
// folder path, removing a whole folder tree, and naming the product's data
// folder. Paths are at most 259 characters (260-unit slots).

#include "app/records.h"

namespace app {

// Creates every missing level of `path`. Non-zero when `path` names a
// folder afterwards (also when it was there already). A path longer than
// 259 characters is refused with 0 and nothing created: its cut form
// would be another folder.
int make_directory_path(const wchar_t* path);

// Removes `folder` and everything in it, here and now: when this returns,
// what could go is gone (nothing is left running that removes more later).
// Links inside go as links, never followed. 0 when the folder doesn't
// exist or is refused (see is_protected_folder); otherwise non-zero,
// whether or not all of it could go (files in use stay, and the folders
// holding them). Callers go on either way: leftovers are removed by a
// later run.
//
// While it runs the current directory is "c:\" (so that this process
// doesn't hold the folder), restored afterwards.
int remove_directory_tree(const wchar_t* folder);

// The product's data folder: the common application data folder (created
// if missing), "\ZinzinIMEs\", the product name and "\". 1, or 0 with
// `path` empty when the common application data folder can't be found,
// the whole doesn't fit in 259 characters, or `product_name` isn't one
// plain folder name (empty, "." or "..", or holding "\", "/" or ":"):
// each of those would name another folder than the product's own.
int common_data_dir(wchar_t (&path)[kPathUnits], const wchar_t* product_name);

}  // namespace app
