// The vendor's signing through OpenSSL (native builds): key pairs,
// SHA-256 of package files, ECDSA signatures of lists.

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <filesystem>
#include <memory>

#include "file_io.h"
#include "tool_error.h"
#include "update_signing.h"

namespace imepack {
namespace {

struct FreeKey {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct FreeBio {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct FreeContext {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Key = std::unique_ptr<EVP_PKEY, FreeKey>;
using Bio = std::unique_ptr<BIO, FreeBio>;

std::string hex(const std::uint8_t* bytes, std::size_t size) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 15]);
    }
    return text;
}

// The lowercase hex SHA-256 of a file in the folder; empty when there is none.
std::string file_digest(const std::string& folder, const std::string& name) {
    const std::filesystem::path path = path_from_utf8(folder) / path_from_utf8(name);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return {};
    const std::vector<std::uint8_t> bytes = read_file(path);
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        throw InputError(path_to_utf8(path) + ": SHA-256 failed");
    return hex(digest, size);
}

bool is_p256(EVP_PKEY* key) {
    char group[64] = {};
    std::size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
           (std::string(group) == "prime256v1" || std::string(group) == "P-256");
}

Key read_private_key(const std::string& path) {
    const std::vector<std::uint8_t> pem = read_file(path_from_utf8(path));
    Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key) throw InputError(path + ": not a private key in PEM (unencrypted PKCS#8 or \"EC PRIVATE KEY\")");
    if (!is_p256(key.get())) throw InputError(path + ": not an ECDSA P-256 (prime256v1) key");
    return key;
}

update::PublicKey public_point(EVP_PKEY* key) {
    update::PublicKey point{};
    std::size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point.data(), point.size(),
                                        &length) != 1 ||
        length != point.size() || point[0] != 0x04)
        throw InputError("the key's public point can't be read");
    return point;
}

void refuse_existing(const std::string& path) {
    std::error_code error;
    if (std::filesystem::exists(path_from_utf8(path), error))
        throw InputError(path + ": exists already; keygen never overwrites a key");
}

}  // namespace

void command_keygen(const std::string& private_key, const std::string& public_key, std::FILE* report) {
    refuse_existing(private_key);
    refuse_existing(public_key);
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!key) throw InputError("no key pair could be made");
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        throw InputError("the private key could not be written");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    const std::vector<std::uint8_t> pem(data, data + size);
    write_file_atomically(path_from_utf8(private_key), pem);
    std::error_code error;
    std::filesystem::permissions(path_from_utf8(private_key), std::filesystem::perms::owner_read |
                                                                  std::filesystem::perms::owner_write, error);
    const std::string public_pem = update::public_key_pem(public_point(key.get()));
    write_file_atomically(path_from_utf8(public_key), std::vector<std::uint8_t>(public_pem.begin(), public_pem.end()));
    std::fprintf(report, "%s: private key (keep it secret)\n%s: public key (imepack build --update-key)\n",
                 private_key.c_str(), public_key.c_str());
}

void command_sign_list(const std::string& list, const std::string& private_key, const std::string& packages,
                       std::FILE* report) {
    const Key key = read_private_key(private_key);
    std::vector<std::uint8_t> bytes = read_file(path_from_utf8(list));
    if (!packages.empty()) {
        const std::string filled = fill_list_digests(std::string(bytes.begin(), bytes.end()), packages, file_digest, list);
        bytes.assign(filled.begin(), filled.end());
        write_file_atomically(path_from_utf8(list), bytes);
    }
    std::unique_ptr<EVP_MD_CTX, FreeContext> context(EVP_MD_CTX_new());
    std::size_t size = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, bytes.data(), bytes.size()) != 1)
        throw InputError(list + ": could not be signed");
    std::vector<std::uint8_t> signature(size);
    if (EVP_DigestSign(context.get(), signature.data(), &size, bytes.data(), bytes.size()) != 1)
        throw InputError(list + ": could not be signed");
    signature.resize(size);
    write_file_atomically(path_from_utf8(list + ".sig"), signature);
    std::fprintf(report, "%s%s: signed, %s.sig (%zu bytes)\n", list.c_str(),
                 packages.empty() ? "" : " (digests filled in)", list.c_str(), signature.size());
}

}  // namespace imepack
