#include "ui/silent_runs.h"

#include <windows.h>

#include "app/process_records.h"
#include "app/run_options.h"
#include "install/install_run.h"
#include "remove/ime_holders.h"
#include "remove/repair_run.h"
#include "remove/uninstall_run.h"
#include "support/format_bounded.h"
#include "support/version_number.h"
#include "support/wide.h"
#include "update/ime_update.h"
#include "update/update_entry.h"

namespace ui {
namespace {

// Whether the run may go on: nothing holds the IME file, or the options
// allowed ending what did. A run that may not ends with 1603.
bool ime_unloaded(const wchar_t* ime_name) {
    if (removal::check_ime_unloaded_silently(ime_name, app::run_options().end_holders, app::run_log())) return true;
    app::set_exit_code(app::kExitFailed);
    return false;
}

// The update engine's notices go to the log as rows; the byte counts of
// downloads are left out.
void log_notice(const update::UpdateNotice* notice, void*) {
    if (notice != nullptr && notice->text != nullptr) app::run_log().row(notice->text);
}

}  // namespace

void run_silent_uninstall() {
    const app::CommandRecord* command = app::command_record();
    if (command == nullptr || !ime_unloaded(command->product_name)) return;
    removal::UninstallRun run = removal::make_uninstall_run(&app::run_log());
    removal::run_uninstall(run);
    app::set_exit_code(run.restart_needed != 0 ? app::kExitRestartNeeded : app::kExitSuccess);
}

void run_silent_repair() {
    const app::CommandRecord* command = app::command_record();
    if (command == nullptr || !ime_unloaded(command->product_name)) return;
    const removal::RegisteredUser user = removal::read_registered_user(command->product_name);
    install::InstallRun run = install::make_install_run(&app::run_log(), nullptr);
    const removal::RepairResult result =
        removal::reinstall_from_backup(run, command->install_dir, command->product_name, user);
    if (result == removal::RepairResult::PackageDamaged) {
        wchar_t package[app::kPathUnits];
        support::format_slot(package, removal::kBackupPackageFormat, command->install_dir);
        app::run_log().failure(package, ERROR_FILE_CORRUPT);
    }
    if (result != removal::RepairResult::Repaired) app::set_exit_code(app::kExitFailed);
    else app::set_exit_code(run.restart_needed != 0 ? app::kExitRestartNeeded : app::kExitSuccess);
}

void run_silent_update(const wchar_t* product_name) {
    support::RunReport& log = app::run_log();
    if (!ime_unloaded(product_name)) return;
    update::ZZIMEUpdate engine;
    const update::UpdateHandlers handlers{nullptr, &log_notice, nullptr};
    if (engine.Attach(handlers) == 0) {
        log.failure(L"the update engine could not start", GetLastError());
        app::set_exit_code(app::kExitFailed);
        return;
    }
    if (!engine.verifies()) update::post_message(handlers, update::kUpdatesNotVerified);
    bool failed = false;
    if (engine.Initialize(product_name) != 0 && engine.CollectCandidates() != 0) {
        for (const auto& candidate : engine.candidate_list()) {
            if (!(candidate->new_version > candidate->local_version)) continue;
            const bool done = engine.UpdateItem(candidate.get()) == 1;
            char16_t from[support::kVersionTextUnits];
            char16_t to[support::kVersionTextUnits];
            support::format_file_version(from, candidate->local_version);
            support::format_file_version(to, candidate->new_version);
            wchar_t row[2 * app::kPathUnits];
            support::format_slot(row, L"%ls %ls %ls -> %ls", support::as_wide(candidate->name),
                                 support::as_wide(update::item_type_name(candidate->type).data()),
                                 support::as_wide(from), support::as_wide(to));
            if (done) {
                log.row(row);
            } else {
                log.failure(row, GetLastError());
                failed = true;
            }
        }
    }
    app::set_exit_code(failed ? app::kExitFailed : app::kExitSuccess);
}

}  // namespace ui
