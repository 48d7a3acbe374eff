#pragma once
// The one bridge between the neutral core's UTF-16 text (char16_t) and the
// Win32 code's wide text (wchar_t).
//
// On Windows both are 16-bit UTF-16 units, so text crosses by copying units
// (to_wide / to_u16) or, for records that already hold UTF-16 slots, by
// looking at the same storage through the other type (as_wide / as_u16;
// only where wchar_t is 16-bit). The Win32 API reads such storage as
// plain UTF-16 units, which is what it is. On Linux (32-bit wchar_t) the
// copies decode and encode surrogate pairs so the text stays the same.

#include <cstddef>
#include <cwchar>
#include <string>
#include <string_view>

namespace support {

inline constexpr bool kWideIsUtf16 = sizeof(wchar_t) == sizeof(char16_t);

inline std::wstring to_wide(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    if constexpr (kWideIsUtf16) {
        for (char16_t unit : text) out.push_back(static_cast<wchar_t>(unit));
    } else {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char32_t unit = text[i];
            if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] < 0xE000) {
                const char32_t low = text[++i];
                out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
            } else {
                out.push_back(static_cast<wchar_t>(unit));  // lone surrogates travel as they are
            }
        }
    }
    return out;
}

inline std::u16string to_u16(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t unit : text) {
        const auto code = static_cast<char32_t>(unit);
        if (!kWideIsUtf16 && code > 0xFFFF && code <= 0x10FFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

#if WCHAR_MAX <= 0xFFFF
// The same UTF-16 storage seen as the other unit type (Windows only).
inline wchar_t* as_wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* as_wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline char16_t* as_u16(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }
inline const char16_t* as_u16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }

// Slot forms keep the slot size, so the slot templates of format_bounded.h
// work on a record's char16_t slots: format_slot(wide_slot(info.ime_name), ...).
template <std::size_t N>
wchar_t (&wide_slot(char16_t (&slot)[N]))[N] {
    return reinterpret_cast<wchar_t(&)[N]>(slot);
}
template <std::size_t N>
const wchar_t (&wide_slot(const char16_t (&slot)[N]))[N] {
    return reinterpret_cast<const wchar_t(&)[N]>(slot);
}
template <std::size_t N>
char16_t (&u16_slot(wchar_t (&slot)[N]))[N] {
    return reinterpret_cast<char16_t(&)[N]>(slot);
}
template <std::size_t N>
const char16_t (&u16_slot(const wchar_t (&slot)[N]))[N] {
    return reinterpret_cast<const char16_t(&)[N]>(slot);
}
#endif

}  // namespace support
