#pragma once
// Checking what the update server hands out, through the system's own
// cryptography (CNG): SHA-256 digests of lists and downloaded files, and
// ECDSA P-256 signatures of lists under the vendor's key that this program
// carries in its image (update/update_signature.h for the formats).

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

#include "update/update_signature.h"

namespace update {

// The vendor's key in this program's own image; nothing for a program
// built without one (its updates are not verified).
std::optional<PublicKey> program_update_key();

std::optional<Sha256Digest> sha256(std::span<const std::uint8_t> bytes);
// The digest of an open file's whole content, read from its start.
std::optional<Sha256Digest> sha256_of_file(HANDLE file);

// A file opened for reading that nobody may write, rename or delete while
// the handle lives: what is checked stays what is used.
HANDLE open_file_locked(const wchar_t* path);
// Whether the open file's content has the digest.
bool file_has_digest(HANDLE file, const Sha256Digest& expected);

enum class SignatureCheck {
    valid,
    invalid,     // not a signature of these bytes under this key, or not a signature at all
    unavailable  // the system's cryptography can't be used (counts as a failure too)
};
// Whether `der_signature` (DER ECDSA-Sig-Value) signs `message` under `key`.
SignatureCheck verify_signature(const PublicKey& key, std::span<const std::uint8_t> message,
                                std::span<const std::uint8_t> der_signature);

}  // namespace update
