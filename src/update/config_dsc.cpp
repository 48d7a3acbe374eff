#include "update/config_dsc.h"

#include <algorithm>

namespace update {
namespace {

std::optional<std::uint32_t> read_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// A zero-terminated UTF-16LE text starting at `at`, at most `max_units`
// long; the end of the data ends it too. Nothing when `at` is past the end.
// Positions are 64-bit so that an offset near 4 GiB plus a field offset
// can't wrap around in a 32-bit build.
std::optional<std::u16string> read_text(std::span<const std::uint8_t> bytes, std::uint64_t at, std::size_t max_units) {
    if (at >= bytes.size()) return std::nullopt;
    std::u16string text;
    for (auto i = static_cast<std::size_t>(at); i + 1 < bytes.size() && text.size() < max_units; i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (unit == u'\0') break;
        text.push_back(unit);
    }
    return text;
}

char16_t fold_ascii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool same_name(std::u16string_view a, std::u16string_view b) {
    return std::ranges::equal(a, b, [](char16_t x, char16_t y) { return fold_ascii(x) == fold_ascii(y); });
}

ConfigDscResult read_names(std::span<const std::uint8_t> file, std::uint64_t record) {
    auto code_table = read_text(file, record + kConfigCodeTableOffset, kConfigNameUnits - 1);
    auto ime_main = read_text(file, record + kConfigImeMainOffset, kConfigNameUnits - 1);
    auto skin = read_text(file, record + kConfigSkinOffset, kConfigNameUnits - 1);
    if (!code_table || !ime_main || !skin) return {ConfigDscStatus::damaged, {}};
    return {ConfigDscStatus::ok, {std::move(*code_table), std::move(*ime_main), std::move(*skin)}};
}

void put_u32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void put_text(std::vector<std::uint8_t>& out, std::size_t at, std::u16string_view text) {
    for (char16_t unit : text) {
        out[at++] = static_cast<std::uint8_t>(unit);
        out[at++] = static_cast<std::uint8_t>(unit >> 8);
    }
}

bool fits(std::u16string_view text, std::size_t slot_units) {
    return text.size() < slot_units && text.find(u'\0') == std::u16string_view::npos;
}

}  // namespace

ConfigDscResult read_config_record(std::span<const std::uint8_t> file, std::u16string_view record_name) {
    if (file.empty()) return {ConfigDscStatus::empty_file, {}};
    const std::size_t count = file[0];
    for (std::size_t i = 0; i < count; ++i) {
        const auto offset = read_u32(file, kConfigTableOffset + 4 * i);
        if (!offset) return {ConfigDscStatus::damaged, {}};
        // Records of other names may be damaged without harm: only the one
        // asked for has to be whole.
        const auto name = read_text(file, std::uint64_t{*offset} + kConfigRecordNameOffset, kConfigRecordNameUnits);
        if (!name || !same_name(*name, record_name)) continue;
        return read_names(file, *offset);
    }
    return {ConfigDscStatus::no_such_record, {}};
}

std::optional<std::vector<std::uint8_t>> write_config_dsc(std::span<const ConfigDscRecord> records) {
    if (records.size() > kConfigMaxRecords) return std::nullopt;
    for (const auto& r : records) {
        if (!fits(r.name, kConfigRecordNameUnits) || !fits(r.names.code_table_driver, kConfigNameUnits) ||
            !fits(r.names.ime_main, kConfigNameUnits) || !fits(r.names.skin_driver, kConfigNameUnits))
            return std::nullopt;
    }
    const std::size_t first = kConfigTableOffset + 4 * records.size();
    std::vector<std::uint8_t> out(first + kConfigRecordSize * records.size(), 0);
    put_u32(out, 0, static_cast<std::uint32_t>(records.size()));
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::size_t at = first + kConfigRecordSize * i;
        put_u32(out, kConfigTableOffset + 4 * i, static_cast<std::uint32_t>(at));
        put_u32(out, at, static_cast<std::uint32_t>(kConfigRecordSize));
        out[at + 4] = 1;  // layout version
        put_text(out, at + kConfigRecordNameOffset, records[i].name);
        put_text(out, at + kConfigCodeTableOffset, records[i].names.code_table_driver);
        put_text(out, at + kConfigImeMainOffset, records[i].names.ime_main);
        put_text(out, at + kConfigSkinOffset, records[i].names.skin_driver);
    }
    return out;
}

}  // namespace update
