#include "support/display_name.h"

#include <windows.h>

#include "support/text_slot.h"
#include "support/unique_handle.h"

namespace support {

std::size_t query_display_name(const wchar_t* product_name, wchar_t* out) {
    wchar_t scratch[kDisplayNameUnits];
    wchar_t* text = out != nullptr ? out : scratch;
    text[0] = L'\0';

    PathSlot key_path;
    key_path.format(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%ls", product_name ? product_name : L"");
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;

    DWORD type = 0;
    DWORD bytes = kDisplayNameUnits * sizeof(wchar_t);
    const LONG status =
        RegQueryValueExW(key.get(), L"DisplayName", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        text[0] = L'\0';
        return 0;
    }
    // The program's own entries are stored without their terminator, so the
    // value may fill the buffer exactly: then there is no room to end it.
    std::size_t units = bytes / sizeof(wchar_t);
    while (units > 0 && text[units - 1] == L'\0') --units;
    if (units >= kDisplayNameUnits) {
        text[0] = L'\0';
        return 0;
    }
    text[units] = L'\0';
    std::size_t length = 0;
    while (text[length] != L'\0') ++length;
    return length;
}

}  // namespace support
