#pragma once
// Step 1 of the install run: the extracted package tree goes to its
// places. Four top-level folders of the tree are path macros: "$system32$"
// (the system folder), "$windows$" (the Windows folder), "$fonts$" (the
// Fonts folder, registered) and "$dataFiles$" (the product's data folder
// below the common application data folder); everything else goes to the
// install folder, and the bare uninstaller follows as "unstall.exe". A
// top-level "unstall.exe" in the tree (the signed installer program the
// package carries) is placed instead when it is the running program, and
// never lands in the install folder otherwise.
//
// A file that can't be replaced now (in use) is staged beside its target
// and replaces it at the next restart; the run's restart_needed is set.
// With the run's journal, every file written, folder created, staged copy
// and scheduled replacement is recorded for undoing.

#include "install/install_run.h"

namespace install {

inline constexpr wchar_t kSystemMacro[] = L"$system32$";
inline constexpr wchar_t kWindowsMacro[] = L"$windows$";
inline constexpr wchar_t kFontsMacro[] = L"$fonts$";
inline constexpr wchar_t kDataFilesMacro[] = L"$dataFiles$";
// The uninstaller's name in the install folder.
inline constexpr wchar_t kUninstallerName[] = L"unstall.exe";
// Added to a target's name for the copy that replaces it at the restart.
inline constexpr wchar_t kStagedSuffix[] = L".pending";

// Places the run context's extracted tree: the macro folders in the order
// above (each removed from the tree afterwards; "$dataFiles$" stays when
// the data folder can't be named), then the rest into the install folder,
// then the uninstaller. Non-zero when "<install dir>unstall.exe" exists
// afterwards, else 0; also 0, with nothing written, when the run has no
// context or its install folder isn't an absolute folder path ending in a
// backslash (a cut one).
int place_files(InstallRun& run);

// Moves (keep = 0) or copies the tree below `source` into `target`,
// creating `target` with every missing level. Folders whose names begin
// with a dot are skipped; a file whose source and target are the same
// text is left untouched; an entry whose joined path wouldn't fit 259
// units is skipped. 1 when the tree was walked, 0 when `target` couldn't
// be created. `run` (may be null) supplies the journal and takes the
// restart-needed flag.
int copy_tree(const wchar_t* source, const wchar_t* target, int keep, InstallRun* run = nullptr);

// How one file reached its place.
enum class Placement { Copied, Scheduled, Failed };

// Copies `source` onto `target` (overwriting; a read-only target is
// replaced too) and opens the copy to Users. When the target can't be
// replaced now, the source is copied to "<target>.pending" and scheduled
// to replace the target at the next restart (run->restart_needed = 1).
// A copy whose Users grant fails stays in place and counts as copied.
Placement place_file(const wchar_t* source, const wchar_t* target, InstallRun* run);

// Creates every missing level of `folder`, recording each level it made
// in `journal` (may be null). true when `folder` is a folder afterwards.
bool create_folder_levels(const wchar_t* folder, InstallJournal* journal);

}  // namespace install
