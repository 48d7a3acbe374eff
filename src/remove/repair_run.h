#pragma once
// Repair: the product installed once more, by the install run itself, from
// the package that its install kept in the install folder
// ("<install dir>_backup_.dat"), with the owner and company that the
// install recorded. The repair dialog (ui/repair_dialog.h) calls these on
// its own thread.
//
// A kept package is usable only when it is there, extracts whole with the
// program's key and brings the install information of the product being
// repaired. One that is missing, cut short, garbled or another product's
// is refused before anything is installed, so that a damaged package is
// never reported as a repaired product.

#include <cstddef>

#include "app/records.h"
#include "install/install_run.h"

namespace removal {

inline constexpr wchar_t kBackupPackageFormat[] = L"%ls_backup_.dat";
// The uninstall entry's names and Windows' registered ones are read with
// this many bytes at most: 127 characters and the terminator.
inline constexpr std::size_t kUserNameBytes = 256;

struct RegisteredUser {
    wchar_t owner[app::kPathUnits] = {};
    wchar_t company[app::kPathUnits] = {};
};

// "RegOwner" and "RegCompany" of `product_name`'s uninstall entry (HKLM,
// the process's own registry view); what is empty afterwards is taken from
// "RegisteredOwner" and "RegisteredOrganization" of HKLM "Software\Microsoft
// \Windows NT\CurrentVersion". Longer names are cut to 127 characters;
// what can't be read anywhere stays empty.
RegisteredUser read_registered_user(const wchar_t* product_name);

// Sets run.package_path to the kept package of `install_dir`, extracts it
// into the workspace (run.extract_dir) and loads the "InstallInfo.dif" it
// brings into `info`. False when the package can't be opened for reading,
// doesn't extract, brings no install information, or names another IME
// than `product_name` (compared without regard to case).
bool unpack_backup(app::RunContext& run, const wchar_t* install_dir, const wchar_t* product_name,
                   package::InstallInfo& info);

enum class RepairResult {
    Repaired,        // every install step ran
    PackageDamaged,  // the kept package is unusable (unpack_backup failed); nothing was installed
    InstallFailed,   // the install run failed; it undid what it did and said so in the list
};

// The repair itself on `run` (built over the repair dialog, without
// install information): the kept package unpacked afresh, then the install
// run into `install_dir` with `user`'s names. The run's install
// information is set for the run only.
RepairResult reinstall_from_backup(install::InstallRun& run, const wchar_t* install_dir, const wchar_t* product_name,
                                   const RegisteredUser& user);

}  // namespace removal
