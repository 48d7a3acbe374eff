#include "ui/directory_page.h"

#include <shlobj.h>

#include "app/install_path.h"
#include "app/process_records.h"
#include "install/install_journal.h"
#include "install/registry_entries.h"
#include "support/format_bounded.h"
#include "support/registry_value.h"
#include "support/unique_handle.h"
#include "support/wide.h"
#include "ui/wizard_texts.h"

namespace ui {
namespace {

// The folder browser's flags as this page has always passed them.
constexpr UINT kBrowseFlags = 0x8000;

const wchar_t* ime_name() {
    const package::InstallInfo* info = app::install_info();
    return info != nullptr ? support::as_wide(info->ime_name) : L"";
}

void free_id_list(PIDLIST_ABSOLUTE list) { CoTaskMemFree(list); }
using UniqueIdList = support::UniqueOwner<PIDLIST_ABSOLUTE, free_id_list>;

// The folder browser; true with the chosen folder's file-system path.
bool choose_folder(HWND owner, wchar_t (&path)[kDirectoryUnits]) {
    wchar_t display_name[MAX_PATH] = {};
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.pidlRoot = nullptr;
    browse.pszDisplayName = display_name;
    browse.lpszTitle = kBrowseTitle;
    browse.ulFlags = kBrowseFlags;
    const UniqueIdList chosen(SHBrowseForFolderW(&browse));
    if (!chosen) return false;
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(chosen.get(), folder) || folder[0] == L'\0') return false;
    support::copy_slot(path, folder);
    return true;
}

}  // namespace

void append_product_folder(wchar_t (&directory)[kDirectoryUnits], const wchar_t* ime_name) {
    const std::size_t length = std::wcslen(directory);
    if (length == 0 || directory[length - 1] != L'\\') support::append_slot(directory, L"\\");
    support::append_slot(directory, ime_name);
    support::append_slot(directory, L"\\");
}

bool read_registered_directory(const wchar_t* ime_name, wchar_t (&directory)[kDirectoryUnits]) {
    // The machine's record only: the current user's key is anybody's to
    // write, and the folder it names would be locked in as the proposal.
    // A value that doesn't fit leaves the proposal as it was.
    wchar_t value[app::kPathUnits];
    static_assert(kDirectoryUnits == app::kPathUnits);
    if (!app::read_install_path(ime_name, value, app::InstallPathRoots::machine_only)) return false;
    support::copy_slot(directory, value);
    return true;
}

bool propose_directory(wchar_t (&directory)[kDirectoryUnits], const wchar_t* ime_name) {
    wchar_t program_files[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                   program_files))) {
        support::copy_slot(directory, program_files);
        append_product_folder(directory, ime_name);
    }
    return read_registered_directory(ime_name, directory);
}

BOOL CZZ_Install_SelectDir::on_init() {
    WizardBuffers& buffers = wizard_buffers();
    locked_ = propose_directory(buffers.directory, ime_name());
    if (locked_) enable_item(kDirectoryEditId, false);
    send_item(kDirectoryEditId, EM_LIMITTEXT, kDirectoryUnits - 1);
    set_item_text(kDirectoryEditId, buffers.directory);
    return TRUE;
}

bool CZZ_Install_SelectDir::on_command(int id, int code, HWND control) {
    if (id == kBrowseButtonId && code == BN_CLICKED) {
        browse();
        return true;
    }
    return Page::on_command(id, code, control);
}

void CZZ_Install_SelectDir::browse() {
    if (locked_) {
        MessageBoxW(hwnd(), kDirectoryLockedText, kDirectoryLockedCaption, MB_OK | MB_ICONERROR);
        return;
    }
    WizardBuffers& buffers = wizard_buffers();
    if (!choose_folder(hwnd(), buffers.directory)) return;
    append_product_folder(buffers.directory, ime_name());
    set_item_text(kDirectoryEditId, buffers.directory);
}

}  // namespace ui
