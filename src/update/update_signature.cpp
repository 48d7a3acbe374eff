#include "update/update_signature.h"

#include <algorithm>
#include <string>

namespace update {
namespace {

// SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING (0 unused bits) ...
constexpr std::array<std::uint8_t, 26> kSpkiPrefix = {
    0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01,
    0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
constexpr std::string_view kPemBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kPemEnd = "-----END PUBLIC KEY-----";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64_value(char c) {
    const char* at = std::find(kBase64, kBase64 + 64, c);
    return at == kBase64 + 64 ? -1 : static_cast<int>(at - kBase64);
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Strict base64 (blanks between the characters skipped, '=' only at the end).
std::optional<std::basic_string<std::uint8_t>> base64_decode(std::string_view text) {
    std::basic_string<std::uint8_t> out;
    std::uint32_t bits = 0;
    int count = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        if (is_blank(c)) continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = base64_value(c);
        if (value < 0 || padding != 0) return std::nullopt;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || (count != 0 && padding != static_cast<std::size_t>(4 - count)) || (count == 0 && padding != 0))
        return std::nullopt;
    if (count == 2) out.push_back(static_cast<std::uint8_t>(bits >> 4));
    if (count == 3) {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

std::string base64_encode(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t bits = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (n > 1) bits |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (n > 2) bits |= bytes[i + 2];
        out.push_back(kBase64[(bits >> 18) & 63]);
        out.push_back(kBase64[(bits >> 12) & 63]);
        out.push_back(n > 1 ? kBase64[(bits >> 6) & 63] : '=');
        out.push_back(n > 2 ? kBase64[bits & 63] : '=');
    }
    return out;
}

// One DER INTEGER of at most 32 value bytes, positive and minimally
// encoded, right-aligned into `out`; `at` moves past it.
bool read_integer(std::span<const std::uint8_t> der, std::size_t& at, std::uint8_t* out) {
    if (at + 2 > der.size() || der[at] != 0x02) return false;
    const std::size_t length = der[at + 1];
    at += 2;
    if (length == 0 || length > 33 || at + length > der.size()) return false;
    const std::uint8_t* value = der.data() + at;
    if (value[0] & 0x80) return false;                                   // negative
    if (length > 1 && value[0] == 0 && (value[1] & 0x80) == 0) return false;  // not minimal
    std::size_t skip = value[0] == 0 ? 1 : 0;
    if (length - skip > 32) return false;
    std::fill(out, out + 32, 0);
    std::copy(value + skip, value + length, out + 32 - (length - skip));
    at += length;
    return true;
}

int hex_digit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

std::optional<PublicKey> parse_public_key_pem(std::string_view pem) {
    const std::size_t begin = pem.find(kPemBegin);
    if (begin == std::string_view::npos) return std::nullopt;
    for (std::size_t i = 0; i < begin; ++i)
        if (!is_blank(pem[i])) return std::nullopt;
    const std::size_t body = begin + kPemBegin.size();
    const std::size_t end = pem.find(kPemEnd, body);
    if (end == std::string_view::npos) return std::nullopt;
    for (std::size_t i = end + kPemEnd.size(); i < pem.size(); ++i)
        if (!is_blank(pem[i])) return std::nullopt;
    const auto der = base64_decode(pem.substr(body, end - body));
    if (!der || der->size() != 91 || !std::equal(kSpkiPrefix.begin(), kSpkiPrefix.end(), der->begin()) ||
        (*der)[26] != 0x04)
        return std::nullopt;
    PublicKey key;
    std::copy(der->begin() + 26, der->end(), key.begin());
    return key;
}

std::array<std::uint8_t, 91> public_key_der(const PublicKey& key) {
    std::array<std::uint8_t, 91> der;
    std::copy(kSpkiPrefix.begin(), kSpkiPrefix.end(), der.begin());
    std::copy(key.begin(), key.end(), der.begin() + 26);
    return der;
}

std::string public_key_pem(const PublicKey& key) {
    const auto der = public_key_der(key);
    const std::string body = base64_encode(der);
    std::string pem = std::string(kPemBegin) + "\n";
    for (std::size_t i = 0; i < body.size(); i += 64) pem += body.substr(i, 64) + "\n";
    return pem + std::string(kPemEnd) + "\n";
}

std::optional<RawSignature> parse_der_signature(std::span<const std::uint8_t> der) {
    // SEQUENCE with a short length: r and s take 70 bytes at most.
    if (der.size() < 8 || der[0] != 0x30 || der[1] >= 0x80 || static_cast<std::size_t>(der[1]) + 2 != der.size())
        return std::nullopt;
    RawSignature raw;
    std::size_t at = 2;
    if (!read_integer(der, at, raw.data()) || !read_integer(der, at, raw.data() + 32) || at != der.size())
        return std::nullopt;
    return raw;
}

DigestTag parse_digest_text(std::u16string_view text) {
    DigestTag tag;
    if (text.empty()) return tag;
    tag.status = DigestStatus::malformed;
    if (text.size() != 64) return tag;
    for (std::size_t i = 0; i < 32; ++i) {
        const int high = hex_digit(text[2 * i]);
        const int low = hex_digit(text[2 * i + 1]);
        if (high < 0 || low < 0) return tag;
        tag.digest[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    tag.status = DigestStatus::ok;
    return tag;
}

std::optional<PublicKey> key_from_slot(std::span<const std::uint8_t> slot) {
    if (slot.size() < kKeySlotSize || slot[kKeySlotMarkerSize] != 1 || slot[kKeySlotMarkerSize + 1] != 0x04)
        return std::nullopt;
    PublicKey key;
    std::copy(slot.begin() + kKeySlotMarkerSize + 1, slot.begin() + kKeySlotMarkerSize + 66, key.begin());
    return key;
}

}  // namespace update
