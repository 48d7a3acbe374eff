#include "support/registry_value.h"

#include <cwchar>
#include <string>

namespace support {

bool read_string_value(HKEY key, const wchar_t* name, wchar_t* buffer, std::size_t units, DWORD max_bytes) {
    if (units == 0) return false;
    const std::size_t capacity = units * sizeof(wchar_t);
    DWORD bytes = max_bytes < capacity ? max_bytes : static_cast<DWORD>(capacity);
    DWORD type = REG_NONE;
    const LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    // After a failed read the buffer's content is undefined: clear it.
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        buffer[0] = L'\0';
        return false;
    }
    std::size_t end = bytes / sizeof(wchar_t);
    if (end > units - 1) end = units - 1;
    buffer[end] = L'\0';
    return true;
}

bool read_whole_string_value(HKEY key, const wchar_t* name, wchar_t* text, std::size_t units) {
    text[0] = L'\0';
    std::wstring scratch(units + 1, L'\0');
    if (!read_string_value(key, name, scratch.data(), units + 1, static_cast<DWORD>((units + 1) * sizeof(wchar_t))))
        return false;
    const std::size_t length = std::wcslen(scratch.c_str());
    if (length >= units) return false;
    std::wmemcpy(text, scratch.c_str(), length + 1);
    return true;
}

}  // namespace support
