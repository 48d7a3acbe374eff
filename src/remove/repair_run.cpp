#include "remove/repair_run.h"

#include <windows.h>

#include <memory>

#include "app/workspace.h"
#include "install/install_journal.h"
#include "install/plain_name.h"
#include "install/registry_entries.h"
#include "install/run_install.h"
#include "package/mapfile.h"
#include "support/file_kind.h"
#include "support/format_bounded.h"
#include "support/registry_value.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace removal {

namespace {

constexpr wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr wchar_t kOwnerValue[] = L"RegOwner";
constexpr wchar_t kCompanyValue[] = L"RegCompany";
constexpr wchar_t kWindowsOwnerValue[] = L"RegisteredOwner";
constexpr wchar_t kWindowsCompanyValue[] = L"RegisteredOrganization";
constexpr std::size_t kUserNameUnits = kUserNameBytes / sizeof(wchar_t);

support::UniqueKey open_for_reading(HKEY parent, const wchar_t* name) {
    support::UniqueKey key;
    if (RegOpenKeyExW(parent, name, 0, KEY_READ | install::kRegistryView, key.put()) != ERROR_SUCCESS) return {};
    return key;
}

// A name value into `slot`, cut to 127 characters; empty when it can't be
// read (or doesn't fit the slot at all).
void read_name(HKEY key, const wchar_t* name, wchar_t (&slot)[app::kPathUnits]) {
    support::read_string_value(key, name, slot);
    slot[kUserNameUnits - 1] = L'\0';
}

// Whether the kept package is there and can be read now: opened for
// reading with others allowed to read only, as the extraction will.
bool can_open_for_reading(const wchar_t* path) {
    const support::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

// The extracted "InstallInfo.dif" into `info`; false when it is missing
// or can't be opened.
bool load_extracted_info(const app::RunContext& run, package::InstallInfo& info) {
    wchar_t path[app::kPathUnits];
    if (support::format_slot(path, L"%ls%ls", run.extract_dir, install::kInstallInfoName) != support::kStatusOk ||
        !support::is_file(path))
        return false;
    package::CMXMapfile file;
    if (file.Open(path, false) == 0) return false;
    info = package::load_install_info({file.GetAddress(0), file.GetSize()});
    return true;
}

}  // namespace

RegisteredUser read_registered_user(const wchar_t* product_name) {
    RegisteredUser user;
    if (install::is_plain_name(product_name)) {
        const support::UniqueKey uninstall = open_for_reading(HKEY_LOCAL_MACHINE, install::kUninstallKey);
        const support::UniqueKey entry = uninstall ? open_for_reading(uninstall.get(), product_name)
                                                   : support::UniqueKey{};
        if (entry) {
            read_name(entry.get(), kOwnerValue, user.owner);
            read_name(entry.get(), kCompanyValue, user.company);
        }
    }
    const support::UniqueKey windows = open_for_reading(HKEY_LOCAL_MACHINE, kWindowsKey);
    if (windows) {
        if (user.company[0] == L'\0') read_name(windows.get(), kWindowsCompanyValue, user.company);
        if (user.owner[0] == L'\0') read_name(windows.get(), kWindowsOwnerValue, user.owner);
    }
    return user;
}

bool unpack_backup(app::RunContext& run, const wchar_t* install_dir, const wchar_t* product_name,
                   package::InstallInfo& info) {
    // A cut path would name some other file.
    if (support::format_slot(run.package_path, kBackupPackageFormat, install_dir) != support::kStatusOk) {
        run.package_path[0] = L'\0';
        return false;
    }
    if (!can_open_for_reading(run.package_path) || app::unpack_package(run) == 0) return false;
    if (!load_extracted_info(run, info)) return false;
    // The package of another IME would install that one in this one's place.
    return CompareStringOrdinal(support::as_wide(info.ime_name), -1, product_name, -1, TRUE) == CSTR_EQUAL;
}

RepairResult reinstall_from_backup(install::InstallRun& run, const wchar_t* install_dir, const wchar_t* product_name,
                                   const RegisteredUser& user) {
    if (run.context == nullptr) return RepairResult::PackageDamaged;
    // Fresh for every repair, and only the run's while it lasts.
    const auto info = std::make_unique<package::InstallInfo>();
    if (!unpack_backup(*run.context, install_dir, product_name, *info)) return RepairResult::PackageDamaged;
    run.info = info.get();
    const int installed = install::run_install(run, install_dir, user.owner, user.company);
    run.info = nullptr;
    return installed != 0 ? RepairResult::Repaired : RepairResult::InstallFailed;
}

}  // namespace removal
