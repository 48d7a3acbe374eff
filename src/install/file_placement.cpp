#include "install/file_placement.h"

#include <cwchar>
#include <string>
#include <vector>

#include "app/folders.h"
#include "install/access_rights.h"
#include "install/carried_uninstaller.h"
#include "install/font_install.h"
#include "install/install_journal.h"
#include "install/install_list.h"
#include "install/pending_renames.h"
#include "support/file_kind.h"
#include "support/text_slot.h"
#include "support/wide.h"

namespace install {

namespace {

using support::PathSlot;

bool ends_in_backslash(const wchar_t* path) {
    const std::size_t length = std::wcslen(path);
    return length > 0 && path[length - 1] == L'\\';
}

// "C:\..." or "\\server\share\...": a folder that names one place whatever
// the current directory is.
bool is_absolute(const wchar_t* path) {
    const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                       path[1] == L':' && path[2] == L'\\';
    const bool unc = path[0] == L'\\' && path[1] == L'\\';
    return drive || unc;
}

// `folder` with a trailing backslash; false when that doesn't fit.
bool folder_prefix(PathSlot& prefix, const wchar_t* folder) {
    if (!prefix.assign(folder)) return false;
    return ends_in_backslash(prefix.c_str()) || prefix.append(L"\\");
}

// `folder` + `name`; false when the join would be cut: a cut path names
// another file than the one meant.
bool join(PathSlot& path, const wchar_t* folder, const wchar_t* name) {
    return path.format(L"%ls%ls", folder, name) == support::kStatusOk;
}

InstallJournal* journal_of(InstallRun* run) { return run != nullptr ? run->journal : nullptr; }

bool copy_now(const wchar_t* source, const wchar_t* target) {
    // Installers replace read-only files too; the journal has kept the
    // old file with its attributes.
    support::clear_read_only(target);
    if (!CopyFileW(source, target, FALSE)) return false;
    // The copy is in place whether or not its rights could be set: data
    // opened to Users, code left with its folder's default rights.
    apply_install_rights(target);
    return true;
}

// The fallback for a target in use: a copy beside it that the system
// moves over it at the next restart.
Placement stage_for_restart(const wchar_t* source, const wchar_t* target, InstallRun* run) {
    PathSlot staged;
    if (staged.format(L"%ls%ls", target, kStagedSuffix) != support::kStatusOk) return Placement::Failed;
    InstallJournal* journal = journal_of(run);
    if (journal != nullptr && !journal->before_file_write(staged.c_str())) return Placement::Failed;
    if (!copy_now(source, staged.c_str())) {
        DeleteFileW(staged.c_str());
        return Placement::Failed;
    }
    if (!schedule_replacement(staged.c_str(), target)) {
        DeleteFileW(staged.c_str());
        return Placement::Failed;
    }
    if (journal != nullptr) journal->replacement_scheduled(staged.c_str(), target);
    if (run != nullptr) run->restart_needed = 1;
    return Placement::Scheduled;
}

void copy_entry(const WIN32_FIND_DATAW& entry, const PathSlot& source_prefix, const PathSlot& target_prefix, int keep,
                InstallRun* run) {
    const wchar_t* name = entry.cFileName;
    const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // ".", ".." and every other folder whose name begins with a dot
    // (a version-control or editor folder) stay behind.
    if (folder && name[0] == L'.') return;
    PathSlot source;
    PathSlot target;
    if (!join(source, source_prefix.c_str(), name) || !join(target, target_prefix.c_str(), name)) return;
    if (folder) {
        copy_tree(source.c_str(), target.c_str(), keep, run);
        return;
    }
    // A tree copied onto itself: nothing to copy, and nothing may be deleted.
    if (source.view() == target.view()) return;
    place_file(source.c_str(), target.c_str(), run);
    if (keep == 0) support::force_delete(source.c_str());
}

struct FindCloser {
    HANDLE handle;
    ~FindCloser() {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }
};

}  // namespace

bool create_folder_levels(const wchar_t* folder, InstallJournal* journal) {
    if (folder == nullptr || *folder == L'\0' || std::wcslen(folder) >= app::kPathUnits) return false;
    std::wstring path = folder;
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    // The missing levels, deepest first.
    std::vector<std::wstring> missing;
    for (std::wstring level = path; !level.empty() && !support::is_folder(level.c_str());) {
        missing.push_back(level);
        const std::size_t cut = level.find_last_of(L'\\');
        if (cut == std::wstring::npos || cut == 0) break;
        level.resize(cut);
        if (level.size() == 2 && level[1] == L':') break;  // a drive is no level to create
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (CreateDirectoryW(it->c_str(), nullptr) && journal != nullptr) journal->folder_created(it->c_str());
    }
    return support::is_folder(folder);
}

Placement place_file(const wchar_t* source, const wchar_t* target, InstallRun* run) {
    InstallJournal* journal = journal_of(run);
    // A target whose old content can't be kept for undoing isn't touched
    // now; it is replaced at the restart like one in use.
    Placement placed = Placement::Failed;
    if ((journal == nullptr || journal->before_file_write(target)) && copy_now(source, target))
        placed = Placement::Copied;
    else
        placed = stage_for_restart(source, target, run);
    if (placed != Placement::Failed && run != nullptr) note_placed_file(*run, target);
    return placed;
}

int copy_tree(const wchar_t* source, const wchar_t* target, int keep, InstallRun* run) {
    if (source == nullptr || target == nullptr) return 0;
    PathSlot source_prefix;
    PathSlot target_prefix;
    PathSlot pattern;
    if (!folder_prefix(source_prefix, source) || !folder_prefix(target_prefix, target)) return 0;
    if (!join(pattern, source_prefix.c_str(), L"*")) return 0;
    if (!create_folder_levels(target_prefix.c_str(), journal_of(run))) return 0;

    WIN32_FIND_DATAW entry{};
    FindCloser search{FindFirstFileW(pattern.c_str(), &entry)};
    if (search.handle == INVALID_HANDLE_VALUE) return 1;
    do {
        copy_entry(entry, source_prefix, target_prefix, keep, run);
    } while (FindNextFileW(search.handle, &entry));
    return 1;
}

namespace {

// One macro folder into `destination`, then the folder leaves the tree.
void place_macro_tree(const PathSlot& macro, const wchar_t* destination, InstallRun& run) {
    copy_tree(macro.c_str(), destination, 0, &run);
    app::remove_directory_tree(macro.c_str());
}

void place_system_files(const wchar_t* extract_dir, InstallRun& run) {
    PathSlot macro;
    wchar_t folder[app::kPathUnits] = {};

    if (join(macro, extract_dir, L"$system32$\\") && support::is_folder(macro.c_str())) {
        const UINT length = GetSystemDirectoryW(folder, app::kPathUnits);
        if (length > 0 && length < app::kPathUnits) place_macro_tree(macro, folder, run);
    }
    if (join(macro, extract_dir, L"$windows$\\") && support::is_folder(macro.c_str())) {
        const UINT length = GetWindowsDirectoryW(folder, app::kPathUnits);
        if (length > 0 && length < app::kPathUnits) place_macro_tree(macro, folder, run);
    }
    if (join(macro, extract_dir, L"$fonts$\\") && support::is_folder(macro.c_str())) {
        install_fonts(macro.c_str(), run.journal);
        app::remove_directory_tree(macro.c_str());
    }
    if (join(macro, extract_dir, L"$dataFiles$\\") && support::is_folder(macro.c_str()) && run.info != nullptr) {
        // Without a data folder the macro folder stays and travels to the
        // install folder with the rest of the tree.
        const std::wstring ime_name = support::to_wide(run.info->ime_name);
        wchar_t data_dir[app::kPathUnits] = {};
        if (app::common_data_dir(data_dir, ime_name.c_str())) {
            place_macro_tree(macro, data_dir, run);
            // The input method writes its data here from ordinary users'
            // programs: the folder, and what is made in it later, is theirs
            // to change.
            apply_install_rights(data_dir);
        }
    }
}

// Places the tree's top-level "unstall.exe" as the uninstaller when it is
// the program running this run (the cut copy's source, or the running
// uninstaller under repair), and takes it out of the tree either way.
bool place_carried_uninstaller(const wchar_t* extract_dir, const wchar_t* target, InstallRun& run) {
    PathSlot carried;
    if (!join(carried, extract_dir, kUninstallerName) || !support::is_file(carried.c_str())) return false;
    const wchar_t* reference =
        support::is_file(run.context->uninstaller_path) ? run.context->uninstaller_path : run.context->module_path;
    const bool placed = is_same_program(carried.c_str(), reference) &&
                        create_folder_levels(run.install_dir, run.journal) &&
                        place_file(carried.c_str(), target, &run) != Placement::Failed;
    support::force_delete(carried.c_str());
    return placed;
}

}  // namespace

int place_files(InstallRun& run) {
    if (run.context == nullptr) return 0;
    const wchar_t* install_dir = run.install_dir;
    // A cut or relative install folder would put every file somewhere else.
    if (!is_absolute(install_dir) || !ends_in_backslash(install_dir)) return 0;
    PathSlot extract_dir;
    if (!folder_prefix(extract_dir, run.context->extract_dir)) return 0;

    // Before anything lands there: whether the folder is the product's own.
    note_install_folder(run);

    PathSlot uninstaller;
    if (!join(uninstaller, install_dir, kUninstallerName)) return 0;
    place_system_files(extract_dir.c_str(), run);
    // The signed installer program a package carries is never an ordinary
    // product file: it becomes the uninstaller or stays behind.
    const bool carried = place_carried_uninstaller(extract_dir.c_str(), uninstaller.c_str(), run);
    copy_tree(extract_dir.c_str(), install_dir, 0, &run);

    if (!carried && uninstaller.view() != std::wstring_view(run.context->uninstaller_path) &&
        support::is_file(run.context->uninstaller_path))
        place_file(run.context->uninstaller_path, uninstaller.c_str(), &run);
    return support::is_file(uninstaller.c_str()) ? 1 : 0;
}

}  // namespace install
