// Signed updates on the vendor's side and the formats both sides read:
// keys, signatures and digests made by imepack checked with OpenSSL's own
// command line (and the other way round), malformed keys, signatures and
// digest texts refused, and the installer's key slot filled only once.
#include "cli.h"
#include "key_slot.h"
#include "tool_error.h"
#include "update/update_signature.h"
#include "update_signing.h"

#include "packer_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace packer_test;

namespace {

std::string path_text(const fs::path& p) { return p.string(); }

int shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string text_of(const fs::path& p) {
    const auto bytes = read_bytes(p);
    return std::string(bytes.begin(), bytes.end());
}

// What `openssl dgst -sha256 -r` says a file's digest is.
std::string openssl_digest(const fs::path& file) {
    std::string command = "openssl dgst -sha256 -r '" + path_text(file) + "'";
    FILE* pipe = popen(command.c_str(), "r");
    char line[256] = {};
    if (pipe == nullptr) return {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    return read ? std::string(line).substr(0, 64) : std::string();
}

}  // namespace

TEST(UpdateSigning, KeysSignaturesAndDigestsAgreeWithOpenSsl) {
    TempFolder folder;
    const fs::path key = folder.path() / "vendor.pem";
    const fs::path pub = folder.path() / "vendor.pub.pem";
    const fs::path packages = folder.path() / "packages";
    const fs::path list = folder.path() / "UpdateList.txt";
    fs::create_directories(packages);
    write_bytes(packages / "abc.cab", random_bytes(5000, 1));
    write_bytes(packages / "jade.zip", random_bytes(300, 2));
    write_bytes(packages / "jade.zip.png", random_bytes(200, 3));
    write_bytes(list, bytes_of("<TYPE=ZME_DRIVE><NAME=abc><VERSION=2><CABURL=http://u.example/d/abc.cab><sha256=00>\r\n"
                               "<TYPE=SKINZIP><NAME=jade><VERSION=1><CABURL=http://u.example/s/jade.zip>\r\n"));

    testing::internal::CaptureStdout();
    ASSERT_EQ(imepack::run_cli({"keygen", path_text(key), path_text(pub)}), 0);
    ASSERT_EQ(imepack::run_cli({"sign-list", path_text(list), path_text(key), "--packages", path_text(packages)}), 0);
    testing::internal::GetCapturedStdout();

    // The digests filled in are the files' own, the stale tag gone.
    const std::string filled = text_of(list);
    EXPECT_EQ(filled, "<TYPE=ZME_DRIVE><NAME=abc><VERSION=2><CABURL=http://u.example/d/abc.cab><SHA256=" +
                          openssl_digest(packages / "abc.cab") +
                          ">\r\n<TYPE=SKINZIP><NAME=jade><VERSION=1><CABURL=http://u.example/s/jade.zip><SHA256=" +
                          openssl_digest(packages / "jade.zip") + "><PNGSHA256=" +
                          openssl_digest(packages / "jade.zip.png") + ">\r\n");

    // OpenSSL verifies imepack's signature, and only over the exact bytes.
    const std::string verify = "openssl dgst -sha256 -verify '" + path_text(pub) + "' -signature '" +
                               path_text(list) + ".sig' '" + path_text(list) + "'";
    EXPECT_EQ(shell(verify), 0);
    auto changed = read_bytes(list);
    changed[10] ^= 1;
    write_bytes(list, changed);
    EXPECT_NE(shell(verify), 0);

    // OpenSSL reads imepack's keys as the README's commands use them, and
    // its signatures are what the program parses.
    const fs::path openssl_pub = folder.path() / "openssl.pub.pem";
    const fs::path openssl_sig = folder.path() / "openssl.sig";
    ASSERT_EQ(shell("openssl ec -in '" + path_text(key) + "' -pubout -out '" + path_text(openssl_pub) + "'"), 0);
    EXPECT_EQ(update::parse_public_key_pem(text_of(openssl_pub)), update::parse_public_key_pem(text_of(pub)));
    ASSERT_EQ(shell("openssl dgst -sha256 -sign '" + path_text(key) + "' -out '" + path_text(openssl_sig) + "' '" +
                    path_text(list) + "'"),
              0);
    EXPECT_TRUE(update::parse_der_signature(read_bytes(openssl_sig)).has_value());

    // A second keygen never replaces the vendor's key.
    const auto before = read_bytes(key);
    testing::internal::CaptureStderr();
    EXPECT_EQ(imepack::run_cli({"keygen", path_text(key), path_text(folder.path() / "other.pem")}), 1);
    EXPECT_EQ(imepack::run_cli({"sign-list", path_text(list), path_text(pub)}), 1);  // a public key can't sign
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(read_bytes(key), before);
}

TEST(UpdateSigning, MalformedKeysSignaturesAndDigestTextsAreRefused) {
    update::PublicKey key{};
    key[0] = 0x04;
    for (std::size_t i = 1; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i * 37);
    const std::string pem = update::public_key_pem(key);
    EXPECT_EQ(update::parse_public_key_pem(pem), key);
    EXPECT_FALSE(update::parse_public_key_pem(pem.substr(0, pem.size() - 10)));
    EXPECT_FALSE(update::parse_public_key_pem("junk " + pem));
    std::string other_curve = pem;  // one base64 character of the curve's OID changed
    other_curve[other_curve.find('\n') + 30] ^= 1;
    EXPECT_FALSE(update::parse_public_key_pem(other_curve));

    // r with its high bit set (a zero in front), s short.
    std::vector<std::uint8_t> der = {0x30, 0x26, 0x02, 0x21, 0x00};
    for (int i = 0; i < 32; ++i) der.push_back(static_cast<std::uint8_t>(0x80 + i));
    der.insert(der.end(), {0x02, 0x01, 0x07});
    const auto raw = update::parse_der_signature(der);
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ((*raw)[0], 0x80);
    EXPECT_EQ((*raw)[63], 0x07);
    EXPECT_EQ((*raw)[62], 0x00);
    auto trailing = der;
    trailing.push_back(0);
    trailing[1] = 0x27;
    auto negative = der;
    negative.erase(negative.begin() + 4);
    negative[1] = 0x25;
    negative[3] = 0x20;
    for (const auto& bad : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>(der.begin(), der.end() - 2),
                            trailing, negative}) {
        EXPECT_FALSE(update::parse_der_signature(bad));
    }

    const std::u16string good = u"5891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03";
    EXPECT_EQ(update::parse_digest_text(good).status, update::DigestStatus::ok);
    EXPECT_EQ(update::parse_digest_text(good).digest[0], 0x58);
    EXPECT_EQ(update::parse_digest_text(u"").status, update::DigestStatus::missing);
    for (const std::u16string& bad : std::vector<std::u16string>{u"5891B5B522D5DF086D0FF0B110FBD9D21BB4FC7163AF34D08286A2E846F6BE03",
                                      u" 891b5b522d5df086d0ff0b110fbd9d21bb4fc7163af34d08286a2e846f6be03",
                                      good.substr(1), good + u"0"}) {
        EXPECT_EQ(update::parse_digest_text(bad).status, update::DigestStatus::malformed);
    }
}

TEST(UpdateSigning, TheInstallersKeySlotTakesOneKeyOnly) {
    TempFolder folder;
    update::PublicKey key{};
    key[0] = 0x04;
    key[1] = 0x11;
    const fs::path pub = folder.path() / "key.pem";
    const std::string pem = update::public_key_pem(key);
    write_bytes(pub, bytes_of(pem));

    std::vector<std::uint8_t> image(4096, 0xCC);
    const auto empty = imepack::key_slot_bytes(std::nullopt);
    std::copy(empty.begin(), empty.end(), image.begin() + 1000);
    ASSERT_EQ(imepack::find_key_slot(image).status, imepack::KeySlotStatus::empty);

    const auto keyed = imepack::with_update_key(image, path_text(pub), "setup.exe");
    const imepack::KeySlot slot = imepack::find_key_slot(keyed);
    EXPECT_EQ(slot.status, imepack::KeySlotStatus::keyed);
    EXPECT_EQ(slot.offset, 1000u);
    EXPECT_EQ(slot.key, key);
    EXPECT_EQ(update::key_from_slot(std::span(keyed).subspan(1000)), key);
    EXPECT_EQ(imepack::with_update_key(keyed, path_text(pub), "setup.exe"), keyed);

    key[1] = 0x22;
    write_bytes(pub, bytes_of(update::public_key_pem(key)));
    EXPECT_THROW(imepack::with_update_key(keyed, path_text(pub), "setup.exe"), imepack::InputError);
    EXPECT_THROW(imepack::with_update_key(std::vector<std::uint8_t>(4096, 0xCC), path_text(pub), "setup.exe"),
                 imepack::InputError);
    auto twice = image;
    std::copy(empty.begin(), empty.end(), twice.begin() + 2000);
    EXPECT_EQ(imepack::find_key_slot(twice).status, imepack::KeySlotStatus::several);
}
