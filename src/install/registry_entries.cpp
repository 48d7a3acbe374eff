#include "install/registry_entries.h"

#include <cwchar>
#include <string>

#include "app/install_path.h"
#include "install/install_journal.h"
#include "install/install_list.h"
#include "install/install_run.h"
#include "install/plain_name.h"
#include "install/run_install.h"
#include "support/format_bounded.h"
#include "support/registry_value.h"
#include "support/unique_handle.h"
#include "support/wide.h"

namespace install {

namespace {

constexpr wchar_t kUninstallKeyFormat[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%ls";
constexpr wchar_t kVendorKeyFormat[] = L"Software\\marlix\\%ls";

const wchar_t* text_of(const char16_t* slot) { return support::as_wide(slot); }

const wchar_t* ime_name_of(const InstallRun& run) { return run.info != nullptr ? text_of(run.info->ime_name) : L""; }

// Creates or opens `name` below `parent`. A key that this call created is
// journaled as `path` (its full path below `root`), so rollback deletes it.
support::UniqueKey create_key(InstallRun& run, HKEY root, HKEY parent, const wchar_t* name, const wchar_t* path) {
    support::UniqueKey key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | kRegistryView, nullptr,
                        key.put(), &disposition) != ERROR_SUCCESS)
        return {};
    if (disposition == REG_CREATED_NEW_KEY && run.journal != nullptr) run.journal->key_created(root, path);
    if (disposition == REG_CREATED_NEW_KEY) report_touched(run, support::Touch::key_written, registry_text(root, path).c_str());
    return key;
}

// One REG_SZ value, given with a data length of its characters times two
// (the terminating NUL not counted). The system itself then stores the NUL
// that follows the text in memory as well (Windows and Wine alike), so
// readers always find the value terminated; an empty text is stored as no
// data at all. A value whose old content the journal couldn't keep is left
// as it is.
void write_text(InstallRun& run, HKEY root, const wchar_t* path, HKEY key, const wchar_t* name, const wchar_t* text) {
    if (run.journal != nullptr && !run.journal->before_value_write(root, path, name)) return;
    const auto bytes = static_cast<DWORD>(std::wcslen(text) * sizeof(wchar_t));
    const LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
    const std::wstring value = registry_text(root, path, name);
    if (status == ERROR_SUCCESS) report_touched(run, support::Touch::value_written, value.c_str());
    else report_failure(run, value.c_str(), static_cast<unsigned long>(status));
}

// The path of the installer the user started: what follows "file=" in the
// command line, up to the first "]" after it; the whole line without it.
void install_source(const wchar_t* command_line, wchar_t (&source)[app::kPathUnits]) {
    const wchar_t* file = std::wcsstr(command_line, L"file=");
    if (file == nullptr) {
        support::copy_slot(source, command_line);
        return;
    }
    file += 5;
    const wchar_t* end = std::wcschr(file, L']');
    const std::size_t length = end != nullptr ? static_cast<std::size_t>(end - file) : std::wcslen(file);
    std::size_t kept = length < app::kPathUnits ? length : app::kPathUnits - 1;
    std::wmemcpy(source, file, kept);
    source[kept] = L'\0';
}

void write_entry_values(InstallRun& run, const wchar_t* path, HKEY key, const wchar_t* owner, const wchar_t* company) {
    const package::InstallInfo& info = *run.info;
    const wchar_t* dir = run.install_dir;
    const wchar_t* ime_name = text_of(info.ime_name);

    wchar_t display_icon[app::kPathUnits];
    support::format_slot(display_icon, L"%lsunstall.exe", dir);
    wchar_t help_link[app::kPathUnits];
    if (info.help_link[0] != u'\0') support::copy_slot(help_link, text_of(info.help_link));
    else support::format_slot(help_link, L"%lsmain.chm", dir);
    wchar_t uninstall_string[app::kPathUnits];
    // Quoted: unquoted, a path with spaces ("C:\\Program Files\\...") is
    // tried as "C:\\Program.exe" first. The command-line grammar finds its
    // switches anywhere, so entries of earlier installs, unquoted, still work.
    support::format_slot(uninstall_string, L"\"%lsUnstall.exe\" -u name=[%ls]", dir, ime_name);
    wchar_t source[app::kPathUnits];
    install_source(run.context != nullptr ? run.context->command_line : L"", source);
    wchar_t modify_path[app::kPathUnits];
    support::format_slot(modify_path, L"\"%lsUnstall.exe\" -r name=[%ls]", dir, ime_name);

    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } values[] = {
        {L"RegOwner", owner != nullptr ? owner : L""},
        {L"RegCompany", company != nullptr ? company : L""},
        {L"DisplayName", text_of(info.display_name)},
        {L"Comments", text_of(info.comments)},
        {L"DisplayVersion", text_of(info.display_version)},
        {L"DisplayIcon", display_icon},
        {L"Contact", text_of(info.contact)},
        {L"Publisher", text_of(info.publisher)},
        {L"URLInfoAbout", text_of(info.url_info_about)},
        {L"URLUpdateInfo", text_of(info.url_update_info)},
        {L"HelpLink", help_link},
        {L"HelpTelephone", text_of(info.help_telephone)},
        {L"UninstallString", uninstall_string},
        {L"InstallLocation", dir},
        {L"InstallSource", source},
        {L"ModifyPath", modify_path},
    };
    for (const auto& value : values) write_text(run, HKEY_LOCAL_MACHINE, path, key, value.name, value.text);
}

// One REG_DWORD value, journaled like the texts.
void write_number(InstallRun& run, HKEY root, const wchar_t* path, HKEY key, const wchar_t* name, DWORD number) {
    if (run.journal != nullptr && !run.journal->before_value_write(root, path, name)) return;
    const LSTATUS status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    const std::wstring value = registry_text(root, path, name);
    if (status == ERROR_SUCCESS) report_touched(run, support::Touch::value_written, value.c_str());
    else report_failure(run, value.c_str(), static_cast<unsigned long>(status));
}

// Bytes of the file at `path`; 0 when it can't be read.
unsigned long long file_bytes(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// KiB (rounded up) of what the install leaves in its folder: every file
// it placed there, the kept package and the list of placed files among
// them, but not the install information, which goes when the run ends.
// Read once those are in place, so that an install and a repair of the
// same package count the same.
DWORD installed_kib(const InstallRun& run) {
    unsigned long long bytes = 0;
    for (const std::wstring& relative : run.placed) {
        if (CompareStringOrdinal(relative.c_str(), -1, kInstallInfoName, -1, TRUE) == CSTR_EQUAL) continue;
        bytes += file_bytes((std::wstring(run.install_dir) + relative).c_str());
    }
    const unsigned long long kib = (bytes + 1023) / 1024;
    return kib > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(kib);
}

// What Windows' list of programs and deployment tools read beyond the
// sixteen values: the day of the install and the uninstall command that
// asks nobody anything (the size follows once the package is kept,
// write_estimated_size).
void write_deployment_values(InstallRun& run, const wchar_t* path, HKEY key) {
    SYSTEMTIME today{};
    GetLocalTime(&today);
    wchar_t date[16];
    support::format_slot(date, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    write_text(run, HKEY_LOCAL_MACHINE, path, key, L"InstallDate", date);
    // The switch before the mode switch: a name's brackets never reach it.
    const std::wstring quiet =
        L"\"" + std::wstring(run.install_dir) + L"Unstall.exe\" /S -u name=[" + ime_name_of(run) + L"]";
    write_text(run, HKEY_LOCAL_MACHINE, path, key, L"QuietUninstallString", quiet.c_str());
}

void write_vendor_key(InstallRun& run, HKEY root, const wchar_t* ime_name) {
    support::UniqueKey software;
    if (RegOpenKeyExW(root, L"Software", 0, KEY_CREATE_SUB_KEY | kRegistryView, software.put()) != ERROR_SUCCESS)
        return;
    support::UniqueKey vendor = create_key(run, root, software.get(), L"marlix", kVendorKey);
    if (!vendor) return;
    wchar_t path[app::kPathUnits];
    support::format_slot(path, kVendorKeyFormat, ime_name);
    support::UniqueKey product = create_key(run, root, vendor.get(), ime_name, path);
    if (!product) return;
    write_text(run, root, path, product.get(), kInstallPathValue, run.install_dir);
}

// A non-empty value of `key_path` below `root` into `text`; `opened` says
// whether the key opened.
bool read_text(HKEY root, const wchar_t* key_path, const wchar_t* value, wchar_t (&text)[app::kPathUnits],
               bool& opened) {
    text[0] = L'\0';
    support::UniqueKey key;
    opened = RegOpenKeyExW(root, key_path, 0, KEY_QUERY_VALUE | kRegistryView, key.put()) == ERROR_SUCCESS;
    return opened && support::read_whole_string_value(key.get(), value, text, app::kPathUnits) && text[0] != L'\0';
}

}  // namespace

int write_uninstall_entry(InstallRun& run, const wchar_t* owner, const wchar_t* company) {
    const wchar_t* ime_name = ime_name_of(run);
    if (!is_plain_name(ime_name)) return 1;
    support::UniqueKey parent;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ALL_ACCESS | kRegistryView, parent.put()) !=
        ERROR_SUCCESS)
        return 1;
    wchar_t name[app::kNameUnits];
    support::format_slot(name, L"%ls", ime_name);
    wchar_t path[app::kPathUnits];
    support::format_slot(path, kUninstallKeyFormat, name);
    support::UniqueKey entry = create_key(run, HKEY_LOCAL_MACHINE, parent.get(), name, path);
    if (entry) {
        write_entry_values(run, path, entry.get(), owner, company);
        write_deployment_values(run, path, entry.get());
    }
    return 1;
}

void write_vendor_keys(InstallRun& run) {
    // "<ime_name>\" in 40 units names the same key as the bare name, also
    // when a name of 39 units leaves no room for the backslash.
    const wchar_t* ime_name = ime_name_of(run);
    if (!is_plain_name(ime_name)) return;
    wchar_t name[app::kNameUnits];
    support::format_slot(name, L"%ls", ime_name);
    write_vendor_key(run, HKEY_LOCAL_MACHINE, name);
    write_vendor_key(run, HKEY_CURRENT_USER, name);
}

int read_install_path(const wchar_t* name, wchar_t (&path)[app::kPathUnits]) {
    return app::read_install_path(name, path, app::InstallPathRoots::machine_then_user) ? 1 : 0;
}

int read_last_run_path(wchar_t (&path)[app::kPathUnits]) {
    bool opened = false;
    return read_text(HKEY_CURRENT_USER, kGeneratorKey, kLastRunPathValue, path, opened) ? 1 : 0;
}

std::size_t read_update_url(const wchar_t* name, wchar_t* buffer) {
    wchar_t scratch[kUpdateUrlUnits];
    wchar_t* text = buffer != nullptr ? buffer : scratch;
    text[0] = L'\0';
    if (!is_plain_name(name)) return 0;
    wchar_t key_path[app::kPathUnits];
    if (support::format_slot(key_path, kUninstallKeyFormat, name) != support::kStatusOk) return 0;
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE | kRegistryView, key.put()) != ERROR_SUCCESS)
        return 0;
    if (!support::read_whole_string_value(key.get(), kUpdateUrlValue, text, kUpdateUrlUnits)) return 0;
    return std::wcslen(text);
}

int write_estimated_size(InstallRun& run) {
    const wchar_t* ime_name = ime_name_of(run);
    if (!is_plain_name(ime_name)) return 1;
    wchar_t path[app::kPathUnits];
    support::format_slot(path, kUninstallKeyFormat, ime_name);
    support::UniqueKey entry;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE | kRegistryView, entry.put()) != ERROR_SUCCESS)
        return 0;
    write_number(run, HKEY_LOCAL_MACHINE, path, entry.get(), L"EstimatedSize", installed_kib(run));
    return 1;
}

}  // namespace install
