#include "install/carried_uninstaller.h"

#include <span>

#include "package/mapfile.h"
#include "package/pe_certificate.h"

namespace install {

bool is_same_program(const wchar_t* carried, const wchar_t* reference) {
    if (carried == nullptr || reference == nullptr || *carried == L'\0' || *reference == L'\0') return false;
    const package::MappedViewPtr a = package::open_mapped_file(carried, false);
    const package::MappedViewPtr b = package::open_mapped_file(reference, false);
    if (!a || !b) return false;
    return package::same_program(std::span<const std::uint8_t>(a->base, a->size),
                                 std::span<const std::uint8_t>(b->base, b->size));
}

}  // namespace install
