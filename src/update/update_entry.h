#pragma once
// One line of an update list, and the item types a list can name.
//
// The same record serves the update engines as a candidate: they fill the
// local version and put the installed file's path in `path`. A fresh entry
// is all zeros (`UpdateEntry{}`); every text field is a fixed UTF-16 slot
// that always ends with a zero unit inside the slot.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "support/version_number.h"

namespace update {

inline constexpr std::size_t kEntryNameUnits = 40;      // NAME: 39 characters at most
inline constexpr std::size_t kEntryPathUnits = 260;     // SAVEPATH, or the file a candidate replaces
inline constexpr std::size_t kEntryAddressUnits = 128;  // CABURL: 127 characters at most
// SHA256 and PNGSHA256: 64 hex digits; one unit more keeps a longer value
// from passing for a digest once cut.
inline constexpr std::size_t kEntryDigestUnits = 66;

struct UpdateEntry {
    std::int32_t type;                           // item type code; 0 = unknown or absent
    char16_t name[kEntryNameUnits];              // NAME
    support::VersionNumber local_version;        // installed file's version (candidates only)
    support::VersionNumber new_version;          // VERSION
    char16_t path[kEntryPathUnits];              // SAVEPATH
    char16_t package_address[kEntryAddressUnits];  // CABURL: HTTP address of the item's package
    char16_t digest[kEntryDigestUnits];          // SHA256: the package's SHA-256, hex (signed lists)
    char16_t preview_digest[kEntryDigestUnits];  // PNGSHA256: a skin preview's SHA-256, hex
};

static_assert(std::is_standard_layout_v<UpdateEntry>);
static_assert(std::is_trivially_copyable_v<UpdateEntry>);

// Item type codes, as the lists' TYPE values map to them.
inline constexpr std::int32_t kItemUnknown = 0;
inline constexpr std::int32_t kItemCodeTableDriver = 1;  // "ZME_DRIVE"
inline constexpr std::int32_t kItemSkinDriver = 2;       // "SKIN_DRIVE"
inline constexpr std::int32_t kItemImeMain = 3;          // "IME_MAIN"
inline constexpr std::int32_t kItemGeneratorCab = 4;     // "IMEGENCAB"
inline constexpr std::int32_t kItemGeneratorUpdate = 5;  // "UPDATE"
inline constexpr std::int32_t kItemConfigProgram = 6;    // "CONFIG_DRIVE"
inline constexpr std::int32_t kItemInstallBase = 7;      // "INSTALLBASE_DRIVE"
inline constexpr std::int32_t kItemSkinZip = 8;          // "SKINZIP"

// The code of a TYPE value, matched without regard to the case of ASCII
// letters; anything not in the table is kItemUnknown.
std::int32_t item_type_code(std::u16string_view type_text);

// What the dialogs show in their type column: "码表驱动" for 1 and so on,
// "未知标识" for 0 and any code outside the table. The text is a constant
// (zero-terminated), so concurrent lookups can't disturb each other.
std::u16string_view item_type_name(std::int32_t code);

// Copies `text` into a fixed slot, cut at N - 1 units, and terminates it.
// Returns true when nothing was cut.
template <std::size_t N>
bool copy_to_slot(char16_t (&slot)[N], std::u16string_view text) noexcept {
    static_assert(N > 0);
    const std::size_t kept = text.size() < N ? text.size() : N - 1;
    for (std::size_t i = 0; i < kept; ++i) slot[i] = text[i];
    for (std::size_t i = kept; i < N; ++i) slot[i] = u'\0';
    return kept == text.size();
}

}  // namespace update
