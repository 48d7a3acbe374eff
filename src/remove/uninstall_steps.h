#pragma once
// The work of the uninstall run's steps 1 to 4, each usable on its own.
// None reports anything but step 2 (what it left in the install folder):
// whatever is already gone, or can't be removed, is passed over.

#include "support/run_report.h"

namespace removal {

// The export the interface library offers, and the only code it is sent:
// the product is being removed.
inline constexpr char kInterfaceExport[] = "ZZInterfaceMessage";
inline constexpr int kInterfaceCodeRemoved = 7;

// Step 1: loads "<install_dir>ITF\Interface.dll", calls its
// ZZInterfaceMessage(0, 7, 0, 0) (C calling convention, result ignored)
// and unloads it. Nothing when the library or its export is missing.
void notify_interface_library(const wchar_t* install_dir);

// Step 2: removes from the install folder what the product may claim
// there (remove/install_ownership.h: the whole tree only when it is beyond
// doubt the product's own folder, else only the files its install listed),
// the product's data folder (its folder in "<common application
// data>\ZinzinIMEs", not through a link) and the per-user virtualized copies
// of "ZinzinIMEs". `row` gets the line to show when something in the
// install folder was left (empty otherwise).
// Every file removed goes to `report` (when given), as in steps 3 and 4
// every shortcut and key.
void remove_installed_files(const wchar_t* install_dir, const wchar_t* product_name, wchar_t (&row)[520],
                            support::RunReport* report = nullptr);

// Step 3: deletes "<desktop>\<display_name>系统设置.lnk" and the eight
// links of the Start-menu folder "<common Programs>\<display_name>\",
// removes its "更多工具" folder and itself, then whatever is left in it
// (files of the user's too), and tells the shell. A display name that
// isn't one plain folder name touches nothing: an empty one would name
// the Programs folder itself.
void remove_shortcuts(const wchar_t* display_name, support::RunReport* report = nullptr);

// Step 4: deletes the one key "<product_name>" (never a tree: a key with
// subkeys of its own stays) under HKLM "...\CurrentVersion\Uninstall",
// HKLM "Software\marlix" and HKCU "Software\marlix". A product name that
// isn't one plain key name touches nothing: an empty one would name the
// parent key itself.
void remove_registry_keys(const wchar_t* product_name, support::RunReport* report = nullptr);

}  // namespace removal
