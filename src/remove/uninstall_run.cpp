#include "remove/uninstall_run.h"

#include <commctrl.h>

#include "app/process_records.h"
#include "remove/layout_cleanup.h"
#include "remove/uninstall_steps.h"

namespace removal {

namespace {

// The End key's code, sent as both key code and key data so that the list
// scrolls its last row into view.
constexpr WPARAM kEndKey = VK_END;

struct Posting {
    int percent;
    const wchar_t* text;
};

// The seven rows, in the order they are posted: a start row, the six
// numbered steps (posted before their work), and the last one.
constexpr Posting kStart = {0, L"开始卸载..."};
constexpr Posting kInterface = {5, L"  1.卸载输入接口..."};
constexpr Posting kFiles = {20, L"  2.删除文件系统..."};
constexpr Posting kShortcuts = {40, L"  3.删除快捷方式..."};
constexpr Posting kRegistry = {60, L"  4.删除注册表信息..."};
constexpr Posting kLayout = {80, L"  5.卸载输入法..."};
constexpr Posting kDone = {100, L"  6.卸载完成."};

void post(UninstallRun& run, const Posting& posting) { post_uninstall_step(run, posting.percent, posting.text); }

HWND control(HWND dialog, int id) { return dialog != nullptr ? GetDlgItem(dialog, id) : nullptr; }

}  // namespace

UninstallRun make_uninstall_run(HWND dialog, app::CommandRecord* command, app::RunContext* context) {
    UninstallRun run;
    run.dialog = dialog;
    run.step_list = control(dialog, kStepListId);
    run.progress_bar = control(dialog, kProgressBarId);
    run.edit = control(dialog, kStepEditId);
    run.context = context != nullptr ? context : app::run_context();
    run.command = command != nullptr ? command : app::command_record();
    return run;
}

void post_uninstall_step(UninstallRun& run, int percent, const wchar_t* text) {
    run.percent = percent;
    if (run.progress_bar != nullptr) SendMessageW(run.progress_bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    if (run.step_list == nullptr) return;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(SendMessageW(run.step_list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(text);  // the list copies the text
    SendMessageW(run.step_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SendMessageW(run.step_list, WM_KEYDOWN, kEndKey, static_cast<LPARAM>(kEndKey));
}

int run_uninstall(UninstallRun& run) {
    const app::CommandRecord* command = run.command;
    post(run, kStart);
    post(run, kInterface);
    if (command != nullptr) notify_interface_library(command->install_dir);
    post(run, kFiles);
    if (command != nullptr) {
        // What stayed in the install folder, and why, in a row of its own.
        wchar_t left[520];
        remove_installed_files(command->install_dir, command->product_name, left);
        if (left[0] != L'\0') post_uninstall_step(run, kFiles.percent, left);
    }
    post(run, kShortcuts);
    if (command != nullptr) remove_shortcuts(command->display_name);
    post(run, kRegistry);
    if (command != nullptr) remove_registry_keys(command->product_name);
    post(run, kLayout);
    if (command != nullptr) clean_up_ime_layout(command->product_name);
    post(run, kDone);
    return 1;
}

}  // namespace removal
