#include "package/blowfish.h"
#include "package/package_key.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

using package::BlowfishContext;

namespace {

std::vector<std::uint8_t> from_hex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// The published vectors write a block as eight bytes whose halves are
// big-endian words.
std::uint32_t be_word(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) | (std::uint32_t{b[at + 2]} << 8) |
           std::uint32_t{b[at + 3]};
}

void put_le(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

BlowfishContext keyed(const std::vector<std::uint8_t>& key) {
    BlowfishContext ctx{};
    package::SetKey(ctx, key.data(), key.size());
    return ctx;
}

struct Vector {
    const char* key;
    const char* clear;
    const char* cipher;
};

// Eric Young's ECB test vectors for 16-round Blowfish.
const Vector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The same author's key-length vectors: clear block FEDCBA9876543210 under
// the first n bytes of one long key, n = 1 .. 24.
const char kLongKey[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
const char* const kKeyLengthCiphers[] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05", "B39E44481BDB1E6E",
    "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82", "15750E7A4F4EC577", "122BA70B3AB64AE0",
    "3A833C9AFFC537F6", "9409DA87A90F6BF2", "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F",
    "93142887EE3BE15C", "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

void expect_words(const BlowfishContext& ctx, const std::string& clear_hex, const std::string& cipher_hex) {
    const auto clear = from_hex(clear_hex);
    const auto cipher = from_hex(cipher_hex);
    std::uint32_t l = be_word(clear, 0);
    std::uint32_t r = be_word(clear, 4);
    package::encipher_words(ctx, l, r);
    EXPECT_EQ(l, be_word(cipher, 0)) << clear_hex;
    EXPECT_EQ(r, be_word(cipher, 4)) << clear_hex;
    package::decipher_words(ctx, l, r);
    EXPECT_EQ(l, be_word(clear, 0));
    EXPECT_EQ(r, be_word(clear, 4));
}

}  // namespace

TEST(Blowfish, PublishedEcbVectors) {
    for (const Vector& v : kEcbVectors) {
        SCOPED_TRACE(v.key);
        const BlowfishContext ctx = keyed(from_hex(v.key));
        EXPECT_NE(ctx.key_set, 0u);
        expect_words(ctx, v.clear, v.cipher);
    }
}

TEST(Blowfish, PublishedKeyLengthVectors) {
    const auto long_key = from_hex(kLongKey);
    for (std::size_t n = 1; n <= std::size(kKeyLengthCiphers); ++n) {
        SCOPED_TRACE(n);
        const BlowfishContext ctx = keyed({long_key.begin(), long_key.begin() + static_cast<std::ptrdiff_t>(n)});
        expect_words(ctx, "FEDCBA9876543210", kKeyLengthCiphers[n - 1]);
    }
}

TEST(Blowfish, BlocksHoldLittleEndianWordsLeftFirst) {
    // Vector "0123456789ABCDEF / 1111111111111111 -> 61F9C3802281B096" with
    // its words stored little-endian in the block.
    const BlowfishContext ctx = keyed(from_hex("0123456789ABCDEF"));
    std::uint8_t block[8] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11};
    package::encipher_block(ctx, block);
    std::uint8_t expected[8];
    put_le(expected, 0x61F9C380);
    put_le(expected + 4, 0x2281B096);
    EXPECT_EQ(std::vector<std::uint8_t>(block, block + 8), std::vector<std::uint8_t>(expected, expected + 8));
    package::decipher_block(ctx, block);
    EXPECT_EQ(std::vector<std::uint8_t>(block, block + 8), std::vector<std::uint8_t>(8, 0x11));

    // An asymmetric block tells the halves and byte orders apart.
    const auto clear = from_hex("0123456789ABCDEF");
    std::uint8_t asym[8];
    put_le(asym, 0x01234567);
    put_le(asym + 4, 0x89ABCDEF);
    package::encipher_block(keyed(from_hex("1111111111111111")), asym);
    std::uint8_t want[8];
    put_le(want, 0x7D0CC630);
    put_le(want + 4, 0xAFDA1EC7);
    EXPECT_EQ(std::vector<std::uint8_t>(asym, asym + 8), std::vector<std::uint8_t>(want, want + 8));
}

TEST(Blowfish, ManyBlocksMatchOneByOneAndRoundTrip) {
    const BlowfishContext ctx =
        keyed({package::kPackageKey, package::kPackageKey + package::kPackageKeyLength});
    std::mt19937 rng(7);
    // 1003 blocks: groups of several blocks and single ones; a trailing
    // partial block stays as it is.
    std::vector<std::uint8_t> data(8 * 1003 + 5);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng());
    }
    auto bulk = data;
    package::encipher_blocks(ctx, bulk.data(), bulk.size());
    auto single = data;
    for (std::size_t i = 0; i + 8 <= single.size(); i += 8) {
        package::encipher_block(ctx, single.data() + i);
    }
    EXPECT_EQ(bulk, single);
    EXPECT_NE(bulk, data);
    EXPECT_TRUE(std::equal(bulk.end() - 5, bulk.end(), data.end() - 5));
    package::decipher_blocks(ctx, bulk.data(), bulk.size());
    EXPECT_EQ(bulk, data);
}

TEST(Blowfish, EmptyKeyLeavesContextUnkeyed) {
    BlowfishContext ctx{};
    const std::uint8_t key[1] = {0x42};
    package::SetKey(ctx, key, 1);
    EXPECT_NE(ctx.key_set, 0u);
    package::SetKey(ctx, key, 0);
    EXPECT_EQ(ctx.key_set, 0u);
    // The tables are back at their initial values (the digits of pi).
    EXPECT_EQ(ctx.p[0], 0x243F6A88u);
    EXPECT_EQ(ctx.s[3][255], 0x3AC372E6u);
}

TEST(Blowfish, PackageKeyIsElevenAsciiBytes) {
    EXPECT_EQ(std::string(package::kPackageKey).size(), package::kPackageKeyLength);
    for (std::size_t i = 0; i < package::kPackageKeyLength; ++i) {
        EXPECT_GT(package::kPackageKey[i], 0x20);
        EXPECT_LT(package::kPackageKey[i], 0x7F);
    }
}
