#pragma once
// The temporary workspace and the relaunch from the temporary folder.
//
// The installer never works from the place where the user started it: the
// first process copies itself to "<temp>\___zinzin_install_base___.exe",
// starts that copy with "<arguments> file=<its own path>" and ends. The
// copy works in "<temp>\__ZZIMEInstall\": it cuts a scratch copy of its
// own file into the bare uninstaller and the enciphered package, extracts
// the package into "ZZ_INSTALL\" there, and at the end has the command
// interpreter delete its own file once it has ended.
//
// Routines return non-zero for success and 0 for failure; none of them
// shows anything except relaunch_from_temp (its two "初始化错误" boxes).
// Paths are at most 259 characters: a workspace path that would be cut is
// never used, because a cut name would be another file or folder (one the
// clean-up would then remove).

#include <cstddef>

#include "app/records.h"

namespace app {

inline constexpr wchar_t kTemporaryCopyName[] = L"___zinzin_install_base___.exe";
inline constexpr wchar_t kWorkspaceFolderName[] = L"__ZZIMEInstall\\";
inline constexpr wchar_t kFallbackWorkspaceDir[] = L"c:\\temp\\__ZZIMEInstall\\";
inline constexpr wchar_t kScratchCopyFormat[] = L"%lszzinstallbaseexe.tmp";
inline constexpr wchar_t kPackageFileFormat[] = L"%lszzinstallbaseexe.cab";
inline constexpr wchar_t kUninstallerFormat[] = L"%lsunstall.exe";
inline constexpr wchar_t kExtractFolderFormat[] = L"%lsZZ_INSTALL\\";
inline constexpr wchar_t kRelaunchArgumentsFormat[] = L"%ls file=%ls";
// Interpreter commands are formatted into 520 units.
inline constexpr std::size_t kCommandUnits = 2 * kPathUnits;

// Sets run.workspace_dir to the temporary folder followed by
// "__ZZIMEInstall\" ("c:\temp\__ZZIMEInstall\" when the temporary folder
// can't be read) and creates it. Non-zero when it is a folder afterwards.
// A temporary folder too long for the name leaves workspace_dir empty.
int make_workspace_dir(RunContext& run);

enum class Relaunch { Continue, Stop };

// Whether `module_path` is the temporary copy: it holds the copy's file
// name (exact case), wherever it lies.
bool is_temporary_copy(const wchar_t* module_path);

// The temporary copy's path: the temporary folder, a backslash when it has
// none, and kTemporaryCopyName. False (path empty) when the temporary
// folder can't be read or the whole would reach 260 characters.
bool temporary_copy_path(wchar_t (&path)[kPathUnits]);

// The relaunch check, with `arguments` the command line without the
// program name. In the temporary copy: run.command_line := arguments (cut
// at 259 characters), Continue. Elsewhere: copy run.module_path to the
// temporary copy (an older copy is replaced, also a read-only one), give
// Users full access to it, start it through the shell with
// "<arguments> file=<module_path>" (kept in run.command_line), and Stop.
// A copy that can't be made or started is reported in a message box
// ("初始化错误") and ends in Stop as well.
Relaunch relaunch_from_temp(RunContext& run, const wchar_t* arguments);

// Install mode: copies run.module_path to the scratch copy (kept in
// run.source_path), splits it (split_module) and deletes it again. 0 when
// the workspace doesn't exist or the copy or the split fails.
int prepare_package(RunContext& run);

// Cuts the scratch copy (run.source_path) at the package offset stored in
// its image header: the part before it becomes run.uninstaller_path (a
// certificate table at its end left out, its certificate entry cleared and
// its checksum put right), the package, exactly as long as its header says,
// run.package_path (both in the workspace); whatever follows the package
// (the table of a signed installer) is left behind. 0, with nothing
// written, when the file can't be mapped, its header can't be read, the
// offset is 0 or at or past the end of the file, or the package is shorter
// than its header says; 0 when either part can't be written. Non-zero when
// the package file exists afterwards.
int split_module(RunContext& run);

// Extracts the enciphered package run.package_path into run.extract_dir
// (set to the workspace's "ZZ_INSTALL\"), after removing an earlier
// extraction there. 0 when that folder can't be cleared, the decoder
// can't be had, or the package isn't a whole "CRYP" package sealed with
// the program's key (a plain cabinet is refused). Also used by repair
// with package_path naming the kept backup. Files extracted before a
// failure stay (inside extract_dir).
int unpack_package(RunContext& run);

// Has the command interpreter delete the running executable once this
// process has ended: "<COMSPEC>" /c del "<short path>", started hidden,
// at idle priority, after this process has raised its own priority and
// cleared the file's read-only attribute; nothing waits for it. 0, with
// nothing started, when the path, COMSPEC or the short path can't be had
// or can't be quoted safely.
int schedule_self_delete();

// The same for any file (schedule_self_delete passes its own path).
int schedule_file_delete(const wchar_t* path);

// "<comspec>" /c del "<short_path>" into `command`; false (command empty)
// when it doesn't fit or either path can't stand between quotes.
bool format_delete_command(wchar_t (&command)[kCommandUnits], const wchar_t* comspec, const wchar_t* short_path);

}  // namespace app
