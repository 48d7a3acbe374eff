#pragma once
// "config.dsc": the settings file an input method keeps in its data folder.
// The updater needs only three names from it (the code-table driver, the
// IME module and the skin driver), found in the record called
// "zz_ime_config_data_default". The file is a small record store:
//
//   file offset 0       record count (one byte; the next three bytes are 0)
//   file offset 4       one 32-bit little-endian offset per record, from the
//                       start of the file
//   record offset 0     record size in bytes (32 bits)
//   record offset 4     layout version (16 bits, 1)
//   record offset 6     record name, UTF-16LE, zero-terminated (64 units)
//   record offset 1260  code-table driver name (40 units)
//   record offset 1500  IME main module name   (40 units)
//   record offset 1588  skin driver name       (40 units)
//
// Only the count, the offset table, the record name and the three names are
// read; the writer fills everything else with zeros. The reader never reads
// outside the bytes it is given, whatever the offsets in the file say.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace update {

inline constexpr std::u16string_view kDefaultConfigRecord = u"zz_ime_config_data_default";

inline constexpr std::size_t kConfigTableOffset = 4;
inline constexpr std::size_t kConfigRecordNameOffset = 6;
inline constexpr std::size_t kConfigRecordNameUnits = 64;
inline constexpr std::size_t kConfigCodeTableOffset = 1260;
inline constexpr std::size_t kConfigImeMainOffset = 1500;
inline constexpr std::size_t kConfigSkinOffset = 1588;
// Each driver name sits in a slot of 40 units: at most 39 characters.
inline constexpr std::size_t kConfigNameUnits = 40;
// What the writer gives every record: room for all fields above.
inline constexpr std::size_t kConfigRecordSize = 2048;
inline constexpr std::size_t kConfigMaxRecords = 255;

static_assert(kConfigRecordNameOffset + 2 * kConfigRecordNameUnits <= kConfigCodeTableOffset);
static_assert(kConfigCodeTableOffset + 2 * kConfigNameUnits <= kConfigImeMainOffset);
static_assert(kConfigImeMainOffset + 2 * kConfigNameUnits <= kConfigSkinOffset);
static_assert(kConfigSkinOffset + 2 * kConfigNameUnits <= kConfigRecordSize);

// The three component names of one settings record.
struct ImeComponentNames {
    std::u16string code_table_driver;
    std::u16string ime_main;
    std::u16string skin_driver;
};

enum class ConfigDscStatus {
    ok,
    empty_file,      // not even the record count is there
    no_such_record,  // no record of that name
    damaged,         // the offset table or the record found runs past the end
};

struct ConfigDscResult {
    ConfigDscStatus status = ConfigDscStatus::empty_file;
    ImeComponentNames names;
};

// Finds the first record, in table order, whose name equals `record_name`
// without regard to the case of ASCII letters, and reads its three names
// (each up to 39 characters, ending at its terminator or at the end of the
// file). A record whose offset or name lies outside the file is passed over;
// an offset table cut short by the end of the file makes the search stop
// with `damaged` unless the record was found before.
ConfigDscResult read_config_record(std::span<const std::uint8_t> file,
                                   std::u16string_view record_name = kDefaultConfigRecord);

struct ConfigDscRecord {
    std::u16string name;
    ImeComponentNames names;
};

// Composes a whole file. Returns nothing when a text doesn't fit its slot
// (names of 64+ units, driver names of 40+) or there are more than 255
// records.
std::optional<std::vector<std::uint8_t>> write_config_dsc(std::span<const ConfigDscRecord> records);

}  // namespace update
