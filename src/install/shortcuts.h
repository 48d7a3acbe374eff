#pragma once
// The product's shortcuts: a program folder named by the display name in
// the all-users Start menu, its subfolder "更多工具" for the less used
// tools, the settings shortcut on the current user's desktop, and the file
// the package asks to open when the install is done. Which shortcuts exist
// is decided by the package's shortcut_flags; the removal deletes the same
// names.

namespace install {

struct InstallRun;

// The subfolder of the program folder that holds the tools' shortcuts.
inline constexpr wchar_t kToolsFolderName[] = L"更多工具";

// The run's shortcut step. In the program folder "<Programs>\<display
// name>\": 0x80 "系统设置.lnk" (config.exe "/n '<ime>'"), 0x40 "使用帮助.lnk"
// (main.chm, no arguments), 0x20 "检查更新.lnk" (Unstall.exe
// "-g name=[<ime>]"); in "更多工具\" (created when any bit of 0x1F00 is
// set): 0x200 "码表查询.lnk", 0x100 "按键功能.lnk", 0x400 "添加用户词.lnk"
// (only when "danzi.zmi" is in the product's data folder), 0x1000
// "修复安装.lnk" (Unstall.exe "-r name=[<ime>]"), 0x800 "卸载软件.lnk"
// (Unstall.exe "-u name=[<ime>]"). Other bits are ignored. With 0x80 the
// settings shortcut also goes on the current user's desktop as
// "<display name>系统设置.lnk", the name the removal deletes there. Every
// shortcut works in the install folder and takes its icon from its
// target. Then the package's post_install_open file, if any, is opened
// with its default action.
//
// Always 1: a shortcut that can't be made is missing, and the step list
// gets the row kShortcutFailedRow naming it. A display
// name that isn't one plain folder name makes no shortcut at all (it would
// put them outside the Start menu's own folder). With a journal, every
// folder created and every link written is recorded.
int create_shortcuts(InstallRun& run);

// The row for a shortcut that couldn't be written; %ls is its path.
inline constexpr wchar_t kShortcutFailedRow[] = L"创建快捷方式失败：%ls";

// Writes one shell link at `link_path`: `target` with `arguments` (none
// when null), `working_dir`, `description`, the icon at `icon_index` of
// the target, shown normally. 1 when the link file was saved; 0 when it
// wasn't, or the component system or the link object couldn't be had.
int create_shell_link(const wchar_t* target, const wchar_t* description, const wchar_t* link_path,
                      const wchar_t* working_dir, const wchar_t* arguments, int icon_index);

}  // namespace install
