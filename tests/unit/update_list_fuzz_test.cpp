// Random list files through the decoder and the parser, with a fixed seed:
// nothing crashes, nothing is read outside the data (each file lies in a
// heap block of its exact size, for the sanitizer or valgrind), and every
// entry comes out whole.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "update/list_text.h"
#include "update/update_list.h"
#include "update_list_test_util.h"

namespace {

// Bytes that matter to the readers, mixed with anything at all.
constexpr std::uint8_t kInteresting[] = {'<', '>', '=', '\r', '\n', 0, 'T', 'Y', 'P', 'E', 'N', 'A', 'M', 'V', '.',
                                         '1', 0x80, 0xBF, 0xC3, 0xE4, 0xF0, 0xF8, 0xFE, 0xFF, 0xEF, 0xBB};

update_test::Bytes random_file(std::mt19937& rng) {
    std::uniform_int_distribution<int> length_of(0, 1400);
    std::uniform_int_distribution<int> byte_of(0, 255);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kInteresting) - 1);
    update_test::Bytes bytes(static_cast<std::size_t>(length_of(rng)));
    for (auto& b : bytes) b = (rng() % 2 == 0) ? kInteresting[pick(rng)] : static_cast<std::uint8_t>(byte_of(rng));
    // Some files start with a mark, so every road is taken.
    switch (rng() % 6) {
        case 0: bytes.insert(bytes.begin(), {0xEF, 0xBB, 0xBF}); break;
        case 1: bytes.insert(bytes.begin(), {0xFF, 0xFE}); break;
        case 2: bytes.insert(bytes.begin(), {0xFE, 0xFF}); break;
        default: break;
    }
    return bytes;
}

template <std::size_t N>
bool terminated(const char16_t (&slot)[N]) {
    return std::find(slot, slot + N, u'\0') != slot + N;
}

}  // namespace

TEST(UpdateListFuzz, RandomFilesDecodeAndParseWithinBounds) {
    std::mt19937 rng(20240611u);
    for (int round = 0; round < 4000; ++round) {
        const update_test::Bytes file = random_file(rng);
        auto block = std::make_unique<std::uint8_t[]>(file.size());
        std::copy(file.begin(), file.end(), block.get());
        const std::span<const std::uint8_t> data(block.get(), file.size());

        const std::u16string text = update::decode_list_text(data, update_test::fake_gbk);
        ASSERT_LE(text.size(), file.size()) << round;

        std::size_t posted = 0;
        const auto entries = update::parse_update_list(text, [&](std::u16string_view) { ++posted; });
        // After the first line each line holds a character and ends in a break.
        ASSERT_LE(entries.size(), text.size() / 2 + 1) << round;
        for (const auto& e : entries) {
            ASSERT_GE(e.type, 0);
            ASSERT_LE(e.type, update::kItemSkinZip);
            ASSERT_TRUE(terminated(e.name) && terminated(e.path) && terminated(e.package_address)) << round;
            ASSERT_EQ(e.local_version, 0u);
        }
        // Every unknown key needs at least "<>" of the text.
        ASSERT_LE(posted, text.size() / 2) << round;
    }
}

TEST(UpdateListFuzz, RandomTextsOfListCharactersParseWithinBounds) {
    std::mt19937 rng(7u);
    using namespace std::literals;
    const std::u16string_view alphabet = u"<<>>==\r\n\0TYPENAMEVERSIONCABURLSAVEPATHzme_drive.12 五"sv;
    for (int round = 0; round < 3000; ++round) {
        std::u16string text(rng() % 1300, u' ');
        for (auto& c : text) c = alphabet[rng() % alphabet.size()];
        const auto entries = update::parse_update_list(text);
        // A line takes at least one character, a separator run at least one.
        ASSERT_LE(entries.size(), text.size()) << round;
        for (const auto& e : entries) ASSERT_TRUE(terminated(e.name) && terminated(e.package_address)) << round;
    }
}
