#include "install/file_placement.h"

#include <algorithm>
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
#include "support/replace_file.h"
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

// Tells the run (when there is one) what failed and why.
void tell_failure(InstallRun* run, const wchar_t* what, DWORD error) {
    if (run != nullptr) report_failure(*run, what, error);
}

// The thread's last error, or `fallback` when a failed call left none.
DWORD last_error_or(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != 0 ? error : fallback;
}

// Errors of a target that a running program holds (open without delete
// sharing, or a loaded module): it can be replaced at the next restart.
bool held_by_a_program(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

// Clears the read-only attribute of `path`; true when it was set.
bool cleared_read_only(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
    return SetFileAttributesW(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) != 0;
}

bool record_beside(void* journal, const wchar_t* beside) {
    return static_cast<InstallJournal*>(journal)->before_file_write(beside);
}

// Puts `source` at `target` so that `target` is at every moment either the
// old file or the whole new one. A move on one volume is a rename: nothing
// is copied. Otherwise the file is copied beside the target and renamed
// over it (the copy journaled first, so that undoing a killed run removes
// it); a moved source goes only once its file is in place. 0 or the
// Windows error; on failure the source is where it was.
DWORD put_in_place(const wchar_t* source, const wchar_t* target, Transfer transfer, InstallJournal* journal) {
    if (transfer == Transfer::move) {
        if (MoveFileExW(source, target, support::kReplaceFlags)) return 0;
        DWORD error = GetLastError();
        // Installers replace read-only files too (the journal has kept the
        // old file with its attributes); asked only when the rename was
        // refused, which keeps a call per file off the common case.
        if (error == ERROR_ACCESS_DENIED && cleared_read_only(target)) {
            if (MoveFileExW(source, target, support::kReplaceFlags)) return 0;
            error = GetLastError();
        }
        if (error != ERROR_NOT_SAME_DEVICE) return error;
    }
    support::clear_read_only(target);
    const DWORD error = support::copy_then_rename(source, target, journal != nullptr ? &record_beside : nullptr,
                                                  journal);
    if (error == 0 && transfer == Transfer::move) support::force_delete(source);
    return error;
}

// The fallback for a target in use: the new file beside it, which the
// system moves over it at the next restart. 0 or the Windows error.
DWORD stage_for_restart(const wchar_t* source, const wchar_t* target, Transfer transfer, InstallRun* run) {
    PathSlot staged;
    if (staged.format(L"%ls%ls", target, kStagedSuffix) != support::kStatusOk) return ERROR_FILENAME_EXCED_RANGE;
    InstallJournal* journal = journal_of(run);
    if (journal != nullptr && !journal->before_file_write(staged.c_str())) return last_error_or(ERROR_CANNOT_COPY);
    DWORD error = put_in_place(source, staged.c_str(), transfer, journal);
    if (error != 0) return error;
    // Code keeps its folder's default rights, data is opened to Users.
    apply_install_rights(staged.c_str());
    if (!schedule_replacement(staged.c_str(), target)) {
        error = last_error_or(ERROR_ACCESS_DENIED);
        // A moved source goes back where it came from: it was not placed.
        if (transfer == Transfer::move && MoveFileExW(staged.c_str(), source, 0)) return error;
        support::force_delete(staged.c_str());
        return error;
    }
    if (journal != nullptr) journal->replacement_scheduled(staged.c_str(), target);
    if (run != nullptr) run->restart_needed = 1;
    return 0;
}

// One entry of a folder being placed; false (told to the run) when it
// couldn't be placed.
bool copy_entry(const WIN32_FIND_DATAW& entry, const PathSlot& source_prefix, const PathSlot& target_prefix, int keep,
                InstallRun* run) {
    const wchar_t* name = entry.cFileName;
    const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // ".", ".." and every other folder whose name begins with a dot
    // (a version-control or editor folder) stay behind.
    if (folder && name[0] == L'.') return true;
    PathSlot source;
    PathSlot target;
    if (!join(source, source_prefix.c_str(), name) || !join(target, target_prefix.c_str(), name)) {
        // A cut path would name another file; without it the product
        // would be incomplete.
        tell_failure(run, (std::wstring(target_prefix.c_str()) + name).c_str(), ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (folder) return copy_tree(source.c_str(), target.c_str(), keep, run) != 0;
    // A tree copied onto itself: nothing to copy, and nothing may be deleted.
    if (source.view() == target.view()) return true;
    return place_file(source.c_str(), target.c_str(), run, keep == 0 ? Transfer::move : Transfer::copy) !=
           Placement::Failed;
}

// How many files of a folder have their records written with one flush of
// the journal before any of them is placed.
constexpr std::size_t kFilesPerBatch = 256;

// Records the files among entries [first, end) in the journal with one
// flush, before any of them is placed: each target's old content or its
// absence. A kill after the flush leaves records of files not placed yet,
// which undo to nothing (a target that was never written isn't there to
// delete; one that was kept is put back as it was). A target the journal
// can't keep is left to place_file, which asks again and stages it for the
// restart. False when the journal file refused the batch: nothing of it
// may be placed.
bool record_batch(const std::vector<WIN32_FIND_DATAW>& entries, std::size_t first, std::size_t end,
                  const PathSlot& source_prefix, const PathSlot& target_prefix, InstallJournal* journal) {
    if (journal == nullptr) return true;
    journal->defer_writes();
    PathSlot source;
    PathSlot target;
    for (std::size_t at = first; at < end; ++at) {
        const WIN32_FIND_DATAW& entry = entries[at];
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        if (!join(source, source_prefix.c_str(), entry.cFileName) ||
            !join(target, target_prefix.c_str(), entry.cFileName) || source.view() == target.view())
            continue;  // copy_entry tells or skips these
        journal->before_file_write(target.c_str());
    }
    return journal->make_durable();
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
    DWORD error = 0;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (CreateDirectoryW(it->c_str(), nullptr)) {
            if (journal != nullptr) journal->folder_created(it->c_str());
        } else if (error == 0) {
            error = GetLastError();
        }
    }
    if (support::is_folder(folder)) return true;
    // Why not: the first level that couldn't be made (a file in the way,
    // a full disk, a read-only volume).
    SetLastError(error != 0 ? error : ERROR_PATH_NOT_FOUND);
    return false;
}

Placement place_file(const wchar_t* source, const wchar_t* target, InstallRun* run, Transfer transfer) {
    if (source == nullptr || target == nullptr) return Placement::Failed;
    InstallJournal* journal = journal_of(run);
    Placement placed = Placement::Failed;
    DWORD error = 0;
    const bool replacing = run != nullptr && GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES;
    // A target whose old content can't be kept for undoing isn't touched
    // now; it is replaced at the restart like one in use.
    const bool kept = journal == nullptr || journal->before_file_write(target);
    if (kept) {
        error = put_in_place(source, target, transfer, journal);
        if (error == 0) {
            // In place whether or not its rights could be set: data opened
            // to Users, code with its folder's default rights (a moved file
            // brings the rights of the folder it came from).
            apply_install_rights(target);
            placed = Placement::Placed;
        }
    }
    if (placed == Placement::Failed && (!kept || held_by_a_program(error))) {
        // A folder in the way is no file that a restart could replace.
        error = support::is_folder(target) ? ERROR_ALREADY_EXISTS : stage_for_restart(source, target, transfer, run);
        if (error == 0) placed = Placement::Scheduled;
    }
    if (placed == Placement::Failed) {
        tell_failure(run, target, error);
        SetLastError(error);
        return placed;
    }
    if (run == nullptr) return placed;
    note_placed_file(*run, target);
    if (placed == Placement::Scheduled) report_touched(*run, support::Touch::file_staged, target);
    else report_touched(*run, replacing ? support::Touch::file_replaced : support::Touch::file_copied, target);
    // A moment of its own: the journal's records come in batches, the
    // files they name one by one.
    if (journal != nullptr) crash_point(L"P");
    return placed;
}

int copy_tree(const wchar_t* source, const wchar_t* target, int keep, InstallRun* run) {
    if (source == nullptr || target == nullptr) return 0;
    PathSlot source_prefix;
    PathSlot target_prefix;
    PathSlot pattern;
    if (!folder_prefix(source_prefix, source) || !folder_prefix(target_prefix, target) ||
        !join(pattern, source_prefix.c_str(), L"*")) {
        tell_failure(run, target, ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (!create_folder_levels(target_prefix.c_str(), journal_of(run))) {
        tell_failure(run, target, last_error_or(ERROR_PATH_NOT_FOUND));
        return 0;
    }

    // The folder's entries first, then placed in batches.
    std::vector<WIN32_FIND_DATAW> entries;
    {
        WIN32_FIND_DATAW entry{};
        FindCloser search{FindFirstFileW(pattern.c_str(), &entry)};
        if (search.handle == INVALID_HANDLE_VALUE) {
            // A folder without even "." and ".." (a drive's root): nothing to place.
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) return 1;
            tell_failure(run, source, error);
            return 0;
        }
        do {
            entries.push_back(entry);
        } while (FindNextFileW(search.handle, &entry));
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES) {
            tell_failure(run, source, error);
            return 0;
        }
    }
    for (std::size_t first = 0; first < entries.size(); first += kFilesPerBatch) {
        const std::size_t end = std::min(entries.size(), first + kFilesPerBatch);
        if (!record_batch(entries, first, end, source_prefix, target_prefix, journal_of(run))) {
            tell_failure(run, target, last_error_or(ERROR_WRITE_FAULT));
            return 0;
        }
        for (std::size_t at = first; at < end; ++at) {
            // The first file that can't be placed ends the walk: the run fails
            // and is undone, and the rest would only be undone too.
            if (!copy_entry(entries[at], source_prefix, target_prefix, keep, run)) return 0;
        }
    }
    return 1;
}

namespace {

// One macro folder into `destination`, then the folder leaves the tree.
bool place_macro_tree(const PathSlot& macro, const wchar_t* destination, InstallRun& run) {
    if (copy_tree(macro.c_str(), destination, 0, &run) == 0) return false;
    app::remove_directory_tree(macro.c_str());
    return true;
}

// The system's folder `which` wrote into `folder`: false, told to the run,
// when it couldn't be named.
template <typename Getter>
bool system_folder(Getter which, wchar_t (&folder)[app::kPathUnits], InstallRun& run, const wchar_t* macro) {
    const UINT length = which(folder, app::kPathUnits);
    if (length > 0 && length < app::kPathUnits) return true;
    tell_failure(&run, macro, length == 0 ? last_error_or(ERROR_PATH_NOT_FOUND) : ERROR_FILENAME_EXCED_RANGE);
    return false;
}

bool place_system_files(const wchar_t* extract_dir, InstallRun& run) {
    PathSlot macro;
    wchar_t folder[app::kPathUnits] = {};

    if (join(macro, extract_dir, L"$system32$\\") && support::is_folder(macro.c_str())) {
        if (!system_folder(GetSystemDirectoryW, folder, run, macro.c_str()) || !place_macro_tree(macro, folder, run))
            return false;
    }
    if (join(macro, extract_dir, L"$windows$\\") && support::is_folder(macro.c_str())) {
        if (!system_folder(GetWindowsDirectoryW, folder, run, macro.c_str()) || !place_macro_tree(macro, folder, run))
            return false;
    }
    if (join(macro, extract_dir, L"$fonts$\\") && support::is_folder(macro.c_str())) {
        if (install_fonts(macro.c_str(), run) == 0) return false;
        app::remove_directory_tree(macro.c_str());
    }
    if (join(macro, extract_dir, L"$dataFiles$\\") && support::is_folder(macro.c_str()) && run.info != nullptr) {
        // Without a data folder the macro folder stays and travels to the
        // install folder with the rest of the tree.
        const std::wstring ime_name = support::to_wide(run.info->ime_name);
        wchar_t data_dir[app::kPathUnits] = {};
        if (app::common_data_dir(data_dir, ime_name.c_str())) {
            if (!place_macro_tree(macro, data_dir, run)) return false;
            // The input method writes its data here from ordinary users'
            // programs: the folder, and what is made in it later, is theirs
            // to change.
            apply_install_rights(data_dir);
        }
    }
    return true;
}

enum class Carried { none, placed, failed };

// Places the tree's top-level "unstall.exe" as the uninstaller when it is
// the program running this run (the cut copy's source, or the running
// uninstaller under repair), and takes it out of the tree either way.
Carried place_carried_uninstaller(const wchar_t* extract_dir, const wchar_t* target, InstallRun& run) {
    PathSlot carried;
    if (!join(carried, extract_dir, kUninstallerName) || !support::is_file(carried.c_str())) return Carried::none;
    const wchar_t* reference =
        support::is_file(run.context->uninstaller_path) ? run.context->uninstaller_path : run.context->module_path;
    if (!is_same_program(carried.c_str(), reference)) {
        support::force_delete(carried.c_str());
        return Carried::none;
    }
    if (!create_folder_levels(run.install_dir, run.journal)) {
        tell_failure(&run, run.install_dir, last_error_or(ERROR_PATH_NOT_FOUND));
        return Carried::failed;
    }
    return place_file(carried.c_str(), target, &run, Transfer::move) != Placement::Failed ? Carried::placed
                                                                                           : Carried::failed;
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
    if (!place_system_files(extract_dir.c_str(), run)) return 0;
    // The signed installer program a package carries is never an ordinary
    // product file: it becomes the uninstaller or stays behind.
    const Carried carried = place_carried_uninstaller(extract_dir.c_str(), uninstaller.c_str(), run);
    if (carried == Carried::failed) return 0;
    if (copy_tree(extract_dir.c_str(), install_dir, 0, &run) == 0) return 0;

    if (carried == Carried::none && uninstaller.view() != std::wstring_view(run.context->uninstaller_path) &&
        support::is_file(run.context->uninstaller_path) &&
        place_file(run.context->uninstaller_path, uninstaller.c_str(), &run) == Placement::Failed)
        return 0;
    if (!support::is_file(uninstaller.c_str())) {
        tell_failure(&run, uninstaller.c_str(), ERROR_FILE_NOT_FOUND);
        return 0;
    }
    return 1;
}

}  // namespace install
