#include "install/ime_registration.h"

#include <imm.h>

#include <memory>
#include <new>

#include "install/access_rights.h"
#include "install/file_names.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "install/plain_name.h"
#include "support/format_bounded.h"
#include "support/wide.h"

namespace install {

namespace {

void post_copy_failure(InstallRun& run, const wchar_t* installed_file) {
    wchar_t row[2 * app::kPathUnits];
    support::format_slot(row, kImeCopyFailedRow, installed_file);
    post_progress(run, -1, row);
}

}  // namespace

bool system_ime_path(wchar_t (&path)[app::kPathUnits], const wchar_t* ime_name) {
    path[0] = L'\0';
    if (!is_plain_name(ime_name)) return false;
    wchar_t system_dir[app::kPathUnits];
    const UINT length = GetSystemDirectoryW(system_dir, app::kPathUnits);
    if (length == 0 || length >= app::kPathUnits) return false;
    const wchar_t* format = system_dir[length - 1] == L'\\' ? L"%ls%ls.zin.ime" : L"%ls\\%ls.zin.ime";
    // A cut path would name another file.
    if (support::format_slot(path, format, system_dir, ime_name) != support::kStatusOk) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

HKL register_ime(InstallRun& run) {
    const wchar_t* ime_name = run.info != nullptr ? support::as_wide(run.info->ime_name) : L"";
    wchar_t installed_file[app::kPathUnits];
    const bool installed_whole =
        support::format_slot(installed_file, L"%ls%ls.ime", run.install_dir, ime_name) == support::kStatusOk;

    // A path that would be cut names another file, and a system file whose
    // old content the journal couldn't keep is not written: either way the
    // copy counts as failed.
    wchar_t system_file[app::kPathUnits];
    if (!installed_whole || !system_ime_path(system_file, ime_name) ||
        (run.journal != nullptr && !run.journal->before_file_write(system_file)) ||
        !copy_file_granting_users(installed_file, system_file, FALSE)) {
        post_copy_failure(run, installed_file);
        return nullptr;
    }
    // The system folder now holds the only copy.
    DeleteFileW(installed_file);

    wchar_t ime_file_name[app::kNameUnits + 8];
    support::format_slot(ime_file_name, L"%ls.zin.ime", ime_name);
    // Registering the same file again would give Wine a second layout for
    // it; Windows would hand back the one it has. Both now keep the first.
    if (HKL existing = find_ime_layout(ime_file_name)) return existing;

    HKL registered = ImmInstallIMEW(system_file, support::as_wide(run.info->layout_text));
    if (registered != nullptr && run.journal != nullptr) run.journal->layout_registered(registered, system_file);
    return find_ime_layout(ime_file_name);
}

HKL find_ime_layout(const wchar_t* ime_file_name) {
    if (ime_file_name == nullptr || ime_file_name[0] == L'\0') return nullptr;
    const int count = GetKeyboardLayoutList(0, nullptr);
    if (count <= 0) return nullptr;
    std::unique_ptr<HKL[]> layouts(new (std::nothrow) HKL[static_cast<std::size_t>(count)]());
    if (!layouts) return nullptr;
    const int listed = GetKeyboardLayoutList(count, layouts.get());
    for (int i = 0; i < listed; ++i) {
        wchar_t reported[app::kPathUnits] = {};
        if (ImmGetIMEFileNameW(layouts[i], reported, app::kPathUnits) == 0) continue;
        reported[app::kPathUnits - 1] = L'\0';
        if (same_name(file_name_part(reported), ime_file_name)) return layouts[i];
    }
    return nullptr;
}

}  // namespace install
