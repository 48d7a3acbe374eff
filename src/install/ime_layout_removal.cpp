#include "install/ime_layout_removal.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "install/file_names.h"
#include "install/install_journal.h"
#include "install/raw_value.h"
#include "support/unique_handle.h"

namespace install {

namespace {

constexpr wchar_t kLayoutsKey[] = L"System\\CurrentControlSet\\Control\\Keyboard Layouts";
constexpr wchar_t kPreloadKey[] = L"Keyboard Layout\\Preload";

// The layout's key goes only while it still describes our IME file: a key
// that another install has taken over in the meantime stays.
void delete_layout_key(const wchar_t* key_name, const wchar_t* ime_file_name) {
    const std::wstring path = std::wstring(kLayoutsKey) + L"\\" + key_name;
    {
        support::UniqueKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | kRegistryView, key.put()) !=
            ERROR_SUCCESS)
            return;
        DWORD type = 0;
        std::vector<std::uint8_t> data;
        if (read_raw_value(key.get(), L"Ime File", type, data) != ERROR_SUCCESS || type != REG_SZ) return;
        std::wstring ime_file(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        ime_file.resize(std::wcslen(ime_file.c_str()));  // up to its NUL, if it has one
        if (!same_name(file_name_part(ime_file.c_str()), file_name_part(ime_file_name))) return;
    }
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), kRegistryView, 0);
}

struct PreloadEntry {
    unsigned long number;
    std::wstring name;
    std::wstring layout;
    std::vector<BYTE> data;  // written back as it was read
};

std::vector<PreloadEntry> read_preload(HKEY key) {
    std::vector<PreloadEntry> entries;
    for (DWORD index = 0;; ++index) {
        wchar_t name[32];
        DWORD name_units = 32;
        wchar_t data[64] = {};
        DWORD data_bytes = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key, index, name, &name_units, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &data_bytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        const auto* bytes = reinterpret_cast<const BYTE*>(data);
        entries.push_back({std::wcstoul(name, nullptr, 10), name, data, std::vector<BYTE>(bytes, bytes + data_bytes)});
    }
    return entries;
}

// Takes the layout out of the list in place: the entries after it move up
// one number each, one value set at a time, then the last number goes.
// Nothing else of the list is touched, so a run stopped half way leaves at
// worst one entry listed twice, never a list deleted and not yet written.
void remove_from_preload(const wchar_t* key_name) {
    support::UniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPreloadKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    std::vector<PreloadEntry> entries = read_preload(key.get());
    // The list in its own order; only the numbered entries count.
    std::vector<PreloadEntry> numbered;
    for (PreloadEntry& entry : entries)
        if (entry.number > 0 && std::to_wstring(entry.number) == entry.name) numbered.push_back(std::move(entry));
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const PreloadEntry& a, const PreloadEntry& b) { return a.number < b.number; });
    for (;;) {
        std::size_t at = 0;
        while (at < numbered.size() && !same_name(numbered[at].layout.c_str(), key_name)) ++at;
        if (at == numbered.size()) return;
        // Each later entry takes the number of the one before it.
        for (std::size_t i = at; i + 1 < numbered.size(); ++i) {
            const PreloadEntry& next = numbered[i + 1];
            RegSetValueExW(key.get(), numbered[i].name.c_str(), 0, REG_SZ, next.data.data(),
                           static_cast<DWORD>(next.data.size()));
        }
        RegDeleteValueW(key.get(), numbered.back().name.c_str());
        // The names stay with their numbers; the data moved up by one.
        for (std::size_t i = at; i + 1 < numbered.size(); ++i) {
            numbered[i].layout = numbered[i + 1].layout;
            numbered[i].data = numbered[i + 1].data;
        }
        numbered.pop_back();
    }
}

}  // namespace

void layout_key_name(HKL layout, wchar_t (&name)[9]) {
    const auto id = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(layout));
    std::swprintf(name, 9, L"%08x", static_cast<unsigned>(id));
}

void remove_ime_layout(HKL layout, const wchar_t* ime_file_name) {
    if (layout == nullptr) return;
    UnloadKeyboardLayout(layout);
    wchar_t key_name[9];
    layout_key_name(layout, key_name);
    delete_layout_key(key_name, ime_file_name != nullptr ? ime_file_name : L"");
    remove_from_preload(key_name);
}

}  // namespace install
