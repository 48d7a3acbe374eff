// The image header of the installer executable, where the package's offset
// is kept: read from the start of any file the packer or the installer is
// handed. Whatever is found must lie inside the bytes, a stored offset must
// read back, and the package behind the image must be the file's tail.

#include "fuzz_check.h"

#include "package/pe_image.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto image = fuzz::bytes_of(data, size);
    const auto field = package::loader_flags_field_offset(image);
    const auto stored = package::read_package_offset(image);
    FUZZ_CHECK(field.has_value() == stored.has_value());
    const auto tail = package::package_span(image);
    if (!field) {
        FUZZ_CHECK(tail.empty());
        std::vector<std::uint8_t> copy(image.begin(), image.end());
        FUZZ_CHECK(!package::write_package_offset(copy, 1));
        FUZZ_CHECK(std::equal(copy.begin(), copy.end(), image.begin()));
        return 0;
    }
    FUZZ_CHECK(std::size_t{*field} + 4 <= size);
    FUZZ_CHECK(size >= 2 && data[0] == 'M' && data[1] == 'Z');
    if (*stored != 0 && *stored < size) {
        FUZZ_CHECK(tail.data() == data + *stored && tail.size() == size - *stored);
    } else {
        FUZZ_CHECK(tail.empty());
    }
    // Storing another offset changes those four bytes only.
    std::vector<std::uint8_t> copy(image.begin(), image.end());
    const std::uint32_t offset = static_cast<std::uint32_t>(size / 2);
    FUZZ_CHECK(package::write_package_offset(copy, offset));
    FUZZ_CHECK(package::read_package_offset(copy) == offset);
    for (std::size_t i = 0; i < size; ++i) {
        if (i < *field || i >= *field + 4) FUZZ_CHECK(copy[i] == data[i]);
    }
    return 0;
}
