#pragma once
// Bounded text into fixed-size wide slots: paths of 260 units, names of 40,
// short number texts of 20. A slot of N units holds N - 1 characters; every
// routine here cuts the text to fit and always terminates it.
//
// Format strings use %ls for wide text (the same meaning under the C
// library's and the Microsoft conventions).

#include <cstddef>
#include <cstdint>

namespace support {

inline constexpr std::uint32_t kStatusOk = 0;
inline constexpr std::uint32_t kStatusInvalidArgument = 0x80070057u;
inline constexpr std::uint32_t kStatusInsufficientBuffer = 0x8007007Au;
inline constexpr std::size_t kMaxSlotUnits = 2147483647u;

// printf-style formatting into `buffer` of `units` units. Returns
// kStatusOk, kStatusInsufficientBuffer (the text was cut at units - 1
// characters) or kStatusInvalidArgument (units is 0 or too large; the
// buffer is left untouched). Callers use a cut text as it is.
std::uint32_t format_bounded(wchar_t* buffer, std::size_t units, const wchar_t* format, ...);

// The same for a slot whose size the compiler knows.
template <std::size_t N, typename... Args>
std::uint32_t format_slot(wchar_t (&buffer)[N], const wchar_t* format, Args... args) {
    return format_bounded(static_cast<wchar_t*>(buffer), N, format, args...);
}

// Copy / append at most as many characters as leave room for the
// terminator. Return true when nothing was cut.
bool copy_bounded(wchar_t* buffer, std::size_t units, const wchar_t* text);
bool append_bounded(wchar_t* buffer, std::size_t units, const wchar_t* text);

template <std::size_t N>
bool copy_slot(wchar_t (&buffer)[N], const wchar_t* text) {
    return copy_bounded(static_cast<wchar_t*>(buffer), N, text);
}
template <std::size_t N>
bool append_slot(wchar_t (&buffer)[N], const wchar_t* text) {
    return append_bounded(static_cast<wchar_t*>(buffer), N, text);
}

}  // namespace support
