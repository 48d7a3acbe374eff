#include "package/package_container.h"

#include <cstring>

namespace package {
namespace {

// The cabinet's own size field: the unpadded length of the whole cabinet.
constexpr std::size_t kCabSizeFieldOffset = 8;

bool starts_with(std::span<const std::uint8_t> bytes, const char (&signature)[kSignatureLength + 1]) {
    return bytes.size() >= kSignatureLength && std::memcmp(bytes.data(), signature, kSignatureLength) == 0;
}

std::uint32_t cabinet_size_field(std::span<const std::uint8_t> cabinet) {
    const std::uint8_t* b = cabinet.data() + kCabSizeFieldOffset;
    return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
           (std::uint32_t{b[3]} << 24);
}

void put_signature(std::vector<std::uint8_t>& bytes, const char (&signature)[kSignatureLength + 1]) {
    std::memcpy(bytes.data(), signature, kSignatureLength);
}

// The enciphered part: every whole block from the plain prefix on.
std::span<std::uint8_t> cipher_part(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() <= kPlainPrefix) {
        return {};
    }
    return std::span<std::uint8_t>(bytes).subspan(kPlainPrefix);
}

}  // namespace

const char* container_error_text(ContainerError error) {
    switch (error) {
    case ContainerError::kNone:
        return "no error";
    case ContainerError::kTooShort:
        return "the data is shorter than a cabinet header (36 bytes)";
    case ContainerError::kNotCabinet:
        return "the data is not a cabinet (it does not start with \"MSCF\")";
    case ContainerError::kBadCabinetSize:
        return "the cabinet's size field does not match its length";
    case ContainerError::kNotPackage:
        return "the data is not a package (it does not start with \"CRYP\")";
    case ContainerError::kBadLength:
        return "the package length is not a multiple of 8 bytes";
    }
    return "unknown error";
}

ContainerError check_cabinet(std::span<const std::uint8_t> cabinet) {
    if (cabinet.size() < kCabHeaderSize) {
        return ContainerError::kTooShort;
    }
    if (!starts_with(cabinet, kCabSignature)) {
        return ContainerError::kNotCabinet;
    }
    // The decoder trusts this field; a cabinet that claims more bytes than
    // it has (or fewer than its own header) would not extract.
    const std::uint32_t size = cabinet_size_field(cabinet);
    if (size < kCabHeaderSize || size > cabinet.size()) {
        return ContainerError::kBadCabinetSize;
    }
    return ContainerError::kNone;
}

ContainerError check_package(std::span<const std::uint8_t> package) {
    if (package.size() < kCabHeaderSize) {
        return ContainerError::kTooShort;
    }
    if (!starts_with(package, kPackageSignature)) {
        return ContainerError::kNotPackage;
    }
    if (package.size() % kCipherBlock != 0) {
        return ContainerError::kBadLength;
    }
    return ContainerError::kNone;
}

std::vector<std::uint8_t> seal_cabinet(std::span<const std::uint8_t> cabinet, const BlowfishContext& ctx,
                                       ContainerError* error) {
    const ContainerError check = check_cabinet(cabinet);
    if (error != nullptr) {
        *error = check;
    }
    if (check != ContainerError::kNone) {
        return {};
    }
    // Zero padding fills the last block; the size field keeps the real size.
    std::vector<std::uint8_t> package(cabinet.begin(), cabinet.end());
    package.resize(package.size() + (kCipherBlock - package.size() % kCipherBlock) % kCipherBlock, 0);
    put_signature(package, kPackageSignature);
    const std::span<std::uint8_t> body = cipher_part(package);
    encipher_blocks(ctx, body.data(), body.size());
    return package;
}

std::vector<std::uint8_t> unseal_package(std::span<const std::uint8_t> package, const BlowfishContext& ctx,
                                         ContainerError* error) {
    const ContainerError check = check_package(package);
    if (error != nullptr) {
        *error = check;
    }
    if (check != ContainerError::kNone) {
        return {};
    }
    std::vector<std::uint8_t> cabinet(package.begin(), package.end());
    put_signature(cabinet, kCabSignature);
    const std::span<std::uint8_t> body = cipher_part(cabinet);
    decipher_blocks(ctx, body.data(), body.size());
    return cabinet;
}

}  // namespace package
