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

// A switch that can't be read (exit code 87): the offending text follows.
inline constexpr wchar_t kBadSwitchFormat[] = L"无法识别的命令行参数：%ls\r\n用 /? 查看可用的参数。";
// The arguments and the program's own path together don't fit what the
// copy in the temporary folder is handed (exit code 87).
inline constexpr wchar_t kArgumentsTooLongText[] =
    L"命令行过长：参数与安装程序的路径合计超过 259 个字符，请缩短路径或参数。";

// The run's log can't be written (said once; the run goes on without it).
inline constexpr wchar_t kLogNotWrittenFormat[] = L"无法写入日志文件“%ls”（错误 %u），本次运行不记录日志。";

// Another run of this product's installer is going (exit code 1618).
inline constexpr wchar_t kAlreadyRunningText[] = L"此输入法的另一个安装程序正在运行，请等它结束后再试。";

// The help text (/? /help -h --help): on the console or in a message box.
inline constexpr wchar_t kHelpCaption[] = L"安装程序用法";
inline constexpr wchar_t kHelpText[] =
    L"用法：setup.exe [参数] [-u|-r|-g name=[产品名]]\r\n"
    L"  （无模式参数）     安装程序包中的输入法\r\n"
    L"  -u name=[产品名]   卸载   -r name=[产品名]  修复   -g name=[产品名]  更新\r\n"
    L"  /S 或 /quiet       静默运行，不显示任何窗口\r\n"
    L"  /accepteula        接受许可协议（静默安装必需）\r\n"
    L"  /closeapplications 允许结束占用输入法文件的程序\r\n"
    L"  /dir=[文件夹]      安装文件夹\r\n"
    L"  /owner=[用户名] /company=[单位]  用户信息\r\n"
    L"  /log=[文件]        日志文件（默认：临时文件夹中）\r\n"
    L"  /? /help           显示本说明\r\n"
    L"参数写在 -u/-r/-g 之前。退出码：0 成功，3010 成功但需重新启动，1602 用户取消，\r\n"
    L"1603 失败，1605 产品未安装，1618 本产品的另一个安装程序正在运行，87 参数错误。";

}  // namespace app
