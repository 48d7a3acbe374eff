#include "update/config_dsc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace update;

namespace {

ConfigDscRecord record(std::u16string name, std::u16string code_table, std::u16string ime, std::u16string skin) {
    return {std::move(name), {std::move(code_table), std::move(ime), std::move(skin)}};
}

std::vector<std::uint8_t> file_of(const std::vector<ConfigDscRecord>& records) {
    auto bytes = write_config_dsc(records);
    EXPECT_TRUE(bytes.has_value());
    return bytes.value_or(std::vector<std::uint8_t>{});
}

void put_u32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

TEST(ConfigDsc, FindsTheDefaultRecordThroughTheOffsetTable) {
    const auto bytes = file_of({record(u"zz_ime_config_data_classic", u"zzpinyin_mb", u"ZZPinyin", u"classic"),
                                record(u"zz_ime_config_data_default", u"zzpinyin_mb", u"ZZPinyin", u"colourful")});
    // The layout the updater relies on, byte for byte.
    ASSERT_GE(bytes.size(), 12u);
    EXPECT_EQ(bytes[0], 2);
    const std::size_t second = bytes[8] | bytes[9] << 8 | bytes[10] << 16 | bytes[11] << 24;
    EXPECT_EQ(bytes[second + 6], 'z');
    EXPECT_EQ(bytes[second + 1588], 'c');
    EXPECT_EQ(bytes[second + 1588 + 1], 0);

    const auto found = read_config_record(bytes);
    ASSERT_EQ(found.status, ConfigDscStatus::ok);
    EXPECT_EQ(found.names.code_table_driver, u"zzpinyin_mb");
    EXPECT_EQ(found.names.ime_main, u"ZZPinyin");
    EXPECT_EQ(found.names.skin_driver, u"colourful");
    EXPECT_EQ(read_config_record(bytes, u"zz_ime_config_data_classic").names.skin_driver, u"classic");
}

TEST(ConfigDsc, RecordNamesMatchWithoutRegardToCaseAndTheFirstMatchWins) {
    const auto bytes = file_of({record(u"ZZ_IME_CONFIG_DATA_DEFAULT", u"first", u"a", u"b"),
                                record(u"zz_ime_config_data_default", u"second", u"a", u"b")});
    EXPECT_EQ(read_config_record(bytes).names.code_table_driver, u"first");
    // A longer or shorter name is another record.
    EXPECT_EQ(read_config_record(bytes, u"zz_ime_config_data_defaul").status, ConfigDscStatus::no_such_record);
    EXPECT_EQ(read_config_record(bytes, u"zz_ime_config_data_default2").status, ConfigDscStatus::no_such_record);
}

TEST(ConfigDsc, MissingOrEmptyStoresFailCleanly) {
    EXPECT_EQ(read_config_record({}).status, ConfigDscStatus::empty_file);
    EXPECT_EQ(read_config_record(file_of({})).status, ConfigDscStatus::no_such_record);
    EXPECT_EQ(read_config_record(file_of({record(u"other", u"a", u"b", u"c")})).status,
              ConfigDscStatus::no_such_record);
}

TEST(ConfigDsc, NamesStopAtThirtyNineUnitsOrTheEndOfTheFile) {
    auto bytes = file_of({record(u"zz_ime_config_data_default", u"mb", u"ime", u"skin")});
    const std::size_t at = 8;  // the only record follows its one-entry table
    // Fill the code-table slot and beyond without a terminator.
    for (std::size_t i = 0; i < 60; ++i) bytes[at + kConfigCodeTableOffset + 2 * i] = 'x';
    EXPECT_EQ(read_config_record(bytes).names.code_table_driver, std::u16string(39, u'x'));
    // A file that ends inside the skin name gives what is there.
    bytes.resize(at + kConfigSkinOffset + 4);
    EXPECT_EQ(read_config_record(bytes).names.skin_driver, u"sk");
}

TEST(ConfigDsc, OffsetsOutsideTheFileAreNeverFollowed) {
    auto bytes = file_of({record(u"zz_ime_config_data_classic", u"a", u"b", u"c"),
                          record(u"zz_ime_config_data_default", u"mb", u"ime", u"skin")});
    // A broken first entry is passed over; the record asked for is still found.
    put_u32(bytes, 4, 0xFFFFFFFFu);
    EXPECT_EQ(read_config_record(bytes).names.ime_main, u"ime");
    put_u32(bytes, 4, 0xFFFFFFFAu);  // + 6 would wrap around in 32 bits
    EXPECT_EQ(read_config_record(bytes).names.ime_main, u"ime");
    // The record found must reach its name fields.
    put_u32(bytes, 8, static_cast<std::uint32_t>(bytes.size() - 200));
    put_u32(bytes, 4, static_cast<std::uint32_t>(bytes.size() - 200));
    bytes[bytes.size() - 194] = 'z';
    EXPECT_EQ(read_config_record(bytes, u"z").status, ConfigDscStatus::damaged);
    // A table longer than the file.
    std::vector<std::uint8_t> cut = {200, 0, 0, 0, 8, 0, 0};
    EXPECT_EQ(read_config_record(cut).status, ConfigDscStatus::damaged);
}

TEST(ConfigDsc, EveryTruncationOfAGoodFileIsReadSafely) {
    const auto bytes = file_of({record(u"zz_ime_config_data_classic", u"a", u"b", u"c"),
                                record(u"zz_ime_config_data_default", u"mb", u"ime", u"skin")});
    for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const auto result = read_config_record(std::span(bytes).first(n));
        if (n == bytes.size()) {
            EXPECT_EQ(result.status, ConfigDscStatus::ok);
        } else if (result.status == ConfigDscStatus::ok) {
            // Cut inside the skin name or later: the names read are prefixes.
            EXPECT_TRUE(std::u16string(u"skin").starts_with(result.names.skin_driver)) << n;
        }
    }
}

TEST(ConfigDsc, WriterRefusesTextsThatDoNotFitTheirSlots) {
    const std::u16string longest(39, u'n');
    EXPECT_TRUE(write_config_dsc(std::vector{record(u"r", longest, longest, longest)}).has_value());
    EXPECT_FALSE(write_config_dsc(std::vector{record(u"r", longest + u"n", u"b", u"c")}).has_value());
    EXPECT_FALSE(write_config_dsc(std::vector{record(u"r", u"a", u"b", longest + u"n")}).has_value());
    EXPECT_FALSE(write_config_dsc(std::vector{record(std::u16string(64, u'r'), u"a", u"b", u"c")}).has_value());
    EXPECT_FALSE(write_config_dsc(std::vector{record(std::u16string(u"r\0s", 3), u"a", u"b", u"c")}).has_value());
    EXPECT_TRUE(write_config_dsc(std::vector<ConfigDscRecord>(255, record(u"r", u"a", u"b", u"c"))).has_value());
    EXPECT_FALSE(write_config_dsc(std::vector<ConfigDscRecord>(256, record(u"r", u"a", u"b", u"c"))).has_value());
}
