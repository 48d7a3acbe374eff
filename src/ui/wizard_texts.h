#pragma once
// What the install wizard and its pages say to the user, in one place.

namespace ui {

// The wizard (template 138).
inline constexpr wchar_t kWizardTitleFormat[] = L"欢迎使用 %ls 安装程序";
inline constexpr wchar_t kInstallNowText[] = L"立即安装(&S)";
inline constexpr wchar_t kInstallDoneText[] = L"完成安装(&O)";
inline constexpr wchar_t kInstallQuitText[] = L"退出安装(&O)";
inline constexpr wchar_t kDirectoryTabText[] = L"安装目录";
inline constexpr wchar_t kUserTabText[] = L"用户信息";
// The licence link, drawn by the wizard: the caption without the
// accelerator's ampersand.
inline constexpr wchar_t kLicenceLinkText[] = L"查看许可协议(L)";

inline constexpr wchar_t kImeLoadedCaption[] = L"无法执行的操作";
inline constexpr wchar_t kImeLoadedText[] =
    L"由于您的计算机中存在一个当前输入法的副本，所以您必须关闭加载当前输入法的所有进程，然后重试该操作。";
inline constexpr wchar_t kDirectoryExistsCaption[] = L"是否继续？";
inline constexpr wchar_t kDirectoryExistsText[] = L"所选安装目录已经存在，如果继续，安装程序将覆盖当前目录？";
inline constexpr wchar_t kDirectoryFailedCaption[] = L"安装错误？";
inline constexpr wchar_t kDirectoryFailedFormat[] = L"所选安装目录:\r\n%ls\r\n未能创建，请确定您的当前用户对该目录的访问权限！";

// The progress page (template 143).
inline constexpr wchar_t kProgressColumnText[] = L"安装详细信息";

// The directory page (template 130).
inline constexpr wchar_t kBrowseTitle[] = L"请选择安装目录...";
inline constexpr wchar_t kDirectoryLockedCaption[] = L"现在无法更改安装目录。";
inline constexpr wchar_t kDirectoryLockedText[] = L"当前计算机存在一个已经安装的副本，如需更改安装目录，请首先卸载以往版本。";

// The licence page (template 136).
inline constexpr wchar_t kLicenceTitleFormat[] = L"%ls - 最终用户许可协议";
inline constexpr wchar_t kLicenceFileName[] = L"License.html";
inline constexpr wchar_t kHelpFileName[] = L"main.chm";
inline constexpr wchar_t kLicenceInHelpFormat[] = L"mk:@MSITStore:%lsmain.chm::/License.html";

}  // namespace ui
