// "config.dsc", the settings file in the input method's data folder, which
// the updater reads for three component names. The reader must stay inside
// the file whatever its offsets say, give names that fit their slots, and
// what it reads must survive being written and read again.

#include "fuzz_check.h"

#include "update/config_dsc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = fuzz::bytes_of(data, size);
    for (const std::u16string_view name : {update::kDefaultConfigRecord, std::u16string_view(u"")}) {
        const update::ConfigDscResult result = update::read_config_record(file, name);
        const update::ImeComponentNames& names = result.names;
        if (result.status != update::ConfigDscStatus::ok) {
            FUZZ_CHECK(names.code_table_driver.empty() && names.ime_main.empty() && names.skin_driver.empty());
            if (size == 0) FUZZ_CHECK(result.status == update::ConfigDscStatus::empty_file);
            continue;
        }
        for (const std::u16string* text : {&names.code_table_driver, &names.ime_main, &names.skin_driver}) {
            FUZZ_CHECK(text->size() < update::kConfigNameUnits);
            FUZZ_CHECK(text->find(u'\0') == std::u16string::npos);
        }
        const update::ConfigDscRecord record{std::u16string(update::kDefaultConfigRecord), names};
        const auto written = update::write_config_dsc({&record, 1});
        FUZZ_CHECK(written.has_value());
        const update::ConfigDscResult back = update::read_config_record(*written);
        FUZZ_CHECK(back.status == update::ConfigDscStatus::ok);
        FUZZ_CHECK(back.names.code_table_driver == names.code_table_driver && back.names.ime_main == names.ime_main &&
                   back.names.skin_driver == names.skin_driver);
    }
    return 0;
}
