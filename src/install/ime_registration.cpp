#include "install/ime_registration.h"

#include <imm.h>

#include <cwchar>
#include <memory>
#include <new>

#include "install/access_rights.h"
#include "install/file_names.h"
#include "install/ime_layout_removal.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "install/plain_name.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace install {

namespace {

void post_copy_failure(InstallRun& run, const wchar_t* installed_file) {
    wchar_t row[2 * app::kPathUnits];
    support::format_slot(row, kImeCopyFailedRow, installed_file);
    post_progress(run, -1, row);
}

void set_layout_text(HKL layout, const wchar_t* text) {
    wchar_t key_name[9];
    layout_key_name(layout, key_name);
    wchar_t path[96];
    support::format_slot(path, L"System\\CurrentControlSet\\Control\\Keyboard Layouts\\%ls", key_name);
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    RegSetValueExW(key.get(), L"Layout Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::wcslen(text) * sizeof(wchar_t)));
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
        report_failure(run, system_file, GetLastError());
        post_copy_failure(run, installed_file);
        return nullptr;
    }
    report_touched(run, support::Touch::file_copied, system_file);
    // The system folder now holds the only copy.
    if (DeleteFileW(installed_file)) report_touched(run, support::Touch::file_deleted, installed_file);

    wchar_t ime_file_name[app::kNameUnits + 8];
    support::format_slot(ime_file_name, L"%ls.zin.ime", ime_name);
    const wchar_t* text = support::as_wide(run.info->layout_text);
    const HKL existing = find_ime_layout(ime_file_name);
    // Registered again so that a changed layout text reaches the system:
    // Windows writes it into the layout the file already has and hands that
    // one back; Wine adds a second layout for the same file instead.
    const HKL registered = ImmInstallIMEW(system_file, text);
    if (existing == nullptr) {
        if (registered != nullptr && run.journal != nullptr) run.journal->layout_registered(registered, system_file);
        return find_ime_layout(ime_file_name);
    }
    if (registered != nullptr && registered != existing) {
        // Wine's duplicate goes; the layout users already have keeps its
        // number and gets the text Windows would have written into it.
        remove_ime_layout(registered, ime_file_name);
        set_layout_text(existing, text);
    }
    return existing;
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
