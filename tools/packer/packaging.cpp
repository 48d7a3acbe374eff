#include "packaging.h"

#include "package/blowfish.h"
#include "package/package_container.h"
#include "package/package_key.h"
#include "package/pe_image.h"
#include "tool_error.h"

#include <cstring>
#include <limits>
#include <string>

namespace imepack {

namespace {

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
    auto sealed = package::seal_cabinet(cabinet.first(listing.cabinet_size), package::package_cipher(), &error);
    if (sealed.empty()) throw InputError(package::container_error_text(error));
    return sealed;
}

std::vector<std::uint8_t> unseal_package(std::span<const std::uint8_t> sealed) {
    if (starts_with(sealed, "MSCF")) throw InputError("a plain cabinet, not a sealed package (seal it first)");
    package::ContainerError error{};
    auto cabinet = package::unseal_package(sealed, package::package_cipher(), &error);
    if (cabinet.empty()) throw InputError(package::container_error_text(error));
    const CabinetListing listing = read_cabinet_listing(cabinet);
    check_data_blocks(listing, cabinet);
    cabinet.resize(listing.cabinet_size);
    return cabinet;
}

InstallerParts split_installer(std::span<const std::uint8_t> installer) {
    const auto field = package::loader_flags_field_offset(installer);
    const auto fields = package::read_pe_fields(installer);
    if (!field || !fields) throw InputError("not a Windows executable (no PE32 or PE32+ image header)");
    InstallerParts parts;
    parts.field_offset = *field;
    parts.image_end = fields->image_end;
    parts.certificate = package::recorded_certificate_table(installer, *fields);
    // The field sits 0x70 into the headers of a PE32 image, 0x80 of a PE32+.
    const std::uint32_t headers = static_cast<std::uint32_t>(installer[0x3C]) |
                                  (static_cast<std::uint32_t>(installer[0x3D]) << 8) |
                                  (static_cast<std::uint32_t>(installer[0x3E]) << 16) |
                                  (static_cast<std::uint32_t>(installer[0x3F]) << 24);
    parts.pe32_plus = *field - headers == 0x80;
    parts.image = package::program_part(installer);
    const std::uint32_t offset = *package::read_package_offset(installer);
    if (offset == 0 || offset >= installer.size()) return parts;
    if (const auto layout = package::split_installer_file(installer)) {
        parts.package = layout->package;
        parts.trailing = layout->trailing;
    } else {
        // Shorter than its header says: still cut off (and replaced) whole,
        // up to a table recorded behind it.
        std::size_t end = installer.size();
        if (parts.certificate && parts.certificate->offset >= offset && parts.certificate->end() <= end)
            end = parts.certificate->offset;
        parts.package = installer.subspan(offset, end - offset);
        parts.trailing = installer.subspan(end);
    }
    return parts;
}

Signing check_signing(const InstallerParts& parts, std::size_t file_size) {
    if (!parts.certificate) return Signing::kUnsigned;
    const package::CertificateTable& table = *parts.certificate;
    const std::string where = "its certificate table (offset " + std::to_string(table.offset) + ", " +
                              std::to_string(table.size) + " bytes)";
    if (table.offset < parts.image_end || table.end() > file_size) {
        throw InputError(where + " lies inside the image or outside the file; the header is damaged");
    }
    if (!parts.package.empty() && table.offset < parts.image.size() + parts.package.size()) {
        throw InputError("its package follows " + where +
                         ": the program was signed before its package was attached. Give the signed program "
                         "without a package (or an unsigned one) and sign the result");
    }
    if (table.end() != file_size) {
        throw InputError(where + " isn't the last thing in the file: " + std::to_string(file_size - table.end()) +
                         " bytes follow it. Sign the program again");
    }
    return parts.package.empty() ? Signing::kSignedProgram : Signing::kSignedInstaller;
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
    // No entry pointing at a table that is gone, and a checksum of these bytes.
    package::clear_signature(out);
    return out;
}

}  // namespace imepack
