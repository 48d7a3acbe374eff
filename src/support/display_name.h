#pragma once
// The display name of an installed product, from its uninstall entry.

#include <cstddef>

namespace support {

// Units read at most: 40 bytes, so 19 characters and the terminator.
inline constexpr std::size_t kDisplayNameUnits = 20;

// Reads "DisplayName" of the product's uninstall entry, the key
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<product_name>"
// under HKEY_LOCAL_MACHINE, into `out` (at least kDisplayNameUnits units;
// may be null when only the answer matters) and returns its length in
// characters. A missing key or value, a value that
// isn't text, and one that doesn't fit with its terminator all give 0 (and
// an empty `out`).
std::size_t query_display_name(const wchar_t* product_name, wchar_t* out = nullptr);

}  // namespace support
