#include "deflate_check.h"

#include "deflater.h"
#include "packer_test_util.h"

#include <libdeflate.h>

#include <gtest/gtest.h>

using imepack::deflate_codes_complete;
using imepack::Deflater;
using namespace packer_test;

namespace {

std::vector<std::uint8_t> libdeflate_only(const std::vector<std::uint8_t>& in) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(imepack::kDeflateLevel);
    std::vector<std::uint8_t> out(in.size() + 64);
    out.resize(libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

std::vector<std::uint8_t> inflate(const std::vector<std::uint8_t>& stream, std::size_t size) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::vector<std::uint8_t> out(size);
    std::size_t got = 0;
    const auto result = libdeflate_deflate_decompress(d, stream.data(), stream.size(), out.data(), out.size(), &got);
    libdeflate_free_decompressor(d);
    EXPECT_EQ(result, LIBDEFLATE_SUCCESS);
    out.resize(got);
    return out;
}

// Short text without any repeat: a block of literals only.
const std::vector<std::uint8_t> kNoMatches = bytes_of("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n17\n");

}  // namespace

TEST(DeflateCheck, FindsTheEmptyDistanceCodeThatLibmspackRefuses) {
    const auto stream = libdeflate_only(kNoMatches);
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(inflate(stream, kNoMatches.size()), kNoMatches);  // valid deflate all the same
    EXPECT_FALSE(deflate_codes_complete(stream));
}

TEST(DeflateCheck, AcceptsOrdinaryStreamsAndRefusesDamagedOnes) {
    const auto text = text_bytes(32768, 11);
    const auto stream = libdeflate_only(text);
    EXPECT_TRUE(deflate_codes_complete(stream));
    EXPECT_FALSE(deflate_codes_complete(std::span(stream).first(3)));  // the header cut short
    EXPECT_FALSE(deflate_codes_complete({}));
    const std::vector<std::uint8_t> bad_type{0x07};  // block type 3
    EXPECT_FALSE(deflate_codes_complete(bad_type));
}

TEST(DeflateCheck, LooksIntoEveryBlockBeforeTheFinalOne) {
    // A stored block, then the literals-only block: the check must walk
    // past the first to find the second's empty distance code.
    std::vector<std::uint8_t> stream{0x00, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'};
    const auto tail = libdeflate_only(kNoMatches);
    stream.insert(stream.end(), tail.begin(), tail.end());
    EXPECT_EQ(inflate(stream, 3 + kNoMatches.size()).size(), 3 + kNoMatches.size());
    EXPECT_FALSE(deflate_codes_complete(stream));
    // Two text blocks with matches (libdeflate splits mixed data).
    auto mixed = text_bytes(16384, 1);
    const auto noise = random_bytes(16384, 2);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    const auto twice = libdeflate_only(mixed);
    EXPECT_TRUE(deflate_codes_complete(twice));
    EXPECT_EQ(inflate(twice, mixed.size()), mixed);
}

TEST(Deflater, EveryBlockItWritesPassesTheCheckAndInflatesBack) {
    Deflater deflater(imepack::kDeflateLevel);
    for (const auto& in : {kNoMatches, text_bytes(32768, 12), bytes_of("a"), std::vector<std::uint8_t>(32768, 'z')}) {
        std::vector<std::uint8_t> out(in.size() + 64);
        out.resize(deflater.deflate(in, out));
        ASSERT_FALSE(out.empty());
        EXPECT_TRUE(deflate_codes_complete(out));
        EXPECT_EQ(inflate(out, in.size()), in);
    }
}

TEST(Deflater, AnswersZeroWhenTheResultDoesNotFit) {
    Deflater deflater(imepack::kDeflateLevel);
    const auto noise = random_bytes(4096, 3);
    std::vector<std::uint8_t> out(4096);
    EXPECT_EQ(deflater.deflate(noise, out), 0u);
}
