#pragma once
// What a removal may take from an install folder. The folder comes from a
// registry value or from what a person typed, and the program runs
// elevated: a wrong value must never turn into deleting somebody else's
// folder. So a folder goes as a whole tree only when it is this product's
// install folder beyond doubt:
// - it holds this product's uninstaller ("unstall.exe") and kept package
//   ("_backup_.dat") whose install record names this product;
// - the install made it (or found it empty): its list says "folder=own"
//   (installs that kept no list are judged by the two files alone);
// - it isn't, and isn't inside, a system or Windows folder, and it isn't a
//   Program Files root, a drive's root, a profile or inside a profile;
// - neither it nor a folder above it is a link.
// Otherwise only the files the install listed ("_installed_.lst") go, and
// the rest stays; with no usable list of this product, nothing goes.

#include <windows.h>

#include "install/install_list.h"
#include "support/run_report.h"

namespace removal {

enum class FolderClaim {
    Whole,        // removed as a tree
    ListedFiles,  // only the listed files, then the folders they leave empty
    Nothing,      // not this product's folder: left alone
};

// The claim this product has on `folder` (with or without a trailing
// backslash), by the rules above. Reads nothing but the folder's marker
// files; the kept package is deciphered into a scratch folder of the
// workspace (or of the temporary folder) that is removed again.
FolderClaim judge_install_folder(const wchar_t* folder, const wchar_t* product_name);
// The same, with the install list the claim rests on (empty unless it is
// this product's list).
FolderClaim judge_install_folder(const wchar_t* folder, const wchar_t* product_name, install::InstallList& list);

// True when "<folder>\_backup_.dat" is a package whose install record
// ("InstallInfo.dif") names `product_name` (without regard to case).
bool kept_package_names(const wchar_t* folder, const wchar_t* product_name);

// Removes what the claim allows from `folder` and returns the claim.
// `row` gets a line for the person watching when something stays (empty
// otherwise): the folder isn't the product's, or files of others were
// kept.
// Every file removed is reported to `report` (when given).
FolderClaim remove_install_folder(const wchar_t* folder, const wchar_t* product_name, wchar_t (&row)[520],
                                  support::RunReport* report = nullptr);

// Removes the product's data folder (in "<common application data>\ZinzinIMEs",
// the folder named by the product) as a tree unless reached through a link.
void remove_data_folder(const wchar_t* product_name, support::RunReport* report = nullptr);

// Removes `folder` as a tree (app::remove_directory_tree) and reports to
// `report` every file of it that went and every one that stayed (with the
// error that deleting it gives now).
void remove_tree_reported(const wchar_t* folder, support::RunReport* report);

// The wizard's refusal of a system folder as install folder.
inline constexpr wchar_t kSystemFolderFormat[] = L"所选安装目录:\r\n%ls\r\n是系统文件夹或位于系统文件夹中，不能安装到这里，请另选安装目录！";

// The lines a removal shows (formatted with the folder).
inline constexpr wchar_t kOthersKeptFormat[] = L"  %ls 中不属于本产品的文件已保留。";
inline constexpr wchar_t kNotOursFormat[] = L"  %ls 不是本产品的安装目录，其中的文件未删除。";

}  // namespace removal
