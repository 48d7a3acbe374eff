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
// No installed file is ever written in place: a file moves from the
// extracted tree onto its target in one rename, or (across volumes) is
// copied beside the target and renamed over it, so that a run stopped at
// any moment leaves either the old file or the whole new one. A file that
// can't be replaced now (in use) is staged beside its target and replaces
// it at the next restart; the run's restart_needed is set. A file that can
// be neither placed nor staged (a full disk, a read-only destination) ends
// the placement with its Windows error told to the run's report: the run
// fails and is undone. With the run's journal, every file written, folder
// created, staged copy and scheduled replacement is recorded for undoing.

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
// then the uninstaller. Non-zero when every file was placed or staged and
// "<install dir>unstall.exe" exists afterwards; 0 at the first file that
// couldn't be (the rest stays in the tree); also 0, with nothing written,
// when the run has no context or its install folder isn't an absolute
// folder path ending in a backslash (a cut one).
int place_files(InstallRun& run);

// Moves (keep = 0) or copies the tree below `source` into `target`,
// creating `target` with every missing level, each file through
// place_file. Folders whose names begin with a dot are skipped; a file
// whose source and target are the same text is left untouched. 1 when
// every file was placed or staged; 0 at the first that couldn't be (an
// entry whose joined path wouldn't fit 259 units among them), when
// `target` couldn't be created or `source` couldn't be read: the files not
// yet handled stay in `source`. `run` (may be null) supplies the journal
// and the report and takes the restart-needed flag.
int copy_tree(const wchar_t* source, const wchar_t* target, int keep, InstallRun* run = nullptr);

// How one file reached its place.
enum class Placement { Placed, Scheduled, Failed };
// Whether the source stays (copy) or goes once its file is in place (move).
enum class Transfer { copy, move };

// Puts `source` in place of `target` (a read-only target is replaced too)
// without ever writing into `target`: moved in one rename when `transfer`
// is move and both lie on one volume, else copied into a new file beside
// the target and renamed over it. The placed file gets its rights
// (apply_install_rights); a file whose rights can't be set stays in place
// and counts as placed. When the target can't be replaced now (held by a
// program, or its old content can't be kept for undoing), the new file
// goes to "<target>.pending" the same way and is scheduled to replace the
// target at the next restart (run->restart_needed = 1). Failed, with the
// Windows error as the thread's last error and told to the run's report,
// when neither worked: the target is as it was and the source where it was.
Placement place_file(const wchar_t* source, const wchar_t* target, InstallRun* run,
                     Transfer transfer = Transfer::copy);

// Creates every missing level of `folder`, recording each level it made
// in `journal` (may be null). true when `folder` is a folder afterwards;
// else false with the first failed creation's Windows error as the
// thread's last error.
bool create_folder_levels(const wchar_t* folder, InstallJournal* journal);

}  // namespace install
