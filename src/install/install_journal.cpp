#include "install/install_journal.h"

#include <cwchar>

#include "install/file_names.h"
#include "install/ime_layout_removal.h"
#include "install/pending_renames.h"
#include "install/raw_value.h"
#include "support/file_kind.h"
#include "support/unique_handle.h"

namespace install {

namespace {

void restore_file(const std::wstring& path, const std::wstring& backup, DWORD attributes) {
    support::clear_read_only(path.c_str());
    if (CopyFileW(backup.c_str(), path.c_str(), FALSE)) SetFileAttributesW(path.c_str(), attributes);
}

void restore_value(HKEY root, const std::wstring& subkey, const std::wstring& name, bool existed, DWORD type,
                   const std::vector<std::uint8_t>& data) {
    support::UniqueKey key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE | kRegistryView, key.put()) != ERROR_SUCCESS) return;
    if (existed) {
        // The system counts a string's NUL itself when the unit after the
        // data given is one; a unit that isn't keeps the stored bytes exact.
        std::vector<std::uint8_t> exact(data);
        exact.push_back(0xFF);
        exact.push_back(0xFF);
        RegSetValueExW(key.get(), name.c_str(), 0, type, exact.data(), static_cast<DWORD>(data.size()));
    } else
        RegDeleteValueW(key.get(), name.c_str());
}

void delete_key(HKEY root, const std::wstring& subkey) {
    RegDeleteKeyExW(root, subkey.c_str(), kRegistryView, 0);
}

}  // namespace

InstallJournal::InstallJournal(const wchar_t* backup_dir) : backup_dir_(backup_dir != nullptr ? backup_dir : L"") {
    if (!backup_dir_.empty() && backup_dir_.back() != L'\\') backup_dir_ += L'\\';
}

InstallJournal::~InstallJournal() {
    delete_backups();
}

bool InstallJournal::file_recorded(const std::wstring& path) const {
    for (const Entry& entry : entries_)
        if (entry.kind == Kind::File && same_name(entry.path, path)) return true;
    return false;
}

bool InstallJournal::value_recorded(HKEY root, const std::wstring& subkey, const std::wstring& name) const {
    for (const Entry& entry : entries_)
        if (entry.kind == Kind::Value && entry.root == root && same_name(entry.path, subkey) &&
            same_name(entry.name, name))
            return true;
    return false;
}

bool InstallJournal::before_file_write(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return false;
    // The first record holds the state before the run; later writes of the
    // same file undo to it as well.
    if (file_recorded(path)) return true;
    Entry entry{Kind::File};
    entry.path = path;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
        if (backup_dir_.empty()) return false;
        if (!backup_dir_made_) {
            CreateDirectoryW(backup_dir_.c_str(), nullptr);
            backup_dir_made_ = true;
        }
        wchar_t number[16];
        std::swprintf(number, 16, L"%u.bak", next_backup_++);
        entry.name = backup_dir_ + number;
        // No earlier run's leftover may stand in for this file's copy.
        support::force_delete(entry.name.c_str());
        if (!CopyFileW(path, entry.name.c_str(), FALSE)) return false;
        // Backups are the journal's own files, deleted when it is done.
        SetFileAttributesW(entry.name.c_str(), FILE_ATTRIBUTE_NORMAL);
        entry.existed = true;
        entry.type = attributes;
    }
    entries_.push_back(std::move(entry));
    return true;
}

void InstallJournal::folder_created(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return;
    Entry entry{Kind::Folder};
    entry.path = path;
    entries_.push_back(std::move(entry));
}

bool InstallJournal::before_value_write(HKEY root, const wchar_t* subkey, const wchar_t* value_name) {
    const std::wstring name = value_name != nullptr ? value_name : L"";
    if (subkey == nullptr) return false;
    if (value_recorded(root, subkey, name)) return true;
    Entry entry{Kind::Value};
    entry.root = root;
    entry.path = subkey;
    entry.name = name;
    support::UniqueKey key;
    const LSTATUS opened = RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE | kRegistryView, key.put());
    if (opened == ERROR_SUCCESS) {
        const LSTATUS status = read_raw_value(key.get(), name.c_str(), entry.type, entry.data);
        if (status == ERROR_SUCCESS) entry.existed = true;
        else if (status != ERROR_FILE_NOT_FOUND) return false;
    } else if (opened != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    entries_.push_back(std::move(entry));
    return true;
}

void InstallJournal::key_created(HKEY root, const wchar_t* subkey) {
    if (subkey == nullptr || *subkey == L'\0') return;
    Entry entry{Kind::Key};
    entry.root = root;
    entry.path = subkey;
    entries_.push_back(std::move(entry));
}

void InstallJournal::font_added(const wchar_t* font_path) {
    if (font_path == nullptr || *font_path == L'\0') return;
    Entry entry{Kind::Font};
    entry.path = font_path;
    entries_.push_back(std::move(entry));
}

void InstallJournal::layout_registered(HKL layout, const wchar_t* ime_file_path) {
    if (layout == nullptr) return;
    Entry entry{Kind::Layout};
    entry.layout = layout;
    entry.path = ime_file_path != nullptr ? ime_file_path : L"";
    entries_.push_back(std::move(entry));
}

void InstallJournal::replacement_scheduled(const wchar_t* staged_path, const wchar_t* target_path) {
    if (staged_path == nullptr || *staged_path == L'\0') return;
    Entry entry{Kind::Replacement};
    entry.path = staged_path;
    entry.name = target_path != nullptr ? target_path : L"";
    entries_.push_back(std::move(entry));
}

void InstallJournal::undo(const Entry& entry) noexcept {
    switch (entry.kind) {
    case Kind::File:
        if (entry.existed) restore_file(entry.path, entry.name, entry.type);
        else if (support::is_file(entry.path.c_str())) support::force_delete(entry.path.c_str());
        break;
    case Kind::Folder:
        RemoveDirectoryW(entry.path.c_str());  // only an empty folder goes
        break;
    case Kind::Value:
        restore_value(entry.root, entry.path, entry.name, entry.existed, entry.type, entry.data);
        break;
    case Kind::Key:
        delete_key(entry.root, entry.path);
        break;
    case Kind::Font:
        RemoveFontResourceW(entry.path.c_str());
        break;
    case Kind::Layout:
        remove_ime_layout(entry.layout, file_name_part(entry.path.c_str()));
        break;
    case Kind::Replacement:
        cancel_scheduled_replacement(entry.path.c_str());
        break;
    }
}

void InstallJournal::rollback() noexcept {
    try {
        for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) undo(*it);
    } catch (...) {
        // Best effort: what couldn't be undone stays; the rest is done.
    }
    // Programs that list fonts learn once that some went away.
    bool fonts = false;
    for (const Entry& entry : entries_) fonts = fonts || entry.kind == Kind::Font;
    if (fonts) SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
    delete_backups();
    entries_.clear();
}

void InstallJournal::commit() noexcept {
    delete_backups();
    entries_.clear();
}

void InstallJournal::delete_backups() noexcept {
    for (const Entry& entry : entries_)
        if (entry.kind == Kind::File && entry.existed) support::force_delete(entry.name.c_str());
    if (backup_dir_made_) RemoveDirectoryW(backup_dir_.c_str());
    backup_dir_made_ = false;
}

}  // namespace install
