#pragma once
// Reading a registry string into a fixed slot so that the slot always ends
// terminated, whatever the stored value holds.

#include <windows.h>

#include <cstddef>

namespace support {

// Reads the string value `name` of `key` into `buffer` (`units` units),
// accepting at most `max_bytes` bytes of data (never more than the buffer
// holds). The text is terminated even when the stored value has no NUL of
// its own or fills the buffer exactly (its last unit is then cut). A
// missing value, one of another type than REG_SZ or REG_EXPAND_SZ, or one
// too long for the limit leaves `buffer` empty and returns false.
bool read_string_value(HKEY key, const wchar_t* name, wchar_t* buffer, std::size_t units, DWORD max_bytes);

// A string value that fits `units` units with its terminator, whole, into
// `text`. It is read into one unit more than that, so that a value which
// would only fit without its terminator (Windows hands such a value over
// when it fills the buffer exactly, and the reader would cut it) shows as
// too long instead of arriving cut. false, with `text` empty, otherwise.
bool read_whole_string_value(HKEY key, const wchar_t* name, wchar_t* text, std::size_t units);

// The same for a slot, with a limit of the slot's size in bytes.
template <std::size_t N>
bool read_string_value(HKEY key, const wchar_t* name, wchar_t (&slot)[N]) {
    return read_string_value(key, name, static_cast<wchar_t*>(slot), N, static_cast<DWORD>(N * sizeof(wchar_t)));
}

}  // namespace support
