#pragma once
// A vendor's signing key made fresh by the test through CNG: signs update
// lists the way `imepack sign-list` does (ECDSA P-256 over SHA-256, the
// signature DER-encoded).

#include <windows.h>
#include <bcrypt.h>

#include <cstdint>
#include <string>
#include <vector>

#include "update/update_signature.h"

namespace wintest {

class TestSigner {
public:
    TestSigner();
    ~TestSigner();
    TestSigner(const TestSigner&) = delete;
    TestSigner& operator=(const TestSigner&) = delete;

    bool ok() const { return key_ != nullptr; }
    const update::PublicKey& public_key() const { return public_key_; }
    // The DER signature of `message`.
    std::vector<std::uint8_t> sign(const std::vector<std::uint8_t>& message) const;

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_KEY_HANDLE key_ = nullptr;
    update::PublicKey public_key_{};
};

// The lowercase hex SHA-256 of bytes, as a list's SHA256 tag holds it.
std::wstring sha256_hex(const std::vector<std::uint8_t>& bytes);

}  // namespace wintest
