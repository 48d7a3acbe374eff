#pragma once
// The install run: the six numbered steps from an extracted package tree to
// an installed IME, each reported as a row of the page's step list with a
// position of its progress bar. It serves the wizard (on a worker thread)
// and repair (on its dialog's thread); it never touches the caller's
// buttons, the caller acts on the result.
//
// A step that fails ends the run and everything the run changed is undone
// (newest first, through the run's journal) before the failure row is
// posted: a failed first install leaves nothing behind, a failed repair
// leaves the product as it was before.

#include "install/install_run.h"

namespace install {

// The rows, exactly as the user sees them.
inline constexpr wchar_t kRowVerifying[] = L"验证安装信息....";
inline constexpr wchar_t kRowStarting[] = L"开始安装....";
inline constexpr wchar_t kRowPlaceFiles[] = L"  1.创建文件系统....";
inline constexpr wchar_t kRowEnvironment[] = L"  2.设置软件运行环境...";
inline constexpr wchar_t kRowUninstallEntry[] = L"  3.写入卸载信息...";
inline constexpr wchar_t kRowBackup[] = L"  4.备份安装数据...";
inline constexpr wchar_t kRowShortcuts[] = L"  5.创建开始菜单及桌面快捷方式...";
inline constexpr wchar_t kRowCleanUp[] = L"  6.清除安装程序创建的临时文件...";
inline constexpr wchar_t kRowDone[] = L"安装程序已经完成所有工作!";
inline constexpr wchar_t kRowDoneAfterRestart[] = L"安装程序已经完成所有工作,但部分设置在重新启动以后方能生效!";
inline constexpr wchar_t kRowFailed[] = L"安装程序发生错误，所做操作已经撤销!";

// The kept package in the install folder, from which repair reinstalls.
inline constexpr wchar_t kBackupPackageName[] = L"_backup_.dat";
inline constexpr wchar_t kInstallInfoName[] = L"InstallInfo.dif";
// The journal's copies of overwritten files, inside the workspace.
inline constexpr wchar_t kJournalFolderName[] = L"ZZ_JOURNAL\\";

// Runs the install into `install_dir` (copied into the record, cut at 259
// units, a backslash appended when it fits) with the owner and company the
// uninstall entry records. Rows and positions: "验证安装信息...." 0,
// "开始安装...." 1, step 1 at 2 (place_files), step 2 at 42 (vendor keys,
// register_ime), step 3 at 72 (uninstall entry), step 4 at 82
// (backup_package), step 5 at 82 (create_shortcuts), step 6 at 95
// (finish_install), then "安装程序已经完成所有工作!" at 100 (or the
// restart row when run.restart_needed is set). 1 when every step ran.
//
// When a step fails: the journal is rolled back, "安装程序发生错误，所做操作已经撤销!"
// is posted with the bar left where the failed step put it, finish_install
// runs, and the result is 0. Without a journal in the record the run keeps
// one of its own (its backups under the workspace) for its length; a
// journal the caller gave is rolled back or committed, never deleted.
int run_install(InstallRun& run, const wchar_t* install_dir, const wchar_t* owner, const wchar_t* company);

// Step 4: copies the run context's package file onto "<install
// dir>_backup_.dat" through place_file (beside it, then renamed over an
// earlier one; in use, it is replaced at the next restart). 1 when it is
// in place or staged, or when the two are the same file (repair keeps its
// package in place); else 0, with the failure told to the run's report.
int backup_package(InstallRun& run);

// Step 6 and the clean-up of a failed run: deletes "<install
// dir>InstallInfo.dif", removes the run context's workspace and the
// protected-mode shadow copies of the product's data. Can't fail.
void finish_install(InstallRun& run);

}  // namespace install
