#pragma once
// What the start-up says to the user: the error box when there is nothing
// it can do, and the two messages of a relaunch that can't be made.

namespace app {

// The error box of the start-up (no owner, error icon, one OK button).
inline constexpr wchar_t kStartupErrorCaption[] = L"安装程序提示信息";
inline constexpr wchar_t kStartupErrorText[] = L"程序无法执行任何操作，可能启动参数错误或者文件格式错误。";

// The relaunch from the temporary folder (error icon, no owner).
inline constexpr wchar_t kRelaunchErrorCaption[] = L"初始化错误";
inline constexpr wchar_t kRelaunchCopyFailedText[] = L"安装程序无法访问临时目录，将中止进程。";
inline constexpr wchar_t kRelaunchStartFailedText[] = L"安装程序位于临时目录中的副本无法运行，将中止进程。";
// The temporary folder's path runs through a junction or symbolic link:
// the workspace would land somewhere else than its path says.
inline constexpr wchar_t kWorkspaceRefusedText[] =
    L"临时目录的路径中含有链接（联接点或符号链接），安装程序拒绝在其中工作，将中止进程。";

}  // namespace app
