#include "install/font_install.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

#include "install/file_placement.h"
#include "install/install_journal.h"
#include "install/install_run.h"
#include "support/file_kind.h"
#include "support/text_slot.h"
#include "support/unique_handle.h"

namespace install {

namespace {

using support::PathSlot;

struct FindCloser {
    HANDLE handle;
    ~FindCloser() {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }
};

bool fonts_folder(PathSlot& folder) {
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_FONTS | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                                folder.data())))
        return false;
    folder.seal();
    const std::size_t length = folder.size();
    return length > 0 && (folder.c_str()[length - 1] == L'\\' || folder.append(L"\\"));
}

// False when the font couldn't be placed; a file that is no font is left
// alone.
bool install_font(const wchar_t* folder, const wchar_t* name, const PathSlot& fonts, InstallRun& run,
                  Transfer transfer) {
    wchar_t value_name[kFontValueUnits];
    if (!font_value_name(name, value_name)) return true;
    PathSlot source;
    PathSlot target;
    // A path that doesn't fit would name another file.
    if (source.format(L"%ls%ls", folder, name) != support::kStatusOk ||
        target.format(L"%ls%ls", fonts.c_str(), name) != support::kStatusOk) {
        report_failure(run, name, ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    const Placement placed = place_file(source.c_str(), target.c_str(), &run, transfer);
    if (placed == Placement::Failed) return false;
    // A font staged for the restart isn't there yet to be added.
    if (placed == Placement::Placed && AddFontResourceW(target.c_str()) != 0 && run.journal != nullptr)
        run.journal->font_added(target.c_str());
    if (write_font_value(name, value_name, run.journal) != 0) {
        const std::wstring value = std::wstring(L"HKLM\\") + kFontsKey + L"\\" + value_name;
        report_touched(run, support::Touch::value_written, value.c_str());
    }
    return true;
}

int install_fonts_of(const wchar_t* folder, InstallRun& run, Transfer transfer) {
    PathSlot fonts;
    if (folder == nullptr) return 0;
    if (!fonts_folder(fonts)) {
        report_failure(run, L"Fonts", ERROR_PATH_NOT_FOUND);
        return 0;
    }
    bool placed = true;
    PathSlot pattern;
    if (pattern.format(L"%ls*", folder) == support::kStatusOk) {
        WIN32_FIND_DATAW entry{};
        FindCloser search{FindFirstFileW(pattern.c_str(), &entry)};
        if (search.handle != INVALID_HANDLE_VALUE) {
            do {
                // Only the files of the folder itself; its subfolders aren't fonts.
                if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                    placed = install_font(folder, entry.cFileName, fonts, run, transfer);
            } while (placed && FindNextFileW(search.handle, &entry));
        }
    }
    // A hung window mustn't hold the install up.
    SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
    return placed ? 1 : 0;
}

}  // namespace

bool font_value_name(const wchar_t* file_name, wchar_t (&value_name)[kFontValueUnits]) {
    value_name[0] = L'\0';
    if (file_name == nullptr) return false;
    const wchar_t* ttf = std::wcsstr(file_name, L".ttf");
    if (ttf != nullptr) {
        // The name up to its first ".ttf"; like every text in a slot, a
        // value name too long for it is cut.
        std::size_t kept = static_cast<std::size_t>(ttf - file_name);
        if (kept > kFontValueUnits - 1) kept = kFontValueUnits - 1;
        std::wmemcpy(value_name, file_name, kept);
        value_name[kept] = L'\0';
        support::append_slot(value_name, L"(TrueType)");
        return true;
    }
    if (std::wcsstr(file_name, L".ttc") != nullptr) {
        support::format_slot(value_name, L"%ls(TrueType-C)", file_name);
        return true;
    }
    return false;
}

int install_fonts(const wchar_t* folder, InstallJournal* journal) {
    InstallRun run;
    run.journal = journal;
    return install_fonts_of(folder, run, Transfer::copy);
}

int install_fonts(const wchar_t* folder, InstallRun& run) { return install_fonts_of(folder, run, Transfer::move); }

int write_font_value(const wchar_t* file_name, const wchar_t* value_name, InstallJournal* journal) {
    if (file_name == nullptr || value_name == nullptr) return 0;
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontsKey, 0, KEY_ALL_ACCESS | kRegistryView, key.put()) != ERROR_SUCCESS)
        return 0;
    if (journal != nullptr && !journal->before_value_write(HKEY_LOCAL_MACHINE, kFontsKey, value_name)) return 0;
    const auto bytes = static_cast<DWORD>(std::wcslen(file_name) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(file_name), bytes) ==
                   ERROR_SUCCESS
               ? 1
               : 0;
}

}  // namespace install
