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
// Registry entries use the process's own view (kRegistryView), the same
// view the steps write through and every later reader (the command line's
// look-ups, the uninstall run, the update) reads: the shipped 32-bit program
// keeps its keys where 32-bit programs see them.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace install {

// The registry view of every key the run writes and the journal restores.
inline constexpr REGSAM kRegistryView = 0;

class InstallJournal {
public:
    // `backup_dir`: a folder of the journal's own for copies of the files
    // the run overwrites (created when the first copy is needed).
    explicit InstallJournal(const wchar_t* backup_dir);
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

    // Undoes every entry, newest first, best effort; never throws. The
    // journal is empty afterwards and its backups are gone.
    void rollback() noexcept;
    // Keeps everything: forgets the entries and deletes the backups.
    void commit() noexcept;

    std::size_t size() const noexcept { return entries_.size(); }

private:
    enum class Kind : std::uint8_t { File, Folder, Value, Key, Font, Layout, Replacement };

    struct Entry {
        Kind kind;
        HKEY root = nullptr;
        HKL layout = nullptr;
        std::wstring path;     // file, folder, key path, font, IME file, staged file
        std::wstring name;     // value name; target of a replacement; backup copy of a file
        bool existed = false;  // the file or value was there before
        DWORD type = 0;        // old value type, old file attributes
        std::vector<std::uint8_t> data;
    };

    void undo(const Entry& entry) noexcept;
    void delete_backups() noexcept;
    bool file_recorded(const std::wstring& path) const;
    bool value_recorded(HKEY root, const std::wstring& subkey, const std::wstring& name) const;

    std::wstring backup_dir_;
    bool backup_dir_made_ = false;
    unsigned next_backup_ = 0;
    std::vector<Entry> entries_;
};

}  // namespace install
