#pragma once
// The packer's steps on bytes in memory: seal and unseal a package with the
// program's key, attach a package to an installer, and take an installer
// apart again. Each checks its input and throws InputError (without a file
// name; callers add it) rather than produce something the installer can't
// read.

#include "cabinet_reader.h"

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
    std::span<const std::uint8_t> image;        // the executable without its package
    std::span<const std::uint8_t> package;      // empty when it carries none
};

// Throws when the bytes are no PE image.
InstallerParts split_installer(std::span<const std::uint8_t> installer);

// The installer with `package` as its one package: a package it already
// carries is cut off first, never stacked. The package must be sealed.
std::vector<std::uint8_t> attach_package(std::span<const std::uint8_t> installer,
                                         std::span<const std::uint8_t> package);

}  // namespace imepack
