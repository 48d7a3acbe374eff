// Decoding update list files: every encoding road, the UTF-8 test, the
// lenient UTF-8 decoder and its behaviour at the very end of the data.

#include "update/list_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "update_list_test_util.h"

using update::decode_list_text;
using update::decode_utf8_lenient;
using update::detect_text_encoding;
using update::looks_like_utf8;
using update::TextEncoding;
using namespace update_test;

namespace {

std::u16string decode(const Bytes& bytes) {
    return decode_list_text(bytes, fake_gbk);
}

// The decoder on a heap block of exactly the data's size, so a read past
// the end is a heap overflow that the sanitizer or valgrind reports.
std::u16string decode_utf8_exact(const Bytes& bytes) {
    auto block = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), block.get());
    return decode_utf8_lenient({block.get(), bytes.size()});
}

}  // namespace

TEST(ListTextRoads, MarksChooseTheirRoadFirst) {
    EXPECT_EQ(detect_text_encoding(Bytes{0xEF, 0xBB, 0xBF, 'a'}), TextEncoding::utf8_marked);
    EXPECT_EQ(detect_text_encoding(Bytes{0xFF, 0xFE, 'a', 0}), TextEncoding::utf16_le);
    EXPECT_EQ(detect_text_encoding(Bytes{0xFE, 0xFF, 0, 'a'}), TextEncoding::utf16_be);
    EXPECT_EQ(detect_text_encoding(utf8_of(u"五笔")), TextEncoding::utf8);
    EXPECT_EQ(detect_text_encoding(Bytes{0xCE, 0xE5, 0xB1, 0xCA}), TextEncoding::ansi);
    // Pure ASCII is not taken for UTF-8: the ANSI road gives the same text.
    EXPECT_EQ(detect_text_encoding(ascii_of("<TYPE=UPDATE>")), TextEncoding::ansi);
    EXPECT_EQ(detect_text_encoding(Bytes{}), TextEncoding::ansi);
    // A partial mark is no mark.
    EXPECT_EQ(detect_text_encoding(Bytes{0xEF, 0xBB}), TextEncoding::ansi);
    EXPECT_EQ(detect_text_encoding(Bytes{0xFF}), TextEncoding::ansi);
}

TEST(ListTextRoads, EveryEncodingOfAListGivesTheSameText) {
    const std::u16string list = u"<TYPE=ZME_DRIVE><NAME=五笔><VERSION=2.5.0.1153>\r\n<NAME=码表>";
    EXPECT_EQ(decode(with_utf8_mark(utf8_of(list))), list);
    EXPECT_EQ(decode(utf8_of(list)), list);
    EXPECT_EQ(decode(gbk_of(list)), list);
    // The UTF-16 roads count the mark's place: one zero unit at the end.
    const std::u16string with_end = list + u'\0';
    EXPECT_EQ(decode(utf16le_of(list)), with_end);
    EXPECT_EQ(decode(utf16be_of(list)), with_end);
}

TEST(ListTextRoads, Utf16LengthIsHalfTheByteCountAndAHalfUnitIsDropped) {
    EXPECT_EQ(decode(Bytes{0xFF, 0xFE}), std::u16string(1, u'\0'));
    EXPECT_EQ(decode(Bytes{0xFF, 0xFE, 'a'}), std::u16string(1, u'\0'));
    EXPECT_EQ(decode(Bytes{0xFF, 0xFE, 'a', 0, 'b'}), std::u16string(u"a\0", 2));
    EXPECT_EQ(decode(Bytes{0xFE, 0xFF, 0, 'a', 0}), std::u16string(u"a\0", 2));
    // Units after a zero unit keep their byte order too.
    EXPECT_EQ(decode(Bytes{0xFE, 0xFF, 0, 'a', 0, 0, 0x4E, 0x94}), std::u16string(u"a\0五\0", 4));
}

TEST(ListTextRoads, AnsiConvertsOnlyUpToTheFirstZeroByte) {
    std::vector<Bytes> seen;
    const update::AnsiDecoder recorder = [&](std::span<const std::uint8_t> bytes) {
        seen.emplace_back(bytes.begin(), bytes.end());
        return fake_gbk(bytes);
    };
    Bytes bytes = gbk_of(u"<NAME=五笔>");
    bytes.push_back(0);
    const Bytes tail = ascii_of("<NAME=lost>");
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    EXPECT_EQ(decode_list_text(bytes, recorder), u"<NAME=五笔>");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], gbk_of(u"<NAME=五笔>"));

    // A converter that gives back a zero unit ends the text there.
    const update::AnsiDecoder zero_inside = [](std::span<const std::uint8_t>) { return std::u16string(u"ab\0cd", 5); };
    EXPECT_EQ(decode_list_text(ascii_of("abcd"), zero_inside), u"ab");
    // A converter that fails gives an empty text, not a failure.
    const update::AnsiDecoder failing = [](std::span<const std::uint8_t>) { return std::u16string(); };
    EXPECT_EQ(decode_list_text(ascii_of("abcd"), failing), u"");
}

TEST(ListTextRoads, WithoutAConverterAnsiBytesWidenAsTheyAre) {
    EXPECT_EQ(decode_list_text(Bytes{'a', 0xE9, 'b'}, nullptr), u"a\u00E9b");
    EXPECT_EQ(decode_list_text(Bytes{}, nullptr), u"");
}

TEST(Utf8Test, AcceptsWellFormedSequencesOfEveryLength) {
    EXPECT_TRUE(looks_like_utf8(Bytes{0xC3, 0xA9}));
    EXPECT_TRUE(looks_like_utf8(Bytes{'a', 0xE4, 0xB8, 0x80, 'b'}));
    EXPECT_TRUE(looks_like_utf8(Bytes{0xF0, 0x9F, 0x98, 0x80}));
    // The test counts leading ones only: overlong and long forms pass.
    EXPECT_TRUE(looks_like_utf8(Bytes{0xC0, 0x80}));
    EXPECT_TRUE(looks_like_utf8(Bytes{0xFE, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));
    EXPECT_TRUE(looks_like_utf8(Bytes{0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));
}

TEST(Utf8Test, RefusesLoneContinuationsMissingContinuationsAndCutSequences) {
    EXPECT_FALSE(looks_like_utf8(Bytes{}));
    EXPECT_FALSE(looks_like_utf8(ascii_of("plain ascii")));
    EXPECT_FALSE(looks_like_utf8(Bytes{0x80}));
    EXPECT_FALSE(looks_like_utf8(Bytes{'a', 0xBF, 'b'}));
    EXPECT_FALSE(looks_like_utf8(Bytes{0xC3, 'a'}));
    EXPECT_FALSE(looks_like_utf8(Bytes{0xE4, 0xB8, 0xE4, 0xB8, 0x80}));
    EXPECT_FALSE(looks_like_utf8(Bytes{0xC3, 0xA9, 0xA9}));  // one continuation too many
    EXPECT_FALSE(looks_like_utf8(Bytes{'a', 0xE4, 0xB8}));    // cut by the end
    EXPECT_FALSE(looks_like_utf8(Bytes{0xFF, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));
    EXPECT_FALSE(looks_like_utf8(Bytes{0xCE, 0xE5, 0xB1, 0xCA}));  // GBK "五笔"
}

TEST(Utf8Decoding, OneUnitPerSequence) {
    EXPECT_EQ(decode_utf8_exact(Bytes{'A', 0xC3, 0xA9, 0xE4, 0xB8, 0x80}), u"A\u00E9\u4E00");
    // Four bytes: the low 16 bits of the code point, no surrogate pair.
    EXPECT_EQ(decode_utf8_exact(Bytes{0xF0, 0x9F, 0x98, 0x80}), u"\uF600");
    // Continuation bytes are not checked.
    EXPECT_EQ(decode_utf8_exact(Bytes{0xC3, 'A'}), std::u16string(1, static_cast<char16_t>(0xC0 | 0x01)));
    // Other leads consume five bytes and use the last three.
    EXPECT_EQ(decode_utf8_exact(Bytes{0x80, 0x80, 0xE4, 0xB8, 0x80, 'z'}), u"\u4E00z");
    EXPECT_EQ(decode_utf8_exact(Bytes{0xF8, 0x88, 0x80, 0x80, 0x80}), std::u16string(1, u'\0'));
    // Zero bytes become zero units.
    EXPECT_EQ(decode_utf8_exact(Bytes{'a', 0, 'b'}), std::u16string(u"a\0b", 3));
    EXPECT_EQ(decode_utf8_exact(Bytes{}), u"");
}

TEST(Utf8Decoding, SequencesCutByTheEndReadMissingBytesAsZero) {
    EXPECT_EQ(decode_utf8_exact(Bytes{'a', 0xC3}), u"a\u00C0");
    EXPECT_EQ(decode_utf8_exact(Bytes{'a', 0xE4}), u"a\u4000");
    EXPECT_EQ(decode_utf8_exact(Bytes{'a', 0xE4, 0xB8}), u"a\u4E00");
    EXPECT_EQ(decode_utf8_exact(Bytes{0xF0, 0x9F}), u"\uF000");
    EXPECT_EQ(decode_utf8_exact(Bytes{0xF0, 0x9F, 0x98}), u"\uF600");
    EXPECT_EQ(decode_utf8_exact(Bytes{0xFF}), std::u16string(1, u'\0'));
    EXPECT_EQ(decode_utf8_exact(Bytes{0x80, 0x80, 0xE4}), u"\u4000");
    EXPECT_EQ(decode_utf8_exact(Bytes{0x80, 0x80, 0xE4, 0xB8}), u"\u4E00");
}

TEST(Utf8Decoding, EveryPrefixOfMixedTextStaysInsideTheData) {
    // Each prefix ends at every possible place inside a sequence; the
    // decoder sees a block of exactly that size.
    const Bytes text{'<', 0xC3, 0xA9, 0xE4, 0xB8, 0x80, 0xF0, 0x9F, 0x98, 0x80, 0xFF, 0x80, 0x80, 0x80, 0x80, 0xBF, '>'};
    for (std::size_t n = 0; n <= text.size(); ++n) {
        const Bytes prefix(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
        const std::u16string units = decode_utf8_exact(prefix);
        EXPECT_LE(units.size(), n) << n;
        // With its mark, a prefix reads the same through the list decoder.
        EXPECT_EQ(decode(with_utf8_mark(prefix)), units) << n;
    }
}
