#include "install/run_install.h"

#include <cwchar>
#include <memory>

#include "app/folders.h"
#include "app/run_options.h"
#include "install/access_rights.h"
#include "install/file_placement.h"
#include "install/ime_registration.h"
#include "install/install_journal.h"
#include "install/install_list.h"
#include "install/registry_entries.h"
#include "install/shortcuts.h"
#include "support/format_bounded.h"
#include "support/text_slot.h"
#include "support/wide.h"

namespace install {

namespace {

constexpr int kPositionVerify = 0;
constexpr int kPositionStart = 1;
constexpr int kPositionPlaceFiles = 2;
constexpr int kPositionEnvironment = 42;
constexpr int kPositionUninstallEntry = 72;
constexpr int kPositionBackup = 82;
constexpr int kPositionShortcuts = 82;
constexpr int kPositionCleanUp = 95;
constexpr int kPositionDone = 100;
constexpr int kNoPosition = -1;

// The record's install folder: the text given, cut to the slot, with a
// backslash when it has room for one.
void set_install_dir(InstallRun& run, const wchar_t* install_dir) {
    support::copy_slot(run.install_dir, install_dir != nullptr ? install_dir : L"");
    const std::size_t length = std::wcslen(run.install_dir);
    if (length == 0 || run.install_dir[length - 1] != L'\\') support::append_slot(run.install_dir, L"\\");
}

// A journal for the run when the caller gave none (on disk in the
// product's journal folder when the run knows its product); the run's
// record points at it only while the run lasts.
class RunJournal {
public:
    RunJournal(InstallRun& run, const wchar_t* install_dir) : run_(run) {
        if (run.journal != nullptr) return;
        support::PathSlot backups;
        if (run.context != nullptr && run.context->workspace_dir[0] != L'\0') {
            backups.format(L"%ls%ls", run.context->workspace_dir, kJournalFolderName);
        } else {
            wchar_t temp[MAX_PATH + 1] = {};
            GetTempPathW(MAX_PATH + 1, temp);
            backups.format(L"%ls__ZZIMEJournal%lu\\", temp, static_cast<unsigned long>(GetCurrentProcessId()));
        }
        if (run.info != nullptr && run.info->ime_name[0] != 0)
            own_ = open_run_journal(support::as_wide(run.info->ime_name), install_dir != nullptr ? install_dir : L"",
                                    backups.c_str(), app::run_log());
        else
            own_ = std::make_unique<InstallJournal>(backups.c_str());
        run.journal = own_.get();
    }
    ~RunJournal() {
        if (own_) run_.journal = nullptr;
    }
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

private:
    InstallRun& run_;
    std::unique_ptr<InstallJournal> own_;
};

// A step that failed, for the log: its row without the leading blanks and
// the error the system gave last.
bool step_failed(InstallRun& run, const wchar_t* row) {
    const DWORD error = GetLastError();
    while (*row == L' ') ++row;
    report_failure(run, row, error);
    return false;
}

bool run_steps(InstallRun& run, const wchar_t* owner, const wchar_t* company) {
    post_progress(run, kPositionPlaceFiles, kRowPlaceFiles);
    if (place_files(run) == 0) return step_failed(run, kRowPlaceFiles);

    post_progress(run, kPositionEnvironment, kRowEnvironment);
    write_vendor_keys(run);
    if (register_ime(run) == nullptr) return step_failed(run, kRowEnvironment);

    post_progress(run, kPositionUninstallEntry, kRowUninstallEntry);
    write_uninstall_entry(run, owner != nullptr ? owner : L"", company != nullptr ? company : L"");

    post_progress(run, kPositionBackup, kRowBackup);
    if (backup_package(run) == 0) return step_failed(run, kRowBackup);
    // Beside the kept package: what the removal may take.
    if (!write_install_list(run)) return step_failed(run, kRowBackup);
    write_estimated_size(run);

    post_progress(run, kPositionShortcuts, kRowShortcuts);
    return create_shortcuts(run) != 0 || step_failed(run, kRowShortcuts);
}

}  // namespace

int backup_package(InstallRun& run) {
    if (run.context == nullptr) return 0;
    support::PathSlot target;
    if (target.format(L"%ls%ls", run.install_dir, kBackupPackageName) != support::kStatusOk) return 0;
    const wchar_t* source = run.context->package_path;
    // Repair installs from the kept package itself: it stays as it is.
    if (target.view() == std::wstring_view(source)) {
        note_placed_file(run, target.c_str());
        return 1;
    }
    // Copied beside and renamed over an earlier install's package: a run
    // stopped half way never leaves a cut package for repair to find.
    return place_file(source, target.c_str(), &run) != Placement::Failed ? 1 : 0;
}

void finish_install(InstallRun& run) {
    support::PathSlot info_file;
    if (run.install_dir[0] != L'\0' &&
        info_file.format(L"%ls%ls", run.install_dir, kInstallInfoName) == support::kStatusOk &&
        DeleteFileW(info_file.c_str()))
        report_touched(run, support::Touch::file_deleted, info_file.c_str());
    if (run.context != nullptr && run.context->workspace_dir[0] != L'\0')
        app::remove_directory_tree(run.context->workspace_dir);
    clean_virtualized_store();
}

int run_install(InstallRun& run, const wchar_t* install_dir, const wchar_t* owner, const wchar_t* company) {
    RunJournal journal(run, install_dir);

    post_progress(run, kPositionVerify, kRowVerifying);
    set_install_dir(run, install_dir);
    post_progress(run, kPositionStart, kRowStarting);

    if (!run_steps(run, owner, company)) {
        // Undone first, so that the row tells the truth when it appears.
        run.journal->rollback();
        run.restart_needed = 0;
        post_progress(run, kNoPosition, kRowFailed);
        finish_install(run);
        return 0;
    }
    // Past the last step that can fail: what the run did is kept.
    run.journal->commit();

    post_progress(run, kPositionCleanUp, kRowCleanUp);
    finish_install(run);
    post_progress(run, kPositionDone, run.restart_needed != 0 ? kRowDoneAfterRestart : kRowDone);
    return 1;
}

}  // namespace install
