#pragma once
// A registry value's exact type and bytes. The registry API adds a NUL to
// a string stored without one when it reports its size (Wine does, for
// every REG_SZ kept without its terminator, as this program writes them),
// so undoing a write from such a read would put back two bytes more than
// were there. The native call underneath reports the stored bytes.

#include <windows.h>

#include <cstdint>
#include <vector>

namespace install {

// ERROR_SUCCESS with `type` and `data` filled, ERROR_FILE_NOT_FOUND when
// the value doesn't exist, or another error.
LSTATUS read_raw_value(HKEY key, const wchar_t* name, DWORD& type, std::vector<std::uint8_t>& data);

}  // namespace install
