#include "test_signer.h"

#include <cstring>

#include "update/signature_check.h"

namespace wintest {
namespace {

// A DER INTEGER of 32 big-endian bytes: leading zeros dropped, a zero put
// back in front of a high bit.
void put_integer(std::vector<std::uint8_t>& out, const std::uint8_t* value) {
    std::size_t skip = 0;
    while (skip < 31 && value[skip] == 0) ++skip;
    const bool pad = (value[skip] & 0x80) != 0;
    out.push_back(0x02);
    out.push_back(static_cast<std::uint8_t>(32 - skip + (pad ? 1 : 0)));
    if (pad) out.push_back(0);
    out.insert(out.end(), value + skip, value + 32);
}

}  // namespace

TestSigner::TestSigner() {
    if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) < 0) return;
    BCRYPT_KEY_HANDLE key = nullptr;
    if (BCryptGenerateKeyPair(algorithm_, &key, 256, 0) < 0) return;
    if (BCryptFinalizeKeyPair(key, 0) < 0) {
        BCryptDestroyKey(key);
        return;
    }
    std::uint8_t blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    ULONG size = 0;
    if (BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob, sizeof blob, &size, 0) < 0 || size != sizeof blob) {
        BCryptDestroyKey(key);
        return;
    }
    public_key_[0] = 0x04;
    std::memcpy(public_key_.data() + 1, blob + sizeof(BCRYPT_ECCKEY_BLOB), 64);
    key_ = key;
}

TestSigner::~TestSigner() {
    if (key_ != nullptr) BCryptDestroyKey(key_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
}

std::vector<std::uint8_t> TestSigner::sign(const std::vector<std::uint8_t>& message) const {
    const auto digest = update::sha256(message);
    if (!digest || key_ == nullptr) return {};
    std::uint8_t raw[64];
    ULONG size = 0;
    if (BCryptSignHash(key_, nullptr, const_cast<PUCHAR>(digest->data()), 32, raw, sizeof raw, &size, 0) < 0 ||
        size != sizeof raw)
        return {};
    std::vector<std::uint8_t> body;
    put_integer(body, raw);
    put_integer(body, raw + 32);
    std::vector<std::uint8_t> der = {0x30, static_cast<std::uint8_t>(body.size())};
    der.insert(der.end(), body.begin(), body.end());
    return der;
}

std::wstring sha256_hex(const std::vector<std::uint8_t>& bytes) {
    const auto digest = update::sha256(bytes);
    std::wstring text;
    if (!digest) return text;
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    for (const std::uint8_t b : *digest) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

}  // namespace wintest
