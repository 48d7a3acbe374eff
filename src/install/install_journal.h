#pragma once
// The journal of an install run: everything the run creates or replaces on
// the machine, one small reversible action per change, so that a failed
// run can be undone newest-first and leave the machine as it found it
// (a failed repair leaves the product as it was before the repair).
//
// Callers record BEFORE they change something (a file, a registry value)
// or right AFTER they created something (a folder, a key, a font, a
// layout). Undoing a step that stopped half-way is safe: an entry whose
// change never happened undoes to nothing (a file that was never written
// is deleted only if it exists; a value is put back as it was).
//
// On disk: a journal that keeps_on_disk() writes every record into its
// file, and flushes it, before the call that records returns, so that a
// run killed at any moment (power loss, a task manager) leaves a record of
// everything it may have changed. Between defer_writes() and make_durable()
// records wait in memory and go to the file with one flush: the caller
// records the intents of a batch of changes (the files of a folder), makes
// them durable, and only then makes the changes. An intent whose change a
// kill prevented undoes to nothing, as above. A kill between creating a folder or key
// and its record leaves that one empty folder or key; what the system
// must never keep half (a layout for an IME file that rollback deletes) is
// recorded before it is made (before_layout_install). The file lies in a folder only
// administrators and the system can write (journal_folder); the next run
// of the same product finds it and undoes it, or finishes the clean-up of
// a run that had committed (recover_interrupted_run).
//
// Registry entries use the process's own view (kRegistryView), the same
// view the steps write through and every later reader (the command line's
// look-ups, the uninstall run, the update) reads: the shipped 32-bit program
// keeps its keys where 32-bit programs see them.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/records.h"
#include "support/run_report.h"

namespace install {

// The registry view of every key the run writes and the journal restores.
inline constexpr REGSAM kRegistryView = 0;

// The name of the journal's file inside its folder.
inline constexpr wchar_t kJournalFileName[] = L"journal.dat";
// What the name of a folder moved aside gets after the folder's own name
// (and eight random hexadecimal digits).
inline constexpr wchar_t kAsideMark[] = L".~zzold";

// The product's journal folder: "<common application data>\ZinzinIMEs\"
// the product name and ".journal\", beside (never inside) the product's
// data folder, which a run may move aside. False, `path` empty, when the
// name isn't one plain folder name or the path doesn't fit.
bool journal_folder(wchar_t (&path)[app::kPathUnits], const wchar_t* product_name);

// What recover_interrupted_run found.
enum class Recovery {
    None,        // no journal of the product
    RolledBack,  // an unfinished run, undone
    Finished,    // a committed run whose clean-up was left, finished
    Refused,     // a journal that can't be trusted or read: deleted unread
};

class InstallJournal {
public:
    // `backup_dir`: a folder of the journal's own for copies of the files
    // the run overwrites (created when the first copy is needed).
    // `log`: where failed undo steps are told (failure()), may be null.
    explicit InstallJournal(const wchar_t* backup_dir, support::RunReport* log = nullptr);
    // Deletes the backups that are left; changes nothing else.
    ~InstallJournal();
    InstallJournal(const InstallJournal&) = delete;
    InstallJournal& operator=(const InstallJournal&) = delete;

    // Before a file is created, overwritten or deleted. An existing file is
    // copied into the backup folder (with its attributes) and put back on
    // rollback; a file that doesn't exist yet is deleted on rollback. false
    // when an existing file couldn't be backed up: the caller must then
    // leave it alone. A path recorded before keeps its first record.
    bool before_file_write(const wchar_t* path);
    // A folder the run created: removed on rollback when it is empty.
    void folder_created(const wchar_t* path);
    // Before a value is set or deleted: its old type and data, or its
    // absence, are remembered and restored on rollback. false when the old
    // value exists but couldn't be read: the caller must leave it alone.
    bool before_value_write(HKEY root, const wchar_t* subkey, const wchar_t* value_name);
    // A key the run created: deleted on rollback (that one key, never a
    // tree), after its values, and only when it has no subkeys left.
    void key_created(HKEY root, const wchar_t* subkey);
    // A font the run added to the system's font table.
    void font_added(const wchar_t* font_path);
    // An IME layout this run registered (not one that was there before):
    // rollback unloads it and deletes its "Keyboard Layouts" key (only when
    // that key's "Ime File" still names the same file) and its Preload entry.
    void layout_registered(HKL layout, const wchar_t* ime_file_path);
    // A staged copy that MoveFileExW will move onto `target` at the next
    // restart: rollback takes the pair out of the pending renames again
    // (the staged file itself is journaled with before_file_write).
    void replacement_scheduled(const wchar_t* staged_path, const wchar_t* target_path);

    // Before an IME file is registered as a layout: rollback removes every
    // layout whose "Keyboard Layouts" key names that file and that wasn't
    // there when this was recorded. Recorded before the registration, so
    // that a run killed in between leaves no layout for a file rollback
    // deletes.
    bool before_layout_install(const wchar_t* ime_file_path);
    // Moves the existing folder `folder` aside: renamed to a new name beside
    // it (same volume, "<folder>.~zzold" and random digits), recorded
    // before the rename. Rollback renames it back (the folder the run made
    // in its place goes first when it is empty); commit deletes it. False,
    // nothing changed, when it couldn't be recorded or renamed (a file in it
    // open without delete sharing).
    bool move_aside(const wchar_t* folder);

    // Records from now on wait in memory until make_durable() (a journal
    // without a file keeps them as always). The caller changes nothing
    // that they name before make_durable() returned true.
    void defer_writes() noexcept { deferring_ = true; }
    // Writes the waiting records to the file and flushes it with one call;
    // records are written at once again afterwards. False (told to the
    // log, the Windows error left as the thread's last) when the file
    // refused them: the caller must then leave alone what they name.
    bool make_durable();

    // Writes every record from now on into `file` (a new file: one that
    // exists is refused) and flushes it before the recording call returns;
    // the records so far first. `install_dir` is written at its head: what
    // a later reader accepts file paths below. False when the file can't
    // be made or written: the journal then stays in memory only.
    bool keep_on_disk(const wchar_t* file, const wchar_t* install_dir);

    // Undoes every entry, newest first, best effort: an undo step that
    // fails is told to the log with its Windows error and the next step
    // runs all the same. The journal is empty afterwards, its backups and
    // its file are gone.
    void rollback() noexcept;
    // Keeps everything: marks the file committed, deletes what was moved
    // aside, forgets the entries and deletes the backups and the file.
    void commit() noexcept;

    std::size_t size() const noexcept { return entries_.size(); }
    // Undo and clean-up steps that failed since the journal was made.
    std::size_t failures() const noexcept { return failures_; }

    // Reads the journal file `file` that a run left behind, whose backups
    // are in `backup_dir`, into `journal` (empty, made on the same folder).
    // The file was written by an earlier run of this program but is read
    // as hostile: bounded in size, every record checked, paths only below
    // the places a run writes. False, nothing loaded, when any of it fails.
    // `committed`: the run had committed and only its clean-up is left.
    static bool load(const wchar_t* file, const wchar_t* product_name, InstallJournal& journal, bool& committed);

private:
    enum class Kind : std::uint8_t { File, Folder, Value, Key, Font, Layout, Replacement, LayoutIntent, Aside };

    struct Entry {
        Kind kind;
        HKEY root = nullptr;
        HKL layout = nullptr;
        std::wstring path;     // file, folder, key path, font, IME file, staged file
        std::wstring name;     // value name; target of a replacement; backup copy of a file
        bool existed = false;  // the file or value was there before
        DWORD type = 0;        // old value type, old file attributes
        std::vector<std::uint8_t> data;
        std::vector<std::wstring> keys;  // layout keys that named the IME file before
    };

    bool undo(const Entry& entry);
    bool record(Entry entry);
    bool write(const Entry& entry);
    bool write_line(const std::wstring& line);
    bool write_pending();
    void forget_entries() noexcept;
    void note_failure(const wchar_t* what, unsigned long error) noexcept;
    void delete_backups() noexcept;
    void close_file(bool remove) noexcept;
    bool file_recorded(const std::wstring& path) const;
    bool value_recorded(HKEY root, const std::wstring& subkey, const std::wstring& name) const;

    std::wstring backup_dir_;
    bool backup_dir_made_ = false;
    unsigned next_backup_ = 0;
    std::vector<Entry> entries_;
    // The File entries' paths, case-folded as the file system compares
    // names, so that a run of thousands of files asks in constant time
    // whether one is recorded.
    std::unordered_set<std::wstring> recorded_files_;
    support::RunReport* log_ = nullptr;
    std::size_t failures_ = 0;
    friend Recovery recover_interrupted_run(const wchar_t* product_name, support::RunReport& log);
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::wstring file_path_;
    bool deferring_ = false;
    std::wstring pending_;          // lines not yet in the file
    std::wstring pending_moment_;   // the first waiting line's kind
};

// Run first by the install, the repair and the uninstall of `product_name`:
// a journal that an earlier run of the product left (it was killed, or the
// machine lost power) is undone, or finished when that run had committed,
// and its folder removed. Each outcome but None is told to `log` as a row
// (and the folder's path); failed undo steps as failures.
Recovery recover_interrupted_run(const wchar_t* product_name, support::RunReport& log);

// The journal of a new run of `product_name`: recover_interrupted_run
// first, then a journal on disk in the product's journal folder (made
// anew, writable only by administrators and the system). When that folder
// can't be made, a journal in memory with its backups in `fallback_dir`,
// and a failure told to `log`.
std::unique_ptr<InstallJournal> open_run_journal(const wchar_t* product_name, const wchar_t* install_dir,
                                                 const wchar_t* fallback_dir, support::RunReport& log);

// The rows the log gets from recover_interrupted_run.
inline constexpr wchar_t kRecoveredRow[] = L"上次未完成的安装已撤销：";
inline constexpr wchar_t kFinishedRow[] = L"上次已完成的安装的清理已补做：";
inline constexpr wchar_t kRefusedRow[] = L"上次安装留下的记录无法使用，已删除：";

// Test builds of the installer only: a hook called at each named moment
// of a run (every record written to the journal on disk, the commit); the
// shipped program never sets one.
using CrashHook = void (*)(const wchar_t* moment);
void set_crash_hook(CrashHook hook);
void crash_point(const wchar_t* moment);

}  // namespace install
