#include "packaging.h"

#include "package/blowfish.h"
#include "package/package_container.h"
#include "package/package_key.h"
#include "package/pe_image.h"
#include "tool_error.h"

#include <cstring>
#include <limits>

namespace imepack {

namespace {

const package::BlowfishContext& package_cipher() {
    static const package::BlowfishContext context = [] {
        package::BlowfishContext c{};
        package::SetKey(c, reinterpret_cast<const std::uint8_t*>(package::kPackageKey), package::kPackageKeyLength);
        return c;
    }();
    return context;
}

bool starts_with(std::span<const std::uint8_t> bytes, const char* signature) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), signature, 4) == 0;
}

}  // namespace

std::vector<std::uint8_t> seal_package(std::span<const std::uint8_t> cabinet) {
    if (starts_with(cabinet, "CRYP")) throw InputError("already a sealed package");
    const CabinetListing listing = read_cabinet_listing(cabinet);
    check_data_blocks(listing, cabinet);
    // Only the cabinet itself is sealed: bytes behind its size are not part of it.
    package::ContainerError error{};
    auto sealed = package::seal_cabinet(cabinet.first(listing.cabinet_size), package_cipher(), &error);
    if (sealed.empty()) throw InputError(package::container_error_text(error));
    return sealed;
}

std::vector<std::uint8_t> unseal_package(std::span<const std::uint8_t> sealed) {
    if (starts_with(sealed, "MSCF")) throw InputError("a plain cabinet, not a sealed package (seal it first)");
    package::ContainerError error{};
    auto cabinet = package::unseal_package(sealed, package_cipher(), &error);
    if (cabinet.empty()) throw InputError(package::container_error_text(error));
    const CabinetListing listing = read_cabinet_listing(cabinet);
    check_data_blocks(listing, cabinet);
    cabinet.resize(listing.cabinet_size);
    return cabinet;
}

InstallerParts split_installer(std::span<const std::uint8_t> installer) {
    const auto field = package::loader_flags_field_offset(installer);
    if (!field) throw InputError("not a Windows executable (no PE32 or PE32+ image header)");
    InstallerParts parts;
    parts.field_offset = *field;
    // The field sits 0x70 into the headers of a PE32 image, 0x80 of a PE32+.
    const std::uint32_t headers = static_cast<std::uint32_t>(installer[0x3C]) |
                                  (static_cast<std::uint32_t>(installer[0x3D]) << 8) |
                                  (static_cast<std::uint32_t>(installer[0x3E]) << 16) |
                                  (static_cast<std::uint32_t>(installer[0x3F]) << 24);
    parts.pe32_plus = *field - headers == 0x80;
    const std::uint32_t offset = *package::read_package_offset(installer);
    if (offset == 0 || offset >= installer.size()) {
        parts.image = installer;
    } else {
        parts.image = installer.first(offset);
        parts.package = installer.subspan(offset);
    }
    return parts;
}

std::vector<std::uint8_t> attach_package(std::span<const std::uint8_t> installer,
                                         std::span<const std::uint8_t> sealed) {
    const InstallerParts parts = split_installer(installer);
    unseal_package(sealed);  // refuses anything the installer couldn't extract
    if (parts.image.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw InputError("the executable is larger than 4 GiB; its package offset wouldn't fit");
    }
    std::vector<std::uint8_t> out(parts.image.begin(), parts.image.end());
    out.insert(out.end(), sealed.begin(), sealed.end());
    package::write_package_offset(out, static_cast<std::uint32_t>(parts.image.size()));
    return out;
}

}  // namespace imepack
