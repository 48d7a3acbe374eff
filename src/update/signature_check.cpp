#include "update/signature_check.h"

#include <bcrypt.h>

#include <cstring>
#include <vector>

namespace update {
namespace {

// The slot `imepack build --update-key` fills in: marker, state, point.
// Read through a volatile object, so the compiler can never fold the
// unkeyed state it was built with into the code.
struct KeySlotImage {
    std::uint8_t bytes[kKeySlotSize];
};
constexpr KeySlotImage empty_slot() {
    KeySlotImage slot{};
    for (std::size_t i = 0; i < kKeySlotMarkerSize; ++i) slot.bytes[i] = kKeySlotMarker[i];
    return slot;
}
[[gnu::used]] volatile const KeySlotImage g_update_key_slot = empty_slot();

constexpr ULONG kP256PublicMagic = 0x31534345;  // BCRYPT_ECDSA_PUBLIC_P256_MAGIC

class Algorithm {
public:
    explicit Algorithm(const wchar_t* name) {
        if (BCryptOpenAlgorithmProvider(&handle_, name, nullptr, 0) < 0) handle_ = nullptr;
    }
    ~Algorithm() {
        if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const noexcept { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Hash {
public:
    Hash() : algorithm_(BCRYPT_SHA256_ALGORITHM) {
        if (algorithm_.get() == nullptr ||
            BCryptCreateHash(algorithm_.get(), &handle_, nullptr, 0, nullptr, 0, 0) < 0)
            handle_ = nullptr;
    }
    ~Hash() {
        if (handle_ != nullptr) BCryptDestroyHash(handle_);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    bool ok() const noexcept { return handle_ != nullptr; }
    bool add(const std::uint8_t* bytes, std::size_t size) {
        // CNG takes ULONG counts: feed large inputs in pieces.
        while (size > 0) {
            const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
            if (BCryptHashData(handle_, const_cast<PUCHAR>(bytes), piece, 0) < 0) return false;
            bytes += piece;
            size -= piece;
        }
        return true;
    }
    std::optional<Sha256Digest> finish() {
        Sha256Digest digest{};
        if (BCryptFinishHash(handle_, digest.data(), static_cast<ULONG>(digest.size()), 0) < 0) return std::nullopt;
        return digest;
    }

private:
    Algorithm algorithm_;
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

}  // namespace

std::optional<PublicKey> program_update_key() {
    std::uint8_t copy[kKeySlotSize];
    for (std::size_t i = 0; i < kKeySlotSize; ++i) copy[i] = g_update_key_slot.bytes[i];
    return key_from_slot(copy);
}

std::optional<Sha256Digest> sha256(std::span<const std::uint8_t> bytes) {
    Hash hash;
    if (!hash.ok() || !hash.add(bytes.data(), bytes.size())) return std::nullopt;
    return hash.finish();
}

std::optional<Sha256Digest> sha256_of_file(HANDLE file) {
    Hash hash;
    LARGE_INTEGER start{};
    if (!hash.ok() || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::nullopt;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return std::nullopt;
        if (read == 0) break;
        if (!hash.add(buffer.data(), read)) return std::nullopt;
    }
    return hash.finish();
}

HANDLE open_file_locked(const wchar_t* path) {
    const HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool file_has_digest(HANDLE file, const Sha256Digest& expected) {
    const std::optional<Sha256Digest> actual = sha256_of_file(file);
    return actual && *actual == expected;
}

SignatureCheck verify_signature(const PublicKey& key, std::span<const std::uint8_t> message,
                                std::span<const std::uint8_t> der_signature) {
    const std::optional<RawSignature> raw = parse_der_signature(der_signature);
    if (!raw) return SignatureCheck::invalid;
    std::optional<Sha256Digest> digest = sha256(message);
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!digest || ecdsa.get() == nullptr) return SignatureCheck::unavailable;

    // BCRYPT_ECCKEY_BLOB: magic, key size, then X and Y.
    std::uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    BCRYPT_ECCKEY_BLOB header{kP256PublicMagic, 32};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, key.data() + 1, 64);
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &handle, blob, sizeof blob, 0) < 0)
        return SignatureCheck::invalid;  // not a point of the curve: no key of ours
    const NTSTATUS status = BCryptVerifySignature(handle, nullptr, digest->data(), static_cast<ULONG>(digest->size()),
                                                  const_cast<PUCHAR>(raw->data()), static_cast<ULONG>(raw->size()), 0);
    BCryptDestroyKey(handle);
    return status >= 0 ? SignatureCheck::valid : SignatureCheck::invalid;
}

}  // namespace update
