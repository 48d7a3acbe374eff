// The wizard's install button and the worker thread it starts: the
// directory made ready (asked about when it exists, created when it
// doesn't), the progress page shown, and the install run; and the same
// install without a window (the silent mode).

#include <windows.h>

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "app/folders.h"
#include "app/process_records.h"
#include "app/protected_folders.h"
#include "app/run_options.h"
#include "install/access_rights.h"
#include "install/install_journal.h"
#include "install/run_install.h"
#include "support/text_slot.h"
#include "remove/ime_holders.h"
#include "ui/ime_load_status.h"
#include "remove/install_ownership.h"
#include "support/file_kind.h"
#include "support/format_bounded.h"
#include "support/wide.h"
#include "ui/directory_page.h"
#include "ui/install_wizard.h"
#include "ui/silent_runs.h"
#include "ui/step_log.h"
#include "ui/user_page.h"
#include "ui/wizard_buffers.h"
#include "ui/wizard_texts.h"

namespace ui {
namespace {

const wchar_t* ime_name() {
    const package::InstallInfo* info = app::install_info();
    return info != nullptr ? support::as_wide(info->ime_name) : L"";
}

// The folders of `directory` that don't exist yet, deepest first: those
// that creating it makes.
std::vector<std::wstring> missing_folders(const wchar_t* directory) {
    std::vector<std::wstring> missing;
    std::wstring folder = directory;
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    while (folder.size() > 3 && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        missing.push_back(folder);
        const std::size_t cut = folder.find_last_of(L'\\');
        if (cut == std::wstring::npos) break;
        folder.resize(cut);
    }
    return missing;
}

bool is_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Only a full path names one folder whatever the current directory is:
// "X:\..." or a share "\\server\share\...". Relative texts ("foo",
// "\foo", "X:foo") and device paths ("\\?\", "\\.\") are not taken.
bool is_full_path(const wchar_t* path) {
    if (is_letter(path[0]) && path[1] == L':' && path[2] == L'\\') return true;
    return path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\0' && path[2] != L'?' && path[2] != L'.' &&
           path[2] != L'\\';
}

bool is_directory(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Whether a file is left in `folder` or a folder below it (links aren't
// entered).
bool holds_files(const std::wstring& folder, int depth) {
    if (depth > 32) return true;
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool plain_folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                  (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        found = !plain_folder || holds_files(folder + name + L"\\", depth + 1);
    } while (!found && FindNextFileW(search, &entry));
    FindClose(search);
    return found;
}

// The user agreed to overwrite: the old install is cleared as the run's
// first journaled step, with the product's data folder, before anything is
// placed. Cleared means moved aside: renamed beside itself, deleted when
// the run commits, renamed back when it rolls back. The folder goes whole
// only when it is beyond doubt this product's own; otherwise only what an
// earlier install of it listed (each file kept by the journal), and the
// rest (the user's own files) stays, which `kept` says. What can't be
// moved (a file in use) stays and the run overwrites it, journaled.
void clear_old_install(const wchar_t* directory, install::InstallJournal& journal, wchar_t (&kept)[520]) {
    kept[0] = L'\0';
    install::InstallList list;
    switch (removal::judge_install_folder(directory, ime_name(), list)) {
    case removal::FolderClaim::Whole:
        if (!journal.move_aside(directory)) app::run_log().failure(directory, GetLastError());
        break;
    case removal::FolderClaim::ListedFiles: {
        const std::wstring folder = std::wstring(directory) + (directory[std::wcslen(directory) - 1] == L'\\' ? L"" : L"\\");
        for (const std::wstring& relative : list.files) {
            const std::wstring path = folder + relative;
            const DWORD attributes = GetFileAttributesW(path.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES ||
                (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
                app::passes_through_link(path.c_str()))
                continue;
            if (!journal.before_file_write(path.c_str())) continue;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
        // Said only when something of others' is left.
        if (holds_files(folder, 0)) support::format_slot(kept, removal::kOthersKeptFormat, directory);
        break;
    }
    case removal::FolderClaim::Nothing:
        support::format_slot(kept, removal::kNotOursFormat, directory);
        break;
    }
    wchar_t data[app::kPathUnits];
    // A link put there before the install would lead the clearing elsewhere.
    if (app::common_data_dir(data, ime_name()) && !app::passes_through_link(data) &&
        GetFileAttributesW(data) != INVALID_FILE_ATTRIBUTES && !journal.move_aside(data))
        app::run_log().failure(data, GetLastError());
}

// The exit code of a finished run: 0, or 3010 when a restart completes it.
int finished_code(const install::InstallRun& run, int installed) {
    if (installed == 0) return app::kExitFailed;
    return run.restart_needed != 0 ? app::kExitRestartNeeded : app::kExitSuccess;
}

// The run's start, shared by the wizard and the silent install: the
// journal opened (on disk) before the first change, an existing folder
// cleared through it (`exists`: the user agreed, or the silent run takes
// it over), the folders the install needs made and journaled. Null, with
// everything rolled back and the thread's last error set, when the
// folder can't be made.
std::unique_ptr<install::InstallJournal> begin_run(const wchar_t* directory, bool exists, wchar_t (&kept)[520]) {
    const std::vector<std::wstring> created = missing_folders(directory);
    support::PathSlot fallback;
    const app::RunContext* context = app::run_context();
    if (context != nullptr) fallback.format(L"%ls%ls", context->workspace_dir, install::kJournalFolderName);
    std::unique_ptr<install::InstallJournal> journal =
        install::open_run_journal(ime_name(), directory, fallback.c_str(), app::run_log());
    kept[0] = L'\0';
    if (exists) clear_old_install(directory, *journal, kept);
    // Outermost first, so that rollback removes the deepest first.
    for (auto it = created.rbegin(); it != created.rend(); ++it) journal->folder_created(it->c_str());
    if (!app::make_directory_path(directory) || !is_directory(directory)) {
        const DWORD error = GetLastError();
        journal->rollback();
        SetLastError(error != 0 ? error : ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    return journal;
}

void enable_close_box(HWND dialog, bool enabled) {
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

void CZZ_Install_BaseDlg::on_install_button() {
    // Enter sends this command whatever the button's state: a disabled
    // button (licence refused, worker running) does nothing.
    if (running_ || !IsWindowEnabled(item(kInstallButtonId))) return;
    if (item_text(kInstallButtonId) != kInstallNowText) {
        end(0);
        return;
    }
    if (!confirm_ime_unloaded(ime_name(), hwnd())) {
        MessageBoxW(hwnd(), kImeLoadedText, kImeLoadedCaption, MB_OK | MB_ICONERROR);
        return;
    }
    if (!is_checked(kAcceptRadioId)) return;
    start_worker();
}

// The button is disabled and the close refused before the thread exists,
// so that neither a second click nor a close can come in between.
void CZZ_Install_BaseDlg::start_worker() {
    running_ = true;
    enable_item(kInstallButtonId, false);
    enable_close_box(hwnd(), false);
    DWORD thread_id = 0;
    worker_.reset(CreateThread(nullptr, 0, install_worker, this, 0, &thread_id));
    if (!worker_) {
        running_ = false;
        enable_item(kInstallButtonId, true);
        enable_close_box(hwnd(), true);
    }
}

DWORD WINAPI CZZ_Install_BaseDlg::install_worker(void* dialog) {
    auto* wizard = static_cast<CZZ_Install_BaseDlg*>(dialog);
    wizard->run_worker();
    PostMessageW(wizard->hwnd(), kWorkerFinishedMessage, 0, 0);
    return 0;
}

void CZZ_Install_BaseDlg::worker_finished() {
    if (worker_) WaitForSingleObject(worker_.get(), INFINITE);
    worker_.reset();
    running_ = false;
    enable_close_box(hwnd(), true);
}

void CZZ_Install_BaseDlg::run_worker() {
    enable_item(kInstallButtonId, false);
    WizardBuffers& buffers = wizard_buffers();
    directory_.item_text(kDirectoryEditId, buffers.directory);
    user_.item_text(kUserNameEditId, buffers.user_name);
    user_.item_text(kCompanyEditId, buffers.company);

    const wchar_t* directory = buffers.directory;
    if (!is_full_path(directory)) {
        report_not_created(directory);
        enable_item(kInstallButtonId, true);
        return;
    }
    // The product's files don't belong among the system's, and its later
    // removal must never have to take anything from there.
    if (app::is_system_location(directory)) {
        wchar_t text[2 * app::kPathUnits];
        support::format_slot(text, removal::kSystemFolderFormat, directory);
        MessageBoxW(hwnd(), text, kDirectoryFailedCaption, MB_OK | MB_ICONERROR);
        enable_item(kInstallButtonId, true);
        return;
    }
    const bool exists = GetFileAttributesW(directory) != INVALID_FILE_ATTRIBUTES;
    if (exists &&
        MessageBoxW(hwnd(), kDirectoryExistsText, kDirectoryExistsCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        enable_item(kInstallButtonId, true);
        return;
    }
    wchar_t kept[520] = {};
    const std::unique_ptr<install::InstallJournal> journal = begin_run(directory, exists, kept);
    if (!journal) {
        report_not_created(directory);
        enable_item(kInstallButtonId, true);
        return;
    }

    ShowWindow(user_.hwnd(), SW_HIDE);
    ShowWindow(directory_.hwnd(), SW_HIDE);
    ShowWindow(progress_.hwnd(), SW_SHOW);
    enable_item(kTabControlId, false);
    enable_item(kAcceptRadioId, false);
    enable_item(kRefuseRadioId, false);

    StepLogReport page(progress_.hwnd());
    support::TeeReport report(page, app::run_log());
    install::InstallRun run = install::make_install_run(&report, app::install_info());
    run.journal = journal.get();
    if (kept[0] != L'\0') install::post_progress(run, -1, kept);
    install_ran_ = true;
    // The run commits the journal or rolls all of it back: the clearing
    // and the folders made for the install with the rest.
    const int installed = install::run_install(run, directory, buffers.user_name, buffers.company);
    app::set_exit_code(finished_code(run, installed));

    set_item_text(kInstallButtonId, installed != 0 ? kInstallDoneText : kInstallQuitText);
    enable_item(kInstallButtonId, true);
    enable_item(kTabControlId, true);
    show_item(kLicenceLinkId, false);
    show_item(kAcceptRadioId, false);
    show_item(kRefuseRadioId, false);
}

void CZZ_Install_BaseDlg::report_not_created(const wchar_t* directory) {
    wchar_t text[2 * app::kPathUnits];
    support::format_slot(text, kDirectoryFailedFormat, directory);
    MessageBoxW(hwnd(), text, kDirectoryFailedCaption, MB_OK | MB_ICONERROR);
}

// The wizard's work without its window: the folder, owner and company from
// the run's options or the wizard's proposals, the licence accepted only
// when the options say so, holders of the IME file ended only when they
// allow it, an existing folder taken over as after "yes", and everything
// reported to the run's log alone.
void run_silent_install() {
    support::RunReport& log = app::run_log();
    const app::RunOptions& options = app::run_options();
    if (!options.accept_licence) {
        log.failure(L"the licence was not accepted on the command line", 0);
        app::set_exit_code(app::kExitFailed);
        return;
    }
    if (!removal::check_ime_unloaded_silently(ime_name(), options.end_holders, log)) {
        app::set_exit_code(app::kExitFailed);
        return;
    }
    WizardBuffers& buffers = wizard_buffers();
    // An installed product stays where it is, as in the wizard.
    const bool locked = propose_directory(buffers.directory, ime_name());
    if (!locked && !options.install_dir.empty()) support::copy_slot(buffers.directory, options.install_dir.c_str());
    read_registered_user(buffers);
    if (!options.owner.empty()) support::copy_slot(buffers.user_name, options.owner.c_str());
    if (!options.company.empty()) support::copy_slot(buffers.company, options.company.c_str());

    const wchar_t* directory = buffers.directory;
    if (!is_full_path(directory) || app::is_system_location(directory)) {
        log.failure(directory, ERROR_BAD_PATHNAME);
        app::set_exit_code(app::kExitFailed);
        return;
    }
    wchar_t kept[520] = {};
    const std::unique_ptr<install::InstallJournal> journal =
        begin_run(directory, GetFileAttributesW(directory) != INVALID_FILE_ATTRIBUTES, kept);
    if (!journal) {
        log.failure(directory, GetLastError());
        app::set_exit_code(app::kExitFailed);
        return;
    }
    install::InstallRun run = install::make_install_run(&log, app::install_info());
    run.journal = journal.get();
    if (kept[0] != L'\0') install::post_progress(run, -1, kept);
    const int installed = install::run_install(run, directory, buffers.user_name, buffers.company);
    app::set_exit_code(finished_code(run, installed));
}

}  // namespace ui
