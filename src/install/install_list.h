#pragma once
// The list of what an install placed in its install folder, kept next to
// the kept package as "_installed_.lst". The removal reads it to know which
// files are the product's: a folder that held other files before the
// install (the user's own) loses only those, never the rest.
//
// The file is UTF-8 text, one item a line:
//   product=<IME name>
//   folder=own        the install made the folder, or found it empty
//   folder=shared     the folder held other files when the install came
//   <relative path>   one line per file the install placed there
// A line that isn't one of these makes the whole list unusable: a list
// that can't be read whole names nothing.

#include <windows.h>

#include <string>
#include <vector>

namespace install {

struct InstallRun;

inline constexpr wchar_t kInstallListName[] = L"_installed_.lst";

struct InstallList {
    std::wstring product;
    bool folder_own = false;
    std::vector<std::wstring> files;  // relative to the install folder, each a plain relative path
};

// True when `relative` names a file below a folder and nothing else: not
// empty, no drive, no leading separator, no empty, "." or ".." part, no
// "/" or ":" (which could name a stream or another drive).
bool is_plain_relative_path(const std::wstring& relative);

// The list of `folder` (with or without a trailing backslash). False when
// it is missing, can't be read, is longer than a list can be, or holds a
// line it doesn't know: then `list` is empty.
bool read_install_list(const wchar_t* folder, InstallList& list);

// What the run knows before it places anything: whether the install folder
// is the product's own (missing, empty, or listed as its own by an earlier
// install of the same product) and the files an earlier install of the
// same product listed, which stay on the new list.
void note_install_folder(InstallRun& run);

// A file the run placed at `target`: listed when it lies in the install
// folder.
void note_placed_file(InstallRun& run, const wchar_t* target);

// Writes the run's list into the install folder (journaled, so that a
// failed run takes it back; written beside the old list and renamed over
// it, each file named once). False when it couldn't be written: without
// it a later removal couldn't tell the product's files from others.
bool write_install_list(InstallRun& run);

}  // namespace install
