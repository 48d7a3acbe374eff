// The packer's product description ("field = value" lines). A description
// is refused with the packer's input error or gives a whole record whose
// text slots the installer reads as terminated strings unchanged.

#include "fuzz_check.h"

#include "description.h"
#include "package/install_info.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> record;
    try {
        record = imepack::record_from_description(fuzz::bytes_of(data, size), "product.txt");
    } catch (const imepack::InputError& error) {
        FUZZ_CHECK(std::strncmp(error.what(), "product.txt:", 12) == 0);
        return 0;
    }
    FUZZ_CHECK(record.size() == package::kInstallInfoSize);
    // The installer's loader terminates every slot; a record the packer
    // wrote is already terminated, so loading changes nothing.
    const package::InstallInfo info = package::load_install_info(record);
    FUZZ_CHECK(std::memcmp(&info, record.data(), record.size()) == 0);
    FUZZ_CHECK(info.ime_name[0] != u'\0');
    return 0;
}
