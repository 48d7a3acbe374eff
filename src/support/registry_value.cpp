#include "support/registry_value.h"

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

}  // namespace support
