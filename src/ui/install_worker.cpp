// The wizard's install button and the worker thread it starts: the
// directory made ready (asked about when it exists, created when it
// doesn't), the progress page shown, and the install run.

#include <windows.h>

#include <string>
#include <vector>

#include "app/folders.h"
#include "app/process_records.h"
#include "app/protected_folders.h"
#include "install/access_rights.h"
#include "install/run_install.h"
#include "remove/ime_load_status.h"
#include "remove/install_ownership.h"
#include "support/file_kind.h"
#include "support/format_bounded.h"
#include "support/wide.h"
#include "ui/install_wizard.h"
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
    if (!removal::confirm_ime_unloaded(ime_name(), hwnd())) {
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
    const std::vector<std::wstring> created = missing_folders(directory);
    wchar_t kept[520] = {};
    if (GetFileAttributesW(directory) != INVALID_FILE_ATTRIBUTES) {
        if (MessageBoxW(hwnd(), kDirectoryExistsText, kDirectoryExistsCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            enable_item(kInstallButtonId, true);
            return;
        }
        clear_old_install(directory, kept);
    }
    if (!app::make_directory_path(directory) || !support::is_folder(directory)) {
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

    install::InstallRun run = install::make_install_run(progress_.hwnd(), app::install_info());
    if (kept[0] != L'\0') install::post_progress(run, -1, kept);
    const int installed = install::run_install(run, directory, buffers.user_name, buffers.company);
    // The run took back what it placed; the folders made for it go too
    // when nothing else has come into them.
    if (installed == 0)
        for (const std::wstring& folder : created) RemoveDirectoryW(folder.c_str());

    set_item_text(kInstallButtonId, installed != 0 ? kInstallDoneText : kInstallQuitText);
    enable_item(kInstallButtonId, true);
    enable_item(kTabControlId, true);
    show_item(kLicenceLinkId, false);
    show_item(kAcceptRadioId, false);
    show_item(kRefuseRadioId, false);
}

// The user agreed to overwrite: the old install goes before anything is
// placed, with the product's data folder and its shadow copies. The folder
// goes whole only when it is beyond doubt this product's own; otherwise
// only what an earlier install of it listed, and the rest (the user's own
// files) stays, which `kept` says.
void CZZ_Install_BaseDlg::clear_old_install(const wchar_t* directory, wchar_t (&kept)[520]) {
    removal::remove_install_folder(directory, ime_name(), kept);
    removal::remove_data_folder(ime_name());
    install::clean_virtualized_store();
}

void CZZ_Install_BaseDlg::report_not_created(const wchar_t* directory) {
    wchar_t text[2 * app::kPathUnits];
    support::format_slot(text, kDirectoryFailedFormat, directory);
    MessageBoxW(hwnd(), text, kDirectoryFailedCaption, MB_OK | MB_ICONERROR);
}

}  // namespace ui
