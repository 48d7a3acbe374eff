#include "ui/uninstall_dialog.h"

#include <commctrl.h>

#include <cwchar>

#include "app/process_records.h"
#include "app/run_options.h"
#include "ui/ime_load_status.h"
#include "remove/uninstall_run.h"
#include "support/format_bounded.h"
#include "ui/step_log.h"

namespace ui {

namespace {

// The caption is read into 20 units: both captions fit whole.
constexpr std::size_t kCaptionUnits = 20;

const wchar_t* display_name() {
    const app::CommandRecord* command = app::command_record();
    return command != nullptr ? command->display_name : L"";
}

const wchar_t* product_name() {
    const app::CommandRecord* command = app::command_record();
    return command != nullptr ? command->product_name : L"";
}

}  // namespace

CCZZ_Uninstall::CCZZ_Uninstall()
    : Dialog(kUninstallTemplate), icon_(program_icon()) {}

BOOL CCZZ_Uninstall::on_init() {
    set_icon(icon_);
    wchar_t title[260];
    support::format_slot(title, L"%ls%ls", display_name(), kUninstallTitleSuffix);
    set_title(title);

    reset_step_progress(*this, kProgressBarId);

    add_step_log_column(*this, kStepListId, kUninstallColumnText);

    set_item_text(kUninstallButtonId, kUninstallCaption);
    return TRUE;
}

void CCZZ_Uninstall::on_ok() {
    wchar_t caption[kCaptionUnits];
    item_text(kUninstallButtonId, caption);
    if (std::wcscmp(caption, kUninstallCaption) == 0) start_uninstall();
    else if (std::wcscmp(caption, kUninstallDoneCaption) == 0) end(IDOK);
}

void CCZZ_Uninstall::start_uninstall() {
    // The run holds this thread, but the loaded-IME dialog and the retry
    // boxes of the layout cleanup dispatch messages: a click queued
    // meanwhile must not start a second run inside the first.
    if (running_) return;
    running_ = true;
    enable_item(kUninstallButtonId, false);
    // Nothing is removed while a process holds the IME file and the user
    // chose to keep it running.
    if (!confirm_ime_unloaded(product_name(), hwnd())) {
        abandoned_ = true;
        end(kUninstallAbandoned);
        return;
    }
    StepLogReport dialog(hwnd());
    support::TeeReport report(dialog, app::run_log());
    removal::UninstallRun run = removal::make_uninstall_run(&report);
    uninstalled_ = true;
    removal::run_uninstall(run);
    app::set_exit_code(run.restart_needed != 0 ? app::kExitRestartNeeded : app::kExitSuccess);
    set_item_text(kUninstallButtonId, kUninstallDoneCaption);
    enable_item(kUninstallButtonId, true);
    // Disabling took the focus away; Enter closes the dialog again.
    SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(kUninstallButtonId)), TRUE);
    running_ = false;
}

}  // namespace ui
