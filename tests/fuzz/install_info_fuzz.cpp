// The install information record ("InstallInfo.dif") from the package.
// Whatever the file holds, every text slot must come out terminated inside
// itself, and every other byte must be the file's own (or zero past its end).

#include "fuzz_check.h"

#include "package/install_info.h"

#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const package::InstallInfo info = package::load_install_info(fuzz::bytes_of(data, size));
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&info);

    std::size_t slot_end[package::kInstallInfoSize] = {};  // 1 where a slot's last unit lies
    for (const package::InstallInfoField& field : package::install_info_fields()) {
        FUZZ_CHECK(field.offset + 2 * field.units <= package::kInstallInfoSize);
        if (field.is_number) continue;
        const auto* text = reinterpret_cast<const char16_t*>(raw + field.offset);
        FUZZ_CHECK(std::char_traits<char16_t>::length(text) < field.units);
        slot_end[field.offset + 2 * (field.units - 1)] = slot_end[field.offset + 2 * field.units - 1] = 1;
    }
    for (std::size_t i = 0; i < package::kInstallInfoSize; ++i) {
        const std::uint8_t want = slot_end[i] != 0 || i >= size ? 0 : data[i];
        FUZZ_CHECK(raw[i] == want);
    }
    return 0;
}
