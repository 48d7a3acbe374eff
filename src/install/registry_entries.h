#pragma once
// The registry keys by which an installed product is known: the Windows
// uninstall entry (the system's list of installed programs, with the
// uninstall and modify commands) and the vendor key that records the
// install folder for later runs (uninstall, repair, update), plus the small
// readers the update uses.
//
// Strings are REG_SZ written with the terminating NUL not counted (data
// length = characters * 2). Keys are opened in the journal's registry view
// (kRegistryView), so that a failed run undoes exactly what it wrote.

#include <windows.h>

#include <cstddef>

#include "app/records.h"

namespace install {

struct InstallRun;

// Below HKEY_LOCAL_MACHINE: one subkey per product, named by its IME name.
inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER: one subkey per product.
inline constexpr wchar_t kVendorKey[] = L"Software\\marlix";
inline constexpr wchar_t kInstallPathValue[] = L"ZMEInstallPath";
// Left below HKEY_CURRENT_USER by the vendor's IME generator; only read here.
inline constexpr wchar_t kGeneratorKey[] = L"Software\\marlix\\Zinzin输入法生成器";
inline constexpr wchar_t kLastRunPathValue[] = L"LastRunPath";
inline constexpr wchar_t kUpdateUrlValue[] = L"URLUpdateInfo";

// Units of the update address read_update_url hands over (with its NUL).
inline constexpr std::size_t kUpdateUrlUnits = 256;

// Writes the product's uninstall entry, HKLM "<kUninstallKey>\<ime_name>",
// with its sixteen values in this order: RegOwner (`owner`), RegCompany
// (`company`), DisplayName, Comments, DisplayVersion, DisplayIcon
// ("<dir>unstall.exe"), Contact, Publisher, URLInfoAbout, URLUpdateInfo,
// HelpLink (the record's, or "<dir>main.chm" when it is empty),
// HelpTelephone, UninstallString ("\"<dir>Unstall.exe\" -u name=[<ime_name>]"),
// InstallLocation (<dir>), InstallSource (the "file=" path of the run
// context's command line, up to a "]", or the whole line without one) and
// ModifyPath ("\"<dir>Unstall.exe\" -r name=[<ime_name>]"; both paths quoted),
// then three more for Windows' list of programs and deployment tools:
// EstimatedSize (REG_DWORD, KiB of the files placed in the folder and the
// kept package, rounded up), InstallDate (yyyymmdd, local time) and
// QuietUninstallString ("\"<dir>Unstall.exe\" /S -u name=[<ime_name>]"). Always 1: nothing
// here stops the run. An IME name that isn't one plain key name writes
// nothing (it would name the Uninstall key itself or another key).
int write_uninstall_entry(InstallRun& run, const wchar_t* owner, const wchar_t* company);
// The entry's "EstimatedSize" (REG_DWORD): KiB of the files the run placed
// in the install folder, the kept package and its list included. Written
// once those are in place. 1, or 0 when the entry can't be opened.
int write_estimated_size(InstallRun& run);

// Sets "ZMEInstallPath" = the install folder (with its trailing backslash)
// in "Software\marlix\<ime_name>" under HKEY_LOCAL_MACHINE, then under
// HKEY_CURRENT_USER; a root that can't be written is passed over.
void write_vendor_keys(InstallRun& run);

// The install folder of product `name` from "ZMEInstallPath" of its vendor
// key, with a trailing backslash: the machine-wide value when it holds a
// folder, else the current user's. 1, or 0 with
// `path` empty when the key or a non-empty value is missing, or the value
// doesn't fit the slot with its backslash.
int read_install_path(const wchar_t* name, wchar_t (&path)[app::kPathUnits]);

// "LastRunPath" of the generator key (current user). 1 when a non-empty
// path was read, else 0 with `path` empty.
int read_last_run_path(wchar_t (&path)[app::kPathUnits]);

// "URLUpdateInfo" of product `name`'s uninstall entry into `buffer`
// (kUpdateUrlUnits units) or, with a null buffer, only measured. Returns
// its length in units; 0 when the key or the value can't be read or the
// text doesn't fit kUpdateUrlUnits units.
std::size_t read_update_url(const wchar_t* name, wchar_t* buffer);

}  // namespace install
