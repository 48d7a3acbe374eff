#pragma once
// Text in and out of the driver: everything inside is UTF-16; the Linux side
// reads and writes UTF-8, whatever the console code page is.

#include <string>
#include <string_view>

namespace uidriver {

std::string to_utf8(std::wstring_view text);
std::wstring from_utf8(std::string_view text);

// Writes text as UTF-8 to standard output / standard error (a console gets
// it as UTF-16 so that it shows correctly there too).
void out(std::wstring_view text);
void out_line(std::wstring_view text);
void err_line(std::wstring_view text);

// "0x0001002A" for a window handle, for listings and later "hwnd:" selectors.
std::wstring hex_handle(const void* handle);

}  // namespace uidriver
