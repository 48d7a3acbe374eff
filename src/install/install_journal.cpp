#include "install/install_journal.h"

#include <aclapi.h>
#include <shlobj.h>

#include <cwchar>
#include <algorithm>
#include <cwctype>

#include "app/folders.h"
#include "app/private_folder.h"
#include "app/protected_folders.h"
#include "support/format_bounded.h"
#include "support/replace_file.h"

#include "install/file_names.h"
#include "install/ime_layout_removal.h"
#include "install/pending_renames.h"
#include "install/raw_value.h"
#include "support/file_kind.h"
#include "support/unique_handle.h"

namespace install {

namespace {

constexpr wchar_t kLayoutsKey[] = L"System\\CurrentControlSet\\Control\\Keyboard Layouts";
// A journal file is a few hundred records; anything far larger isn't one.
constexpr LONGLONG kMostJournalBytes = 4 * 1024 * 1024;
constexpr std::size_t kMostRecords = 100000;
constexpr std::size_t kMostValueBytes = 64 * 1024;
constexpr wchar_t kJournalVersion[] = L"1";

CrashHook g_crash_hook = nullptr;

bool file_exists(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool is_folder(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The backup goes back beside the file and is renamed over it, so that
// the file is at every moment the run's whole version or the old one, also
// when the undo itself is cut short. The copy gets the rights of the
// file's folder, as any file made there does (the backup's own are the
// journal folder's, which only administrators may read).
bool restore_file(const std::wstring& path, const std::wstring& backup, DWORD attributes) {
    support::clear_read_only(path.c_str());
    const DWORD error = support::copy_then_rename(backup.c_str(), path.c_str());
    if (error != 0) {
        SetLastError(error);
        return false;
    }
    SetFileAttributesW(path.c_str(), attributes);
    return true;
}

// `path` case-folded the way the file system compares names (the same
// upper-casing CompareStringOrdinal ignores case with), for looking it up.
std::wstring folded(const std::wstring& path) {
    std::wstring key(path);
    if (!key.empty() && LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(),
                                      static_cast<int>(path.size()), key.data(), static_cast<int>(key.size()),
                                      nullptr, nullptr, 0) != static_cast<int>(key.size()))
        key = path;  // not mapped: looked up as written (a second record at worst)
    return key;
}

bool restore_value(HKEY root, const std::wstring& subkey, const std::wstring& name, bool existed, DWORD type,
                   const std::vector<std::uint8_t>& data) {
    support::UniqueKey key;
    LSTATUS status = RegOpenKeyExW(root, subkey.c_str(), 0, KEY_SET_VALUE | kRegistryView, key.put());
    // A key that is gone took an absent value with it; one that existed
    // comes back with the key that held it.
    if (status == ERROR_FILE_NOT_FOUND && !existed) return true;
    if (status == ERROR_FILE_NOT_FOUND)
        status = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE | kRegistryView, nullptr,
                                 key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return false;
    }
    if (existed) {
        // The system counts a string's NUL itself when the unit after the
        // data given is one; a unit that isn't keeps the stored bytes exact.
        std::vector<std::uint8_t> exact(data);
        exact.push_back(0xFF);
        exact.push_back(0xFF);
        status = RegSetValueExW(key.get(), name.c_str(), 0, type, exact.data(), static_cast<DWORD>(data.size()));
    } else {
        status = RegDeleteValueW(key.get(), name.c_str());
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

bool delete_key(HKEY root, const std::wstring& subkey) {
    const LSTATUS status = RegDeleteKeyExW(root, subkey.c_str(), kRegistryView, 0);
    // Gone already, or still holding subkeys of others: both leave it be.
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_ACCESS_DENIED) return true;
    SetLastError(static_cast<DWORD>(status));
    return status == ERROR_SUCCESS;
}

// The "Keyboard Layouts" subkeys whose "Ime File" names `ime_file`'s file.
std::vector<std::wstring> layout_keys_naming(const wchar_t* ime_file) {
    std::vector<std::wstring> found;
    support::UniqueKey layouts;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLayoutsKey, 0, KEY_READ | kRegistryView, layouts.put()) != ERROR_SUCCESS)
        return found;
    for (DWORD index = 0; index < 4096; ++index) {
        wchar_t name[16];
        DWORD units = 16;
        const LSTATUS status = RegEnumKeyExW(layouts.get(), index, name, &units, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        support::UniqueKey layout;
        if (RegOpenKeyExW(layouts.get(), name, 0, KEY_QUERY_VALUE | kRegistryView, layout.put()) != ERROR_SUCCESS)
            continue;
        DWORD type = 0;
        std::vector<std::uint8_t> data;
        if (read_raw_value(layout.get(), L"Ime File", type, data) != ERROR_SUCCESS || type != REG_SZ) continue;
        std::wstring file(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        file.resize(std::wcslen(file.c_str()));
        if (same_name(file_name_part(file.c_str()), file_name_part(ime_file))) found.emplace_back(name);
    }
    return found;
}

// --- the file's text ---------------------------------------------------------

std::wstring hex(const std::uint8_t* bytes, std::size_t count) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::wstring hex_text(const std::wstring& text) {
    return hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size() * sizeof(wchar_t));
}

int hex_digit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

bool unhex(const std::wstring& text, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (text.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hex_digit(text[i]);
        const int low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

bool unhex_text(const std::wstring& text, std::wstring& out) {
    std::vector<std::uint8_t> bytes;
    if (!unhex(text, bytes) || bytes.size() % 2 != 0) return false;
    out.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    return out.find(L'\0') == std::wstring::npos;
}

bool read_number(const std::wstring& text, unsigned long& number) {
    if (text.empty() || text.size() > 8) return false;
    number = 0;
    for (wchar_t c : text) {
        const int digit = hex_digit(c);
        if (digit < 0) return false;
        number = number * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

std::wstring number_text(unsigned long number) {
    wchar_t text[12];
    std::swprintf(text, 12, L"%lx", number);
    return text;
}

wchar_t root_letter(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return L'M';
    if (root == HKEY_CURRENT_USER) return L'U';
    return L'?';
}

HKEY root_of(const std::wstring& letter) {
    if (letter == L"M") return HKEY_LOCAL_MACHINE;
    if (letter == L"U") return HKEY_CURRENT_USER;
    return nullptr;
}

std::vector<std::wstring> split(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos) return fields;
        start = tab + 1;
    }
}

// --- what a journal read back may name ----------------------------------------

// "X:\..." with nothing in it that makes it name another place than it
// reads: no "." or ".." level, no "/", no second ":", no control
// character, and short enough for the program's path slots.
bool plain_full_path(const std::wstring& path) {
    if (path.size() < 4 || path.size() >= app::kPathUnits) return false;
    const wchar_t drive = static_cast<wchar_t>(std::towupper(path[0]));
    if (drive < L'A' || drive > L'Z' || path[1] != L':' || path[2] != L'\\') return false;
    for (std::size_t i = 2; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c < L' ' || c == L'/' || (c == L':' && i > 1) || c == L'*' || c == L'?' || c == L'"' || c == L'<' ||
            c == L'>' || c == L'|')
            return false;
    }
    // One final backslash (a folder written as such) is no empty level.
    const std::wstring levels = path.back() == L'\\' ? path : path + L"\\";
    return levels.find(L"\\.\\") == std::wstring::npos && levels.find(L"\\..\\") == std::wstring::npos &&
           levels.find(L"\\\\", 2) == std::wstring::npos;
}

std::wstring with_backslash(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

bool inside(const std::wstring& path, const std::wstring& root) {
    if (root.size() < 4 || path.size() <= root.size()) return false;
    return CompareStringOrdinal(path.c_str(), static_cast<int>(root.size()), root.c_str(),
                                static_cast<int>(root.size()), TRUE) == CSTR_EQUAL;
}

std::wstring special_folder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return with_backslash(path);
}

// Where the records of one journal may point: what a run of the product
// writes, and nothing else.
struct Places {
    std::wstring install_dir;  // from the journal's head, checked
    std::wstring data_dir;     // the product's data folder, without backslash
    std::wstring journal_dir;
    std::vector<std::wstring> roots;

    bool file_allowed(const std::wstring& path) const {
        if (!plain_full_path(path)) return false;
        for (const std::wstring& root : roots)
            if (inside(path, root)) return true;
        return false;
    }
    // A folder a run made: one where it may write files, or one of the
    // levels above the install folder or the data folder that making
    // those created. Undoing it removes it only when it is empty.
    bool folder_allowed(const std::wstring& path) const {
        if (file_allowed(path)) return true;
        if (!plain_full_path(path)) return false;
        const std::wstring level = with_backslash(path);
        for (const std::wstring& folder : {install_dir, with_backslash(data_dir)})
            if (same_name(level, folder) || inside(folder, level)) return true;
        return false;
    }
    bool key_allowed(HKEY root, const std::wstring& subkey) const {
        if (root == nullptr || subkey.empty() || subkey.size() > 512) return false;
        for (wchar_t c : subkey)
            if (c < L' ') return false;
        static const wchar_t* const kRoots[] = {L"Software\\", L"System\\CurrentControlSet\\Control\\Keyboard Layouts\\",
                                                L"Keyboard Layout\\"};
        for (const wchar_t* prefix : kRoots)
            if (inside(subkey, prefix) || (same_name(subkey + L"\\", prefix))) return true;
        return false;
    }
    // A folder moved aside: the install folder or the data folder, and its
    // new name beside it as move_aside makes them.
    bool aside_allowed(const std::wstring& original, const std::wstring& aside) const {
        std::wstring folder = original;
        while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
        const std::wstring install = install_dir.substr(0, install_dir.size() - 1);
        if (!same_name(folder, install) && !same_name(folder, data_dir)) return false;
        const std::wstring stem = folder + kAsideMark;
        if (aside.size() != stem.size() + 8 || !inside(aside, stem)) return false;
        for (std::size_t i = stem.size(); i < aside.size(); ++i)
            if (hex_digit(static_cast<wchar_t>(std::towlower(aside[i]))) < 0) return false;
        return true;
    }
};

}  // namespace

bool journal_folder(wchar_t (&path)[app::kPathUnits], const wchar_t* product_name) {
    if (!app::common_data_dir(path, product_name)) return false;
    const std::size_t length = std::wcslen(path);
    path[length - 1] = L'\0';  // the data folder's final backslash
    if (!support::append_slot(path, L".journal\\")) {
        path[0] = L'\0';
        return false;
    }
    return true;
}

void set_crash_hook(CrashHook hook) { g_crash_hook = hook; }

void crash_point(const wchar_t* moment) {
    if (g_crash_hook != nullptr) g_crash_hook(moment);
}

InstallJournal::InstallJournal(const wchar_t* backup_dir, support::RunReport* log)
    : backup_dir_(backup_dir != nullptr ? backup_dir : L""), log_(log) {
    if (!backup_dir_.empty() && backup_dir_.back() != L'\\') backup_dir_ += L'\\';
}

InstallJournal::~InstallJournal() {
    // A journal on disk that is neither committed nor rolled back (a
    // caller that returned early) keeps its file and backups: the next run
    // undoes it.
    if (file_ == INVALID_HANDLE_VALUE) delete_backups();
    close_file(false);
}

bool InstallJournal::file_recorded(const std::wstring& path) const {
    return recorded_files_.count(folded(path)) != 0;
}

void InstallJournal::forget_entries() noexcept {
    entries_.clear();
    recorded_files_.clear();
}

bool InstallJournal::value_recorded(HKEY root, const std::wstring& subkey, const std::wstring& name) const {
    for (const Entry& entry : entries_)
        if (entry.kind == Kind::Value && entry.root == root && same_name(entry.path, subkey) &&
            same_name(entry.name, name))
            return true;
    return false;
}

void InstallJournal::note_failure(const wchar_t* what, unsigned long error) noexcept {
    ++failures_;
    if (log_ == nullptr) return;
    try {
        log_->failure(what, error);
    } catch (...) {
        // A log that can't take the line loses it; the undo goes on.
    }
}

// --- on disk -------------------------------------------------------------------

bool InstallJournal::write_line(const std::wstring& line) {
    if (file_ == INVALID_HANDLE_VALUE) return true;
    if (pending_.empty()) pending_moment_ = line.substr(0, 1);
    pending_ += line;
    pending_ += L'\n';
    return deferring_ || write_pending();
}

// The waiting lines in one write and one flush. Lines the file refused
// are dropped: their records are refused to the callers (or the batch is),
// and a later write must not carry them in after the fact.
bool InstallJournal::write_pending() {
    if (file_ == INVALID_HANDLE_VALUE || pending_.empty()) return true;
    const auto bytes = static_cast<DWORD>(pending_.size() * sizeof(wchar_t));
    DWORD written = 0;
    const bool done =
        WriteFile(file_, pending_.data(), bytes, &written, nullptr) && written == bytes && FlushFileBuffers(file_);
    const DWORD error = done ? 0 : (GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT);
    pending_.clear();
    if (!done) {
        note_failure(file_path_.c_str(), error);
        SetLastError(error);
        return false;
    }
    // One moment per flush: what a kill from here on finds on the disk.
    crash_point(pending_moment_.c_str());
    return true;
}

bool InstallJournal::make_durable() {
    deferring_ = false;
    return write_pending();
}

bool InstallJournal::write(const Entry& entry) {
    std::wstring line;
    switch (entry.kind) {
    case Kind::File:
        line = L"F\t" + entry.path + L"\t" + (entry.existed ? L"1" : L"0") + L"\t" + number_text(entry.type) + L"\t" +
               (entry.existed ? std::wstring(file_name_part(entry.name.c_str())) : L"-");
        break;
    case Kind::Folder:
        line = L"D\t" + entry.path;
        break;
    case Kind::Value:
        line = std::wstring(L"V\t") + root_letter(entry.root) + L"\t" + entry.path + L"\t" + hex_text(entry.name) +
               L"\t" + (entry.existed ? L"1" : L"0") + L"\t" + number_text(entry.type) + L"\t" +
               hex(entry.data.data(), entry.data.size());
        break;
    case Kind::Key:
        line = std::wstring(L"K\t") + root_letter(entry.root) + L"\t" + entry.path;
        break;
    case Kind::Font:
        line = L"T\t" + entry.path;
        break;
    case Kind::Layout:
        line = L"L\t" + number_text(static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(entry.layout))) +
               L"\t" + entry.path;
        break;
    case Kind::LayoutIntent: {
        line = L"I\t" + entry.path + L"\t";
        for (std::size_t i = 0; i < entry.keys.size(); ++i) line += (i == 0 ? L"" : L",") + entry.keys[i];
        break;
    }
    case Kind::Replacement:
        line = L"R\t" + entry.path + L"\t" + entry.name;
        break;
    case Kind::Aside:
        line = L"A\t" + entry.path + L"\t" + entry.name;
        break;
    }
    return write_line(line);
}

// Kept in memory, and on disk when there is a file, before the caller
// changes anything. An entry the file couldn't take isn't kept either: the
// caller is told no and leaves the thing alone.
bool InstallJournal::record(Entry entry) {
    if (!write(entry)) return false;
    if (entry.kind == Kind::File) recorded_files_.insert(folded(entry.path));
    entries_.push_back(std::move(entry));
    return true;
}

bool InstallJournal::keep_on_disk(const wchar_t* file, const wchar_t* install_dir) {
    if (file == nullptr || install_dir == nullptr || file_ != INVALID_HANDLE_VALUE) return false;
    const HANDLE handle = CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        note_failure(file, GetLastError());
        return false;
    }
    file_ = handle;
    file_path_ = file;
    // The head and the records so far with one flush.
    const bool deferring = deferring_;
    deferring_ = true;
    bool written = write_line(std::wstring(L"H\t") + kJournalVersion + L"\t" + with_backslash(install_dir));
    for (const Entry& entry : entries_) written = written && write(entry);
    written = make_durable() && written;
    deferring_ = deferring;
    if (!written) {
        close_file(true);
        return false;
    }
    return true;
}

void InstallJournal::close_file(bool remove) noexcept {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (!remove || file_path_.empty()) return;
    DeleteFileW(file_path_.c_str());
    // The file's folder is the journal's own when its backups live there.
    if (same_name(file_path_, backup_dir_ + file_name_part(file_path_.c_str()))) RemoveDirectoryW(backup_dir_.c_str());
    file_path_.clear();
}

// --- recording -------------------------------------------------------------------

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
    return record(std::move(entry));
}

void InstallJournal::folder_created(const wchar_t* path) {
    if (path == nullptr || *path == L'\0') return;
    Entry entry{Kind::Folder};
    entry.path = path;
    record(std::move(entry));
}

bool InstallJournal::before_value_write(HKEY root, const wchar_t* subkey, const wchar_t* value_name) {
    const std::wstring name = value_name != nullptr ? value_name : L"";
    if (subkey == nullptr) return false;
    if (value_recorded(root, subkey, name)) return true;
    // The file names only the two roots a run writes under.
    if (file_ != INVALID_HANDLE_VALUE && root_letter(root) == L'?') return false;
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
    return record(std::move(entry));
}

void InstallJournal::key_created(HKEY root, const wchar_t* subkey) {
    if (subkey == nullptr || *subkey == L'\0') return;
    Entry entry{Kind::Key};
    entry.root = root;
    entry.path = subkey;
    record(std::move(entry));
}

void InstallJournal::font_added(const wchar_t* font_path) {
    if (font_path == nullptr || *font_path == L'\0') return;
    Entry entry{Kind::Font};
    entry.path = font_path;
    record(std::move(entry));
}

void InstallJournal::layout_registered(HKL layout, const wchar_t* ime_file_path) {
    if (layout == nullptr) return;
    Entry entry{Kind::Layout};
    entry.layout = layout;
    entry.path = ime_file_path != nullptr ? ime_file_path : L"";
    record(std::move(entry));
}

bool InstallJournal::before_layout_install(const wchar_t* ime_file_path) {
    if (ime_file_path == nullptr || *ime_file_path == L'\0') return false;
    Entry entry{Kind::LayoutIntent};
    entry.path = ime_file_path;
    entry.keys = layout_keys_naming(ime_file_path);
    return record(std::move(entry));
}

void InstallJournal::replacement_scheduled(const wchar_t* staged_path, const wchar_t* target_path) {
    if (staged_path == nullptr || *staged_path == L'\0') return;
    Entry entry{Kind::Replacement};
    entry.path = staged_path;
    entry.name = target_path != nullptr ? target_path : L"";
    record(std::move(entry));
}

bool InstallJournal::move_aside(const wchar_t* folder) {
    if (folder == nullptr || *folder == L'\0') return false;
    std::wstring original = folder;
    while (original.size() > 3 && original.back() == L'\\') original.pop_back();
    if (!is_folder(original.c_str()) || app::is_protected_folder(original.c_str())) return false;
    wchar_t digits[9];
    if (!app::random_hex(digits, 8)) return false;
    Entry entry{Kind::Aside};
    entry.path = original;
    entry.name = original + kAsideMark + digits;
    if (GetFileAttributesW(entry.name.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const std::wstring aside = entry.name;
    if (!record(std::move(entry))) return false;
    if (MoveFileExW(original.c_str(), aside.c_str(), 0)) return true;
    // Nothing moved: the entry would undo to nothing, but it goes so that
    // the caller's refusal leaves the journal as it was.
    const DWORD error = GetLastError();
    entries_.pop_back();
    SetLastError(error);
    return false;
}

// --- undoing ---------------------------------------------------------------------

bool InstallJournal::undo(const Entry& entry) {
    switch (entry.kind) {
    case Kind::File:
        if (entry.existed) return restore_file(entry.path, entry.name, entry.type);
        if (file_exists(entry.path.c_str())) {
            support::clear_read_only(entry.path.c_str());
            return DeleteFileW(entry.path.c_str()) != FALSE;
        }
        return true;
    case Kind::Folder:
        // Only an empty folder goes; one that something else came into stays.
        if (!RemoveDirectoryW(entry.path.c_str())) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIR_NOT_EMPTY;
        }
        return true;
    case Kind::Value:
        return restore_value(entry.root, entry.path, entry.name, entry.existed, entry.type, entry.data);
    case Kind::Key:
        return delete_key(entry.root, entry.path);
    case Kind::Font:
        RemoveFontResourceW(entry.path.c_str());  // not in the table (a new session): nothing to do
        return true;
    case Kind::Layout:
        remove_ime_layout(entry.layout, file_name_part(entry.path.c_str()));
        return true;
    case Kind::LayoutIntent:
        for (const std::wstring& key : layout_keys_naming(entry.path.c_str())) {
            bool before = false;
            for (const std::wstring& old : entry.keys) before = before || same_name(old, key);
            if (before) continue;
            const auto number = std::wcstoul(key.c_str(), nullptr, 16);
            remove_ime_layout(reinterpret_cast<HKL>(static_cast<std::uintptr_t>(number)),
                              file_name_part(entry.path.c_str()));
        }
        return true;
    case Kind::Replacement:
        cancel_scheduled_replacement(entry.path.c_str());
        return true;
    case Kind::Aside: {
        if (!is_folder(entry.name.c_str())) return true;  // never moved
        // The folder the run made in its place goes when it is empty.
        RemoveDirectoryW(entry.path.c_str());
        return MoveFileExW(entry.name.c_str(), entry.path.c_str(), 0) != FALSE;
    }
    }
    return true;
}

void InstallJournal::rollback() noexcept {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        // One step that fails (a file in use, a key denied) is told and
        // stays; the steps before it are undone all the same.
        bool undone = false;
        try {
            SetLastError(0);
            undone = undo(*it);
        } catch (...) {
            undone = false;
        }
        if (!undone) note_failure(it->path.c_str(), GetLastError());
    }
    // Programs that list fonts learn once that some went away.
    bool fonts = false;
    for (const Entry& entry : entries_) fonts = fonts || entry.kind == Kind::Font;
    if (fonts) SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
    // What couldn't be undone has been told; a second try from the same
    // records would find the same obstacle, so the records go.
    delete_backups();
    forget_entries();
    close_file(true);
}

void InstallJournal::commit() noexcept {
    // Marked first: a run killed from here on is finished, not undone.
    deferring_ = false;
    if (file_ != INVALID_HANDLE_VALUE && !write_line(L"C")) {
        // Without the mark a later run would undo a finished install:
        // the records go now, and what was moved aside stays for a person.
        delete_backups();
        forget_entries();
        close_file(true);
        return;
    }
    for (const Entry& entry : entries_) {
        if (entry.kind != Kind::Aside || !is_folder(entry.name.c_str())) continue;
        try {
            app::remove_directory_tree(entry.name.c_str());
        } catch (...) {
        }
        if (is_folder(entry.name.c_str())) note_failure(entry.name.c_str(), ERROR_DIR_NOT_EMPTY);
    }
    delete_backups();
    forget_entries();
    close_file(true);
    crash_point(L"committed");
}

void InstallJournal::delete_backups() noexcept {
    for (const Entry& entry : entries_)
        if (entry.kind == Kind::File && entry.existed) support::force_delete(entry.name.c_str());
    if (backup_dir_made_) RemoveDirectoryW(backup_dir_.c_str());
    backup_dir_made_ = false;
}

// --- reading back ------------------------------------------------------------------

namespace {

bool read_journal_text(const wchar_t* file, std::wstring& text) {
    const support::UniqueHandle handle(CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle.get(), &size) || size.QuadPart > kMostJournalBytes || size.QuadPart % 2 != 0)
        return false;
    text.assign(static_cast<std::size_t>(size.QuadPart / 2), L'\0');
    DWORD read = 0;
    return ReadFile(handle.get(), text.data(), static_cast<DWORD>(size.QuadPart), &read, nullptr) &&
           read == size.QuadPart;
}

bool is_well_known(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

// Whether the account `sid` is one the journal folder may belong to and be
// written by: Administrators, the system, and the account that owns what
// this process makes. That is Administrators for an elevated run on
// Windows (so that a folder a program of the same user made without
// elevation is never believed); the user where the token names no
// Administrators owner (a run that isn't elevated, as
// app::create_private_folder grants it, and Wine, whose files all belong
// to the user).
bool trusted_account(PSID sid, PSID token_owner, PSID token_user) {
    if (sid == nullptr || !IsValidSid(sid)) return false;
    if (is_well_known(sid, WinBuiltinAdministratorsSid) || is_well_known(sid, WinLocalSystemSid)) return true;
    if (token_owner != nullptr && EqualSid(sid, token_owner)) return true;
    const bool owner_is_administrators = token_owner != nullptr && is_well_known(token_owner, WinBuiltinAdministratorsSid);
    return !owner_is_administrators && token_user != nullptr && EqualSid(sid, token_user);
}

// A piece of the process token's information.
std::vector<std::uint8_t> token_information(TOKEN_INFORMATION_CLASS what) {
    std::vector<std::uint8_t> buffer;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return buffer;
    DWORD size = 0;
    GetTokenInformation(token, what, nullptr, 0, &size);
    buffer.resize(size);
    if (size == 0 || !GetTokenInformation(token, what, buffer.data(), size, &size)) buffer.clear();
    CloseHandle(token);
    return buffer;
}

// The journal folder as create_private_folder makes it: owned by a trusted
// account, with an access list in which nobody else may write, delete or
// change anything. A folder somebody else made there (every user may make
// folders in the common application data folder) fails this, and so does
// one with no access list at all (open to everyone).
bool written_only_by_administrators(const wchar_t* folder) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const std::vector<std::uint8_t> owner_info = token_information(TokenOwner);
    const std::vector<std::uint8_t> user_info = token_information(TokenUser);
    PSID token_owner = owner_info.empty() ? nullptr : reinterpret_cast<const TOKEN_OWNER*>(owner_info.data())->Owner;
    PSID token_user = user_info.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user_info.data())->User.Sid;
    constexpr ACCESS_MASK kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                      FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL | MAXIMUM_ALLOWED;
    bool trusted = dacl != nullptr && trusted_account(owner, token_owner, token_user);
    for (DWORD index = 0; trusted && index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!GetAce(dacl, index, &ace)) {
            trusted = false;
            break;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            trusted = false;
            break;
        }
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & kChanging) != 0 && !trusted_account(&allowed->SidStart, token_owner, token_user)) trusted = false;
    }
    LocalFree(descriptor);
    return trusted;
}

}  // namespace

bool InstallJournal::load(const wchar_t* file, const wchar_t* product_name, InstallJournal& journal,
                          bool& committed) {
    committed = false;
    std::wstring text;
    if (file == nullptr || !journal.entries_.empty() || !read_journal_text(file, text)) return false;

    Places places;
    places.journal_dir = journal.backup_dir_;
    wchar_t data[app::kPathUnits];
    if (!app::common_data_dir(data, product_name)) return false;
    places.data_dir = data;
    places.data_dir.pop_back();

    std::vector<Entry> entries;
    std::size_t start = 0;
    bool head = false;
    // A run killed while writing a line leaves it without its end: that
    // record never happened, and nothing may follow it.
    while (start < text.size()) {
        const std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) break;
        const std::vector<std::wstring> f = split(text.substr(start, end - start));
        start = end + 1;
        if (entries.size() > kMostRecords || committed) return false;
        const std::wstring& kind = f[0];
        if (!head) {
            if (kind != L"H" || f.size() != 3 || f[1] != kJournalVersion) return false;
            places.install_dir = with_backslash(f[2]);
            if (!plain_full_path(f[2]) || app::is_system_location(places.install_dir.c_str()) ||
                app::passes_through_link(places.install_dir.c_str()))
                return false;
            places.roots = {places.install_dir,     with_backslash(places.data_dir),
                            special_folder(CSIDL_WINDOWS), special_folder(CSIDL_COMMON_PROGRAMS),
                            special_folder(CSIDL_PROGRAMS), special_folder(CSIDL_COMMON_DESKTOPDIRECTORY),
                            special_folder(CSIDL_DESKTOPDIRECTORY)};
            head = true;
            continue;
        }
        Entry entry{Kind::File};
        unsigned long number = 0;
        if (kind == L"F" && f.size() == 5) {
            entry.path = f[1];
            if (!places.file_allowed(entry.path) || (f[2] != L"0" && f[2] != L"1") || !read_number(f[3], number))
                return false;
            entry.existed = f[2] == L"1";
            entry.type = number;
            if (entry.existed) {
                // Only a backup of the journal's own folder, named as made.
                const std::wstring& name = f[4];
                if (name.size() < 5 || name.size() > 14 || name.compare(name.size() - 4, 4, L".bak") != 0) return false;
                for (std::size_t i = 0; i + 4 < name.size(); ++i)
                    if (name[i] < L'0' || name[i] > L'9') return false;
                entry.name = places.journal_dir + name;
                if (!file_exists(entry.name.c_str())) return false;
            }
        } else if ((kind == L"D" || kind == L"T") && f.size() == 2) {
            entry.kind = kind == L"D" ? Kind::Folder : Kind::Font;
            entry.path = f[1];
            if (kind == L"D" ? !places.folder_allowed(entry.path) : !places.file_allowed(entry.path)) return false;
        } else if (kind == L"V" && f.size() == 7) {
            entry.kind = Kind::Value;
            entry.root = root_of(f[1]);
            entry.path = f[2];
            if (!places.key_allowed(entry.root, entry.path) || !unhex_text(f[3], entry.name) ||
                (f[4] != L"0" && f[4] != L"1") || !read_number(f[5], number) ||
                f[6].size() > 2 * kMostValueBytes || !unhex(f[6], entry.data))
                return false;
            entry.existed = f[4] == L"1";
            entry.type = number;
        } else if (kind == L"K" && f.size() == 3) {
            entry.kind = Kind::Key;
            entry.root = root_of(f[1]);
            entry.path = f[2];
            if (!places.key_allowed(entry.root, entry.path)) return false;
        } else if (kind == L"L" && f.size() == 3) {
            entry.kind = Kind::Layout;
            if (!read_number(f[1], number) || number == 0 || !places.file_allowed(f[2])) return false;
            entry.layout = reinterpret_cast<HKL>(static_cast<std::uintptr_t>(number));
            entry.path = f[2];
        } else if (kind == L"I" && f.size() == 3) {
            entry.kind = Kind::LayoutIntent;
            entry.path = f[1];
            if (!places.file_allowed(entry.path)) return false;
            for (std::size_t at = 0; at < f[2].size();) {
                const std::size_t comma = std::min(f[2].find(L',', at), f[2].size());
                const std::wstring key = f[2].substr(at, comma - at);
                if (!read_number(key, number) || entry.keys.size() > 64) return false;
                entry.keys.push_back(key);
                at = comma + 1;
            }
        } else if (kind == L"R" && f.size() == 3) {
            entry.kind = Kind::Replacement;
            entry.path = f[1];
            entry.name = f[2];
            if (!places.file_allowed(entry.path) || !places.file_allowed(entry.name)) return false;
        } else if (kind == L"A" && f.size() == 3) {
            entry.kind = Kind::Aside;
            entry.path = f[1];
            entry.name = f[2];
            if (!plain_full_path(entry.path) || !places.aside_allowed(entry.path, entry.name)) return false;
        } else if (kind == L"C" && f.size() == 1) {
            committed = true;
            continue;
        } else {
            return false;
        }
        entries.push_back(std::move(entry));
    }
    if (!head) return false;
    // Backups found are the journal's to delete once it is done.
    for (const Entry& entry : entries) journal.backup_dir_made_ = journal.backup_dir_made_ || entry.existed;
    journal.entries_ = std::move(entries);
    for (const Entry& entry : journal.entries_)
        if (entry.kind == Kind::File) journal.recorded_files_.insert(folded(entry.path));
    return true;
}

// --- the run's journal and the next run's recovery ---------------------------------------

Recovery recover_interrupted_run(const wchar_t* product_name, support::RunReport& log) {
    wchar_t folder[app::kPathUnits];
    if (!journal_folder(folder, product_name)) return Recovery::None;
    const DWORD attributes = GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) return Recovery::None;
    const std::wstring file = std::wstring(folder) + kJournalFileName;

    Recovery outcome = Recovery::Refused;
    // Only a plain folder: a link there would lead the reading elsewhere.
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY &&
        !app::passes_through_link(folder) && written_only_by_administrators(folder)) {
        InstallJournal journal(folder, &log);
        bool committed = false;
        if (InstallJournal::load(file.c_str(), product_name, journal, committed)) {
            if (committed) {
                // The install was kept: only its clean-up is left.
                for (const InstallJournal::Entry& entry : journal.entries_)
                    if (entry.kind == InstallJournal::Kind::Aside && is_folder(entry.name.c_str()))
                        app::remove_directory_tree(entry.name.c_str());
                journal.forget_entries();
                outcome = Recovery::Finished;
            } else {
                journal.rollback();
                outcome = Recovery::RolledBack;
            }
        }
        // A journal that can't be read undoes nothing: its records would
        // name places no run of the product writes.
    }
    const wchar_t* row = outcome == Recovery::RolledBack ? kRecoveredRow
                         : outcome == Recovery::Finished ? kFinishedRow
                                                         : kRefusedRow;
    std::wstring line = std::wstring(row) + folder;
    log.row(line.c_str());
    if (outcome == Recovery::Refused) log.failure(folder, ERROR_INVALID_DATA);
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RemoveDirectoryW(folder);  // the link itself, never what it leads to
    } else {
        app::remove_directory_tree(folder);
    }
    return outcome;
}

std::unique_ptr<InstallJournal> open_run_journal(const wchar_t* product_name, const wchar_t* install_dir,
                                                 const wchar_t* fallback_dir, support::RunReport& log) {
    recover_interrupted_run(product_name, log);
    wchar_t folder[app::kPathUnits];
    const bool named = journal_folder(folder, product_name);
    if (named) {
        // The vendor's folder above it (which the data folders share) first.
        std::wstring vendor(folder, std::wcslen(folder) - 1);
        vendor.resize(vendor.find_last_of(L'\\'));
        app::make_directory_path(vendor.c_str());
    }
    if (named && app::create_private_folder(folder)) {
        auto journal = std::make_unique<InstallJournal>(folder, &log);
        const std::wstring file = std::wstring(folder) + kJournalFileName;
        if (journal->keep_on_disk(file.c_str(), install_dir)) return journal;
        RemoveDirectoryW(folder);
    } else {
        log.failure(folder, GetLastError());
    }
    return std::make_unique<InstallJournal>(fallback_dir, &log);
}


}  // namespace install
