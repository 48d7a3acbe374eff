#include "cabinet_reader.h"

#include "cabinet_writer.h"
#include "packer_test_util.h"
#include "tool_error.h"

#include <gtest/gtest.h>

using imepack::check_data_blocks;
using imepack::InputError;
using imepack::read_cabinet_listing;
using namespace packer_test;

namespace {

imepack::CabinetFile in_memory(std::string name, std::vector<std::uint8_t> bytes) {
    imepack::CabinetFile f;
    f.name = std::move(name);
    f.source = std::move(bytes);
    return f;
}

std::vector<std::uint8_t> sample_cabinet() {
    const std::vector<imepack::CabinetFile> files{in_memory("a.txt", text_bytes(40000, 1)),
                                                  in_memory("sub\\数据.bin", random_bytes(5000, 2)),
                                                  in_memory("z", {})};
    return imepack::write_cabinet(files);
}

// Reading must end in a listing or an InputError, never outside the bytes.
bool reads_or_refuses(const std::vector<std::uint8_t>& bytes) {
    try {
        check_data_blocks(read_cabinet_listing(bytes), bytes);
        return true;
    } catch (const InputError&) {
        return false;
    }
}

}  // namespace

TEST(CabinetReader, ListsWhatTheWriterWrote) {
    const auto cabinet = sample_cabinet();
    const auto listing = read_cabinet_listing(cabinet);
    EXPECT_EQ(listing.cabinet_size, cabinet.size());
    EXPECT_EQ(listing.version_major, 1);
    EXPECT_EQ(listing.version_minor, 3);
    ASSERT_EQ(listing.files.size(), 3u);
    EXPECT_EQ(listing.files[1].name, "sub\\数据.bin");
    EXPECT_EQ(listing.files[1].attributes & 0x80, 0x80);
    EXPECT_TRUE(reads_or_refuses(cabinet));
}

TEST(CabinetReader, EveryTruncationIsRefused) {
    const auto cabinet = sample_cabinet();
    for (std::size_t n = 0; n < cabinet.size(); n += (n < 200 ? 1 : 997)) {
        EXPECT_FALSE(reads_or_refuses(std::vector<std::uint8_t>(cabinet.begin(), cabinet.begin() + static_cast<std::ptrdiff_t>(n))))
            << n;
    }
}

TEST(CabinetReader, DamagedBytesNeverLeadOutsideTheCabinet) {
    const auto cabinet = sample_cabinet();
    std::mt19937 gen(5);
    for (int round = 0; round < 3000; ++round) {
        auto damaged = cabinet;
        const int flips = 1 + static_cast<int>(gen() % 4);
        for (int i = 0; i < flips; ++i) {
            // Mostly the header and entries, where the offsets live.
            const std::size_t at = gen() % 2 ? gen() % 120 : gen() % damaged.size();
            damaged[at] = static_cast<std::uint8_t>(gen());
        }
        reads_or_refuses(damaged);  // either answer is fine; no crash, no overrun
    }
    // A damaged payload byte is caught by its block's checksum.
    auto damaged = cabinet;
    damaged[damaged.size() - 10] ^= 1;
    EXPECT_FALSE(reads_or_refuses(damaged));
}
