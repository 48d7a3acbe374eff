#pragma once
// The temporary workspace and the relaunch from the temporary folder.
//
// The installer never works from the place where the user started it: the
// first process makes a private workspace, "<temp>\__ZZIMEInstall.<16
// random hex digits>\" (a new folder, only administrators and SYSTEM may
// write it when elevated, see private_folder.h), copies itself into it as
// "___zinzin_install_base___.exe", starts that copy with "<arguments>
// file=<its own path>" and ends. The copy works in its workspace: it cuts
// a scratch copy of its own file into the bare uninstaller and the
// enciphered package, extracts the package into "ZZ_INSTALL\" there, and
// at the end has the system's command interpreter delete its own file and
// the workspace once it has ended. The workspace is held open without
// delete sharing from its creation to the copy's end, so nobody renames
// it away and puts another folder or a link in its place.
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
inline constexpr wchar_t kWorkspaceFolderPrefix[] = L"__ZZIMEInstall.";
inline constexpr wchar_t kScratchCopyFormat[] = L"%lszzinstallbaseexe.tmp";
inline constexpr wchar_t kPackageFileFormat[] = L"%lszzinstallbaseexe.cab";
inline constexpr wchar_t kUninstallerFormat[] = L"%lsunstall.exe";
inline constexpr wchar_t kExtractFolderFormat[] = L"%lsZZ_INSTALL\\";
inline constexpr wchar_t kRelaunchArgumentsFormat[] = L"%ls file=%ls";
// Interpreter commands are formatted into 520 units.
inline constexpr std::size_t kCommandUnits = 2 * kPathUnits;

enum class Workspace { Made, Failed, Refused };

// Makes a new private workspace, "<temp>\__ZZIMEInstall.<random>\", into
// run.workspace_dir, and holds it open (inheritably, for the copy) for the
// rest of the process. Failed (workspace_dir empty) when the temporary
// folder can't be read, the name doesn't fit or the folder can't be
// created (also when something is there already); Refused when a level of
// its path is a reparse point (a junction or symbolic link).
Workspace make_workspace_dir(RunContext& run);

// In the copy: run.workspace_dir := the folder the copy runs from, when
// that is a workspace of the temporary folder ("<temp>\__ZZIMEInstall.
// <16 digits>\___zinzin_install_base___.exe"), no reparse point on the
// way, and holds it open. False (workspace_dir empty) otherwise.
bool adopt_workspace(RunContext& run);

// Lets go of the workspace this process made and removes it if it is
// empty (a relaunch that didn't get a copy started); workspace_dir empty.
void discard_workspace(RunContext& run);

// Lets go of the workspace this process made, leaving it in place (the
// copy started there holds it); workspace_dir still names it.
void release_workspace(RunContext& run);

// Whether this is the copy running in the workspace it adopted.
bool runs_in_own_workspace(const RunContext& run);

enum class Relaunch { Continue, Stop };

// Whether `module_path`'s file name is the temporary copy's (exact case).
bool is_temporary_copy(const wchar_t* module_path);

// The temporary copy's path: run.workspace_dir and kTemporaryCopyName.
// False (path empty) when there is no workspace or the whole would reach
// 260 characters.
bool temporary_copy_path(const RunContext& run, wchar_t (&path)[kPathUnits]);

// The relaunch check, with `arguments` the command line without the
// program name. In the copy running in its workspace (adopt_workspace):
// run.command_line := arguments (cut at 259 characters), Continue.
// Elsewhere: make a workspace (make_workspace_dir), copy run.module_path
// into it (the copy inherits the workspace's access list), start it with
// "<arguments> file=<module_path>" (kept in run.command_line), handing it
// the open workspace and this process's standard handles, wait for it to
// end and take its exit code as this run's, and Stop. Arguments that
// don't fit 259 characters with " file=<module_path>" end the run with
// kExitBadSwitches and a line saying so; nothing is started. A workspace or copy that can't be made,
// a workspace refused for a link on its path, or a copy that can't be
// started is reported in a message box ("初始化错误"); Stop as well.
Relaunch relaunch_from_temp(RunContext& run, const wchar_t* arguments);

// Install mode: splits the running program (split_module). The relaunched
// copy in its own workspace is split where it lies (run.source_path :=
// run.module_path); a program anywhere else is first copied to the scratch
// copy in the workspace (kept in run.source_path), split and deleted
// again. 0 when the workspace doesn't exist or the copy or the split fails.
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

// Has the system's command interpreter delete the running executable once
// this process has ended: "<system folder>\\cmd.exe" /c del "<short path>",
// and for the copy running in its workspace also the workspace: ... & rmdir
// "<short workspace>" /s /q. Started hidden, at idle priority, after this
// process has raised its own priority and cleared the file's read-only
// attribute; nothing waits for it. 0, with nothing started, when a path
// or its short form can't be had or can't be quoted safely.
int schedule_self_delete();

// The same for any file (schedule_self_delete passes its own path).
int schedule_file_delete(const wchar_t* path);

// "<interpreter>" /c del "<short_path>" into `command`, followed by
// & rmdir "<short_folder>" /s /q when `short_folder` isn't null; false
// (command empty) when it doesn't fit or a path can't stand between quotes.
bool format_delete_command(wchar_t (&command)[kCommandUnits], const wchar_t* interpreter, const wchar_t* short_path,
                           const wchar_t* short_folder = nullptr);

}  // namespace app
