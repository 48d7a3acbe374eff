#include "ui/repair_dialog.h"

#include <commctrl.h>

#include <cwchar>
#include <memory>

#include "app/process_records.h"
#include "app/run_options.h"
#include "install/install_run.h"
#include "ui/ime_load_status.h"
#include "remove/repair_run.h"
#include "support/format_bounded.h"
#include "ui/step_log.h"

namespace ui {

namespace {

// The caption is read into 20 units: both captions fit whole.
constexpr std::size_t kCaptionUnits = 20;

// Whether the kept package of the product on the command line is usable:
// it is unpacked into the workspace once as a trial, so that a package
// that is cut short, garbled or another product's is caught before the
// user is offered a repair. The repair unpacks it afresh.
bool backup_usable() {
    app::RunContext* run = app::run_context();
    const app::CommandRecord* command = app::command_record();
    if (run == nullptr || command == nullptr) return false;
    const auto info = std::make_unique<package::InstallInfo>();
    return removal::unpack_backup(*run, command->install_dir, command->product_name, *info);
}

}  // namespace

CZZ_Repair::CZZ_Repair()
    : Dialog(kRepairTemplate), icon_(program_icon()) {}

BOOL CZZ_Repair::on_init() {
    set_icon(icon_);
    reset_step_progress(*this, kProgressBarId);

    if (!backup_usable()) {
        set_item_text(kRepairButtonId, kRepairDoneCaption);
        report_unusable_backup();
        refused_ = true;
        end(IDCANCEL);
        return TRUE;
    }
    set_item_text(kRepairButtonId, kRepairCaption);

    add_step_log_column(*this, kStepListId, kRepairColumnText);

    const app::CommandRecord* command = app::command_record();
    wchar_t title[260];
    support::format_slot(title, L"%ls%ls", command->display_name, kRepairTitleSuffix);
    set_title(title);
    return TRUE;
}

void CZZ_Repair::on_ok() {
    wchar_t caption[kCaptionUnits];
    item_text(kRepairButtonId, caption);
    if (std::wcscmp(caption, kRepairCaption) == 0) start_repair();
    else if (std::wcscmp(caption, kRepairDoneCaption) == 0) end(IDOK);
}

void CZZ_Repair::report_unusable_backup() const {
    MessageBoxW(hwnd(), kBackupUnusableText, kBackupUnusableCaption, MB_ICONERROR | MB_OK);
}

void CZZ_Repair::start_repair() {
    // The run holds this thread, but the loaded-IME dialog, the message
    // boxes and the shell calls of the run dispatch messages: a click
    // queued meanwhile must not start a second run inside the first.
    if (running_) return;
    const app::CommandRecord* command = app::command_record();
    if (command == nullptr) return;
    // A process that keeps the IME file loaded: nothing is done, and the
    // user may end it and try again.
    if (!confirm_ime_unloaded(command->product_name, hwnd())) return;

    running_ = true;
    enable_item(kRepairButtonId, false);
    const removal::RegisteredUser user = removal::read_registered_user(command->product_name);
    StepLogReport dialog(hwnd());
    support::TeeReport report(dialog, app::run_log());
    install::InstallRun run = install::make_install_run(&report, nullptr);
    repaired_ = true;
    const removal::RepairResult result =
        removal::reinstall_from_backup(run, command->install_dir, command->product_name, user);
    if (result != removal::RepairResult::Repaired) app::set_exit_code(app::kExitFailed);
    else app::set_exit_code(run.restart_needed != 0 ? app::kExitRestartNeeded : app::kExitSuccess);
    // A package that went bad since the start installed nothing: say so
    // rather than end as if the product were repaired.
    if (result == removal::RepairResult::PackageDamaged) report_unusable_backup();
    failed_ = result != removal::RepairResult::Repaired;
    set_item_text(kRepairButtonId, kRepairDoneCaption);
    enable_item(kRepairButtonId, true);
    // Disabling took the focus away; Enter closes the dialog again.
    SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(kRepairButtonId)), TRUE);
    running_ = false;
}

}  // namespace ui
