#pragma once
// The formats around signed update lists, shared by the program (which
// verifies) and the vendor's packer (which signs):
//
// - A public key is an ECDSA P-256 key as OpenSSL writes it with
//   `openssl ec -pubout`: PEM "-----BEGIN PUBLIC KEY-----", base64 of the
//   DER SubjectPublicKeyInfo (91 bytes) holding the uncompressed point.
// - A list's signature ("UpdateList.txt.sig" beside "UpdateList.txt") is
//   ECDSA P-256 over the SHA-256 of the list's exact bytes, stored as the
//   DER ECDSA-Sig-Value (SEQUENCE of the INTEGERs r and s) that
//   `openssl dgst -sha256 -sign` writes: binary, 8 to 72 bytes.
// - A package's digest is the tag <SHA256=...> of its list line (for a
//   skin's preview picture <PNGSHA256=...>): exactly 64 lowercase hex
//   digits of the SHA-256 of the file as served.
// - The program carries its key in a fixed slot of its own image, found by
//   its marker; `imepack build --update-key` fills it in.
//
// Everything here only parses bytes; no cryptography is done.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace update {

// The uncompressed P-256 point: 0x04, X (32 bytes), Y (32 bytes).
using PublicKey = std::array<std::uint8_t, 65>;
// r and s, 32 bytes each, big-endian: the form CNG's verifier takes.
using RawSignature = std::array<std::uint8_t, 64>;
using Sha256Digest = std::array<std::uint8_t, 32>;

// The signature file of a list: the list's address with this appended.
inline constexpr const wchar_t* kSignatureSuffix = L".sig";
inline constexpr std::u16string_view kDigestKey = u"SHA256";
inline constexpr std::u16string_view kPreviewDigestKey = u"PNGSHA256";

// The key of a PEM text (blanks and CR LF line ends are fine); nothing when
// it isn't one PUBLIC KEY block of a P-256 key.
std::optional<PublicKey> parse_public_key_pem(std::string_view pem);
// The DER SubjectPublicKeyInfo of a key, and its PEM text (64-column lines).
std::array<std::uint8_t, 91> public_key_der(const PublicKey& key);
std::string public_key_pem(const PublicKey& key);

// r and s of a DER ECDSA-Sig-Value; nothing when the bytes are anything
// else (cut, trailing bytes, negative or oversized integers, empty).
std::optional<RawSignature> parse_der_signature(std::span<const std::uint8_t> der);

enum class DigestStatus { ok, missing, malformed };
struct DigestTag {
    DigestStatus status = DigestStatus::missing;
    Sha256Digest digest{};
};
// A digest tag's value: empty is missing; anything but 64 lowercase hex
// digits (capitals, blanks, another length) is malformed.
DigestTag parse_digest_text(std::u16string_view text);

// The slot in the program's image: the marker, one state byte (0 = no key,
// 1 = key), the point, padding to 96 bytes.
inline constexpr std::size_t kKeySlotSize = 96;
inline constexpr std::size_t kKeySlotMarkerSize = 16;
inline constexpr std::array<std::uint8_t, kKeySlotMarkerSize> kKeySlotMarker = {
    'I', 'M', 'E', 'B', 'A', 'S', 'E', '-', 'U', 'P', 'D', 'K', 'E', 'Y', '-', '1'};

// The key a slot's bytes hold; nothing for an empty or damaged slot. The
// marker isn't compared: the program reads its own slot, and only the
// packer searches for it (so that the marker is found once in the program,
// never also as a constant of the code that looks for it).
std::optional<PublicKey> key_from_slot(std::span<const std::uint8_t> slot);

}  // namespace update
