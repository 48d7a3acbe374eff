#pragma once
// The package container: a cabinet whose "MSCF" signature is replaced by
// "CRYP" and whose bytes from offset 56 on are enciphered block by block.
// The first 56 bytes stay plain so that the header can be checked without
// the key; the cabinet's own size field (offset 8) keeps the unpadded size.

#include "package/blowfish.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace package {

inline constexpr char kCabSignature[] = "MSCF";
inline constexpr char kPackageSignature[] = "CRYP";
inline constexpr std::size_t kSignatureLength = 4;
// Bytes at the start of a package that are stored in plain.
inline constexpr std::size_t kPlainPrefix = 56;
inline constexpr std::size_t kCipherBlock = 8;
// The fixed part of a cabinet header; nothing shorter is a cabinet.
inline constexpr std::size_t kCabHeaderSize = 36;

enum class ContainerError {
    kNone,
    kTooShort,         // shorter than a cabinet header
    kNotCabinet,       // does not start with "MSCF"
    kBadCabinetSize,   // the cabinet's size field is below the header or beyond the data
    kNotPackage,       // does not start with "CRYP"
    kBadLength,        // a package whose length is not a multiple of 8
};

// A short English sentence for the packer's messages.
const char* container_error_text(ContainerError error);

// What seal_cabinet would refuse, or kNone.
ContainerError check_cabinet(std::span<const std::uint8_t> cabinet);
// What unseal_package would refuse, or kNone.
ContainerError check_package(std::span<const std::uint8_t> package);

// Cabinet -> package: signature "CRYP", zero padding to a multiple of 8,
// every block from offset 56 on enciphered. On bad input the result is empty
// and *error (when given) says why.
std::vector<std::uint8_t> seal_cabinet(std::span<const std::uint8_t> cabinet, const BlowfishContext& ctx,
                                       ContainerError* error = nullptr);

// Package -> the padded cabinet with its "MSCF" signature back. On bad input
// the result is empty and *error (when given) says why. A wrong key is not
// detected here: the body comes out as garbage.
std::vector<std::uint8_t> unseal_package(std::span<const std::uint8_t> package, const BlowfishContext& ctx,
                                         ContainerError* error = nullptr);

}  // namespace package
