#pragma once
// The packer's steps on bytes in memory: seal and unseal a package with the
// program's key, attach a package to an installer, and take an installer
// apart again. Each checks its input and throws InputError (without a file
// name; callers add it) rather than produce something the installer can't
// read.

#include "cabinet_reader.h"
#include "package/pe_certificate.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace imepack {

// Cabinet -> "CRYP" package. The cabinet must be a whole single cabinet.
std::vector<std::uint8_t> seal_package(std::span<const std::uint8_t> cabinet);

// Package -> the cabinet exactly as it was sealed (the padding dropped).
// Refuses plain cabinets and anything that doesn't decipher into a
// readable cabinet with matching data-block checksums.
std::vector<std::uint8_t> unseal_package(std::span<const std::uint8_t> package);

struct InstallerParts {
    bool pe32_plus = false;
    std::uint32_t field_offset = 0;             // where LoaderFlags lives
    std::span<const std::uint8_t> image;        // the executable without its package and certificate table
    std::span<const std::uint8_t> package;      // empty when it carries none; else its own length
    std::span<const std::uint8_t> trailing;     // what follows the package (a signed installer's table)
    std::uint64_t image_end = 0;                // end of the headers and sections
    std::optional<package::CertificateTable> certificate;  // as the header records it
};

// Throws when the bytes are no PE image.
InstallerParts split_installer(std::span<const std::uint8_t> installer);

// How an executable given to attach or build was signed.
enum class Signing {
    kUnsigned,
    kSignedProgram,    // the installer program itself, signed: its table is the last thing in the file
    kSignedInstaller,  // an installer signed with its package: the table follows the package
};

// Throws for certificate tables nobody can sign over or cut cleanly: an
// entry pointing into the image or outside the file, a table that isn't
// the last thing in the file, a package that follows the table (the
// program was signed before its package was attached).
Signing check_signing(const InstallerParts& parts, std::size_t file_size);

// The installer with `package` as its one package: a package it already
// carries is cut off first, never stacked, and so is a certificate table
// (the result is unsigned; its checksum is put right when the program had
// one). The package must be sealed.
std::vector<std::uint8_t> attach_package(std::span<const std::uint8_t> installer,
                                         std::span<const std::uint8_t> package);

}  // namespace imepack
