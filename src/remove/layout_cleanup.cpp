#include "remove/layout_cleanup.h"

#include <atomic>
#include <cstdint>
#include <string>

#include "app/records.h"
#include "app/run_options.h"
#include "install/file_names.h"
#include "install/ime_registration.h"
#include "install/pending_renames.h"
#include "support/format_bounded.h"
#include "support/unique_handle.h"

namespace removal {

namespace {

constexpr wchar_t kPreloadKey[] = L"Keyboard Layout\\Preload";
constexpr wchar_t kCurrentLayouts[] = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts";
constexpr wchar_t kControlSet001Layouts[] = L"SYSTEM\\ControlSet001\\Control\\Keyboard Layouts";
constexpr int kImeFileNameUnits = 40;
constexpr DWORD kPreloadNameUnits = 260;
constexpr DWORD kPreloadDataBytes = 260;
constexpr DWORD kKeyNameUnits = 20;
constexpr UINT kTimedBroadcastWaitMs = 100;
constexpr std::uint32_t kMaxRetryNotices = 5;

// Counts failed timed broadcasts over the whole process: a second cleanup
// in the same process doesn't get a fresh set of retries.
std::atomic<std::uint32_t> g_broadcast_retries{0};

bool send_setting_change(UINT flags, UINT wait_ms) {
    return SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(kPreloadSetting), flags,
                               wait_ms, nullptr) != 0;
}

}  // namespace

void layout_text(HKL layout, wchar_t (&text)[20]) {
    const auto value = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(layout));
    support::format_slot(text, L"%X", static_cast<unsigned>(value));
}

bool remove_preload_entry(const wchar_t* text) {
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPreloadKey, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return false;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kPreloadNameUnits];
        DWORD name_units = kPreloadNameUnits;
        // One unit beyond what the system may fill keeps the data terminated.
        wchar_t data[kPreloadDataBytes / sizeof(wchar_t) + 1] = {};
        DWORD data_bytes = kPreloadDataBytes;
        if (RegEnumValueW(key.get(), index, name, &name_units, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                          &data_bytes) != ERROR_SUCCESS)
            return false;
        if (install::same_name(data, text)) return RegDeleteValueW(key.get(), name) == ERROR_SUCCESS;
    }
}

bool remove_layout_key(const wchar_t* layouts_key, const wchar_t* text) {
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, layouts_key, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return false;
    bool removed = false;
    // Layout names are unique, so going on past a deletion (which shifts
    // the following keys down by one) can't miss a second match.
    for (DWORD index = 0;; ++index) {
        wchar_t name[kKeyNameUnits];
        DWORD name_units = kKeyNameUnits;
        if (RegEnumKeyExW(key.get(), index, name, &name_units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return removed;
        if (install::same_name(name, text) && RegDeleteKeyW(key.get(), name) == ERROR_SUCCESS) removed = true;
    }
}

bool broadcast_preload_change() {
    while (!send_setting_change(SMTO_NOTIMEOUTIFNOTHUNG, kTimedBroadcastWaitMs)) {
        if (g_broadcast_retries.fetch_add(1) >= kMaxRetryNotices) break;
        // A run without a window shows nothing and only tries again.
        if (!app::run_options().silent) MessageBoxW(nullptr, L"", L"", MB_OK);
    }
    // The last send waits for the windows that answer, but never for ever:
    // a hung window must not hold the uninstall.
    return send_setting_change(SMTO_ABORTIFHUNG, kPlainBroadcastWaitMs);
}

bool delete_or_schedule(const wchar_t* path) {
    if (DeleteFileW(path)) return true;
    return install::schedule_deletion(path);
}

int clean_up_ime_layout(const wchar_t* product_name, support::RunReport* report) {
    wchar_t ime_file[kImeFileNameUnits];
    // A cut name would stand for another IME's file.
    if (support::format_slot(ime_file, L"%ls.zin.ime", product_name) != support::kStatusOk) return 0;
    wchar_t system_file[app::kPathUnits];
    if (!install::system_ime_path(system_file, product_name)) return 0;
    const HKL layout = install::find_ime_layout(ime_file);
    if (layout == nullptr) return 0;

    wchar_t text[20];
    layout_text(layout, text);
    if (remove_preload_entry(text) && report != nullptr) {
        const std::wstring value = std::wstring(L"HKCU\\") + kPreloadKey + L"\\(" + text + L")";
        report->touched(support::Touch::value_removed, value.c_str());
    }
    for (const wchar_t* layouts : {kCurrentLayouts, kControlSet001Layouts}) {
        if (remove_layout_key(layouts, text) && report != nullptr) {
            const std::wstring key = std::wstring(L"HKLM\\") + layouts + L"\\" + text;
            report->touched(support::Touch::key_removed, key.c_str());
        }
    }
    UnloadKeyboardLayout(layout);
    UnloadKeyboardLayout(layout);
    broadcast_preload_change();
    if (DeleteFileW(system_file)) {
        if (report != nullptr) report->touched(support::Touch::file_deleted, system_file);
    } else if (install::schedule_deletion(system_file)) {
        if (report != nullptr) report->touched(support::Touch::file_staged, system_file);
    } else if (report != nullptr) {
        report->failure(system_file, GetLastError());
    }
    return 1;
}

}  // namespace removal
