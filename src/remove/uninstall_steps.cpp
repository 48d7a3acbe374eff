#include "remove/uninstall_steps.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

#include "app/folders.h"
#include "install/access_rights.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "install/plain_name.h"
#include "install/registry_entries.h"
#include "install/shortcuts.h"
#include "remove/install_ownership.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace removal {

namespace {

// The export's shape: four 32-bit values, the caller clears the stack.
using InterfaceMessage = int(__cdecl*)(int, int, int, int);

// The links the install makes in the program folder, in the order they
// are deleted.
constexpr const wchar_t* kProgramLinks[] = {
    L"%ls系统设置.lnk",
    L"%ls使用帮助.lnk",
    L"%ls检查更新.lnk",
    L"%ls更多工具\\码表查询.lnk",
    L"%ls更多工具\\按键功能.lnk",
    L"%ls更多工具\\添加用户词.lnk",
    L"%ls更多工具\\修复安装.lnk",
    L"%ls更多工具\\卸载软件.lnk",
};

// A special folder (created if missing) with a trailing backslash; false
// when the shell has none or it doesn't fit.
bool special_folder(int csidl, wchar_t (&folder)[app::kPathUnits]) {
    folder[0] = L'\0';
    if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder))) return false;
    const std::size_t length = std::wcslen(folder);
    return length > 0 && (folder[length - 1] == L'\\' || support::append_slot(folder, L"\\"));
}

// Deletes `format` formatted with `folder`; a cut path would name another
// file and is left alone.
// A link that was there and went is reported; one that stayed too, with
// the error.
void delete_reported(const wchar_t* link, support::RunReport* report) {
    if (DeleteFileW(link)) {
        if (report != nullptr) report->touched(support::Touch::shortcut_removed, link);
        return;
    }
    const DWORD error = GetLastError();
    if (report != nullptr && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        report->failure(link, error);
}

void delete_link(const wchar_t* format, const wchar_t* folder, support::RunReport* report) {
    wchar_t link[app::kPathUnits];
    if (support::format_slot(link, format, folder) == support::kStatusOk) delete_reported(link, report);
}

void remove_desktop_link(const wchar_t* display_name, support::RunReport* report) {
    wchar_t desktop[app::kPathUnits];
    if (!special_folder(CSIDL_DESKTOPDIRECTORY, desktop)) return;
    wchar_t link[app::kPathUnits];
    if (support::format_slot(link, L"%ls%ls系统设置.lnk", desktop, display_name) == support::kStatusOk)
        delete_reported(link, report);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_PATHW, desktop, nullptr);
}

void remove_program_folder(const wchar_t* display_name, support::RunReport* report) {
    wchar_t programs[app::kPathUnits];
    if (!special_folder(CSIDL_COMMON_PROGRAMS, programs)) return;
    wchar_t folder[app::kPathUnits];
    wchar_t tools[app::kPathUnits];
    if (support::format_slot(folder, L"%ls%ls\\", programs, display_name) != support::kStatusOk ||
        support::format_slot(tools, L"%ls%ls\\", folder, install::kToolsFolderName) != support::kStatusOk)
        return;
    for (const wchar_t* format : kProgramLinks) delete_link(format, folder, report);
    RemoveDirectoryW(tools);
    RemoveDirectoryW(folder);
    // Whatever the install or the user left there goes as well.
    if (GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) remove_tree_reported(folder, report);
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW | SHCNF_FLUSH, folder, nullptr);
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW | SHCNF_FLUSH, programs, nullptr);
}

void delete_product_key(HKEY root, const wchar_t* parent_path, const wchar_t* product_name,
                        support::RunReport* report) {
    support::UniqueKey parent;
    if (RegOpenKeyExW(root, parent_path, 0, KEY_ALL_ACCESS | install::kRegistryView, parent.put()) != ERROR_SUCCESS)
        return;
    const LSTATUS status = RegDeleteKeyExW(parent.get(), product_name, install::kRegistryView, 0);
    if (report == nullptr || status == ERROR_FILE_NOT_FOUND) return;
    const std::wstring key = install::registry_text(root, parent_path, product_name);
    if (status == ERROR_SUCCESS) report->touched(support::Touch::key_removed, key.c_str());
    else report->failure(key.c_str(), static_cast<unsigned long>(status));
}

}  // namespace

void notify_interface_library(const wchar_t* install_dir) {
    wchar_t path[app::kPathUnits];
    // A cut path would load some other library.
    if (support::format_slot(path, L"%lsITF\\Interface.dll", install_dir) != support::kStatusOk) return;
    const support::UniqueModule library(LoadLibraryW(path));
    if (!library) return;
    // GetProcAddress hands out a generic function pointer; going through
    // void* tells the compiler the cast to the export's type is meant.
    const auto message = reinterpret_cast<InterfaceMessage>(
        reinterpret_cast<void*>(GetProcAddress(library.get(), kInterfaceExport)));
    if (message != nullptr) message(0, kInterfaceCodeRemoved, 0, 0);
}

void remove_installed_files(const wchar_t* install_dir, const wchar_t* product_name, wchar_t (&row)[520],
                            support::RunReport* report) {
    remove_install_folder(install_dir, product_name, row, report);
    remove_data_folder(product_name, report);
    install::clean_virtualized_store();
}

void remove_shortcuts(const wchar_t* display_name, support::RunReport* report) {
    if (!install::is_plain_name(display_name)) return;
    remove_desktop_link(display_name, report);
    remove_program_folder(display_name, report);
}

void remove_registry_keys(const wchar_t* product_name, support::RunReport* report) {
    if (!install::is_plain_name(product_name)) return;
    delete_product_key(HKEY_LOCAL_MACHINE, install::kUninstallKey, product_name, report);
    delete_product_key(HKEY_LOCAL_MACHINE, install::kVendorKey, product_name, report);
    delete_product_key(HKEY_CURRENT_USER, install::kVendorKey, product_name, report);
}

}  // namespace removal
