// The packer's cabinet reader ("imepack inspect" and the checks after
// packing): header, folder and file entries, data blocks. A package
// ("CRYP") is unsealed first, as the packer does. Anything that is not a
// whole single cabinet is refused with the packer's input error; a listing
// that is given must describe entries inside the cabinet, and the names the
// installer would refuse to write are only listed, never trusted.

#include "fuzz_check.h"

#include "cabinet_reader.h"
#include "package/package_container.h"
#include "package/package_key.h"
#include "package/stored_name.h"
#include "tool_error.h"

#include <cstring>
#include <string>

namespace {

// What a name that the extraction accepts may never be: anything that
// leaves the folder it is extracted to.
void check_contained(std::u16string_view name) {
    if (!package::is_contained_name(name)) return;
    FUZZ_CHECK(!name.empty() && name.front() != u'\\' && name.front() != u'/');
    FUZZ_CHECK(name.find(u':') == std::u16string_view::npos);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && name[i] != u'\\' && name[i] != u'/') continue;
        const std::u16string_view part = name.substr(start, i - start);
        FUZZ_CHECK(part.find_first_not_of(u". ") != std::u16string_view::npos);
        start = i + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> cabinet(data, data + size);
    if (size >= 4 && std::memcmp(data, package::kPackageSignature, 4) == 0) {
        cabinet = package::unseal_package(cabinet, package::package_cipher());
    }
    imepack::CabinetListing listing;
    try {
        listing = imepack::read_cabinet_listing(cabinet);
    } catch (const imepack::InputError&) {
        return 0;
    }
    FUZZ_CHECK(listing.cabinet_size <= cabinet.size());
    FUZZ_CHECK(listing.files_offset < listing.cabinet_size || listing.files.empty());
    for (const imepack::CabinetFileEntry& file : listing.files) {
        FUZZ_CHECK(file.folder < listing.folders.size());
        // The stored name as the extraction would see it (bytes widened).
        std::u16string wide;
        for (const char c : file.name) wide.push_back(static_cast<unsigned char>(c));
        check_contained(wide);
    }
    try {
        imepack::check_data_blocks(listing, cabinet);
    } catch (const imepack::InputError&) {
    }
    return 0;
}
