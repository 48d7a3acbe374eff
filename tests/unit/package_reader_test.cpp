#include "package/package_reader.h"

#include "package/package_container.h"
#include "package_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <vector>

using package::BlowfishContext;
using package::PackageReader;
using package_test::make_cabinet;
using package_test::package_key;

namespace {

// Files in memory behind the reader's raw callbacks, with the C runtime's
// read and seek behaviour (short reads at the end, seeks past the end allowed).
class MemoryFiles {
public:
    std::intptr_t add(std::vector<std::uint8_t> data) {
        const std::intptr_t handle = next_++;
        files_[handle] = {std::move(data), 0};
        return handle;
    }

    long read(std::intptr_t handle, void* buffer, unsigned count) {
        ++reads;
        auto it = files_.find(handle);
        if (it == files_.end()) {
            return -1;
        }
        File& f = it->second;
        const std::size_t available = f.pos < f.data.size() ? f.data.size() - f.pos : 0;
        const std::size_t n = std::min<std::size_t>(count, available);
        std::memcpy(buffer, f.data.data() + f.pos, n);
        f.pos += n;
        bytes_read += n;
        return static_cast<long>(n);
    }

    long seek(std::intptr_t handle, long offset, int origin) {
        auto it = files_.find(handle);
        if (it == files_.end()) {
            return -1;
        }
        File& f = it->second;
        const long base = origin == 0 ? 0 : origin == 1 ? static_cast<long>(f.pos) : static_cast<long>(f.data.size());
        if (base + offset < 0) {
            return -1;
        }
        f.pos = static_cast<std::size_t>(base + offset);
        return static_cast<long>(f.pos);
    }

    std::size_t pos(std::intptr_t handle) const { return files_.at(handle).pos; }

    int reads = 0;
    std::size_t bytes_read = 0;

private:
    struct File {
        std::vector<std::uint8_t> data;
        std::size_t pos;
    };
    std::map<std::intptr_t, File> files_;
    std::intptr_t next_ = 3;
};

BlowfishContext no_key() {
    BlowfishContext ctx{};
    package::SetKey(ctx, nullptr, 0);
    return ctx;
}

std::vector<std::uint8_t> padded(std::vector<std::uint8_t> cab) {
    cab.resize((cab.size() + 7) / 8 * 8, 0);
    return cab;
}

// The reader as the extraction drives it: open, seek, read.
struct Harness {
    explicit Harness(const BlowfishContext* cipher)
        : reader(
              cipher, [this](std::intptr_t h, void* b, unsigned n) { return files.read(h, b, n); },
              [this](std::intptr_t h, long o, int origin) { return files.seek(h, o, origin); }) {}

    std::intptr_t open(std::vector<std::uint8_t> data) {
        const std::intptr_t h = files.add(std::move(data));
        reader.OnOpen(h);
        return h;
    }

    void seek(std::intptr_t h, long to) { reader.OnSeek(h, files.seek(h, to, 0)); }

    // Delivered bytes, or nothing on failure.
    std::vector<std::uint8_t> read(std::intptr_t h, unsigned n, long* result = nullptr) {
        std::vector<std::uint8_t> out(n, 0xEE);
        const long got = reader.Read(h, out.data(), n);
        if (result != nullptr) {
            *result = got;
        }
        if (got < 0) {
            return {};
        }
        out.resize(static_cast<std::size_t>(got));
        return out;
    }

    MemoryFiles files;
    PackageReader reader;
};

std::vector<std::uint8_t> slice(const std::vector<std::uint8_t>& v, std::size_t at, std::size_t n) {
    return {v.begin() + static_cast<std::ptrdiff_t>(at), v.begin() + static_cast<std::ptrdiff_t>(at + n)};
}

class KeyedReader : public ::testing::Test {
protected:
    BlowfishContext key = package_key();
    std::vector<std::uint8_t> cabinet = make_cabinet(1000);
    std::vector<std::uint8_t> sealed = package::seal_cabinet(cabinet, key);
    Harness h{&key};
    std::intptr_t file = h.open(sealed);
};

}  // namespace

TEST_F(KeyedReader, OneByteInsideTheFirstEncipheredBlock) {
    h.seek(file, 57);
    EXPECT_EQ(h.read(file, 1), slice(cabinet, 57, 1));
    EXPECT_EQ(h.reader.position(file), 58);
    EXPECT_EQ(h.files.pos(file), 58u);  // the file is left right after the delivered byte
    EXPECT_EQ(h.reader.error(), PackageReader::kErrNone);
}

TEST_F(KeyedReader, HundredBytesAtStartKeepPlainPrefixAndDecipherTheRest) {
    const auto got = h.read(file, 100);
    ASSERT_EQ(got.size(), 100u);
    // The decoder sees a plain cabinet signature.
    EXPECT_EQ(slice(got, 0, 4), slice(cabinet, 0, 4));
    // Bytes 4 to 55 are as stored in the package (which is plain there).
    EXPECT_EQ(slice(got, 4, 52), slice(sealed, 4, 52));
    EXPECT_EQ(slice(got, 56, 44), slice(cabinet, 56, 44));
    EXPECT_NE(slice(sealed, 56, 44), slice(cabinet, 56, 44));
    EXPECT_EQ(h.reader.position(file), 100);
    EXPECT_EQ(h.files.pos(file), 100u);
}

TEST_F(KeyedReader, SpanAcrossThePlainPrefixBoundary) {
    h.seek(file, 48);
    EXPECT_EQ(h.read(file, 16), slice(cabinet, 48, 16));
    h.seek(file, 50);
    EXPECT_EQ(h.read(file, 13), slice(cabinet, 50, 13));
}

TEST_F(KeyedReader, SequentialReadsOfAnySizeGiveBackTheCabinet) {
    std::mt19937 rng(11);
    std::vector<std::uint8_t> out;
    while (out.size() < cabinet.size()) {
        const unsigned n = std::min<unsigned>(1 + rng() % 97, static_cast<unsigned>(cabinet.size() - out.size()));
        const auto got = h.read(file, n);
        ASSERT_EQ(got.size(), n) << "at " << out.size();
        out.insert(out.end(), got.begin(), got.end());
    }
    EXPECT_EQ(out, cabinet);
    // The padding after the cabinet reads as the zeros it was sealed with.
    const auto pad = h.read(file, static_cast<unsigned>(sealed.size() - cabinet.size()));
    EXPECT_EQ(pad, std::vector<std::uint8_t>(sealed.size() - cabinet.size(), 0));
}

TEST(PackageReader, SmallReadsAreServedFromOneReadOfTheFileAndAChangedKeyIsHeeded) {
    // A data block's header, then its data, as the decoder reads them:
    // the file is read once per work buffer, not once per request.
    BlowfishContext key = package_key();
    const auto cabinet = make_cabinet(200000);
    Harness h(&key);
    const auto file = h.open(package::seal_cabinet(cabinet, key));
    std::vector<std::uint8_t> out;
    for (unsigned n = 8; out.size() < cabinet.size(); n = n == 8 ? 3000 : 8) {
        const auto got = h.read(file, std::min<unsigned>(n, static_cast<unsigned>(cabinet.size() - out.size())));
        ASSERT_FALSE(got.empty()) << "at " << out.size();
        out.insert(out.end(), got.begin(), got.end());
        EXPECT_EQ(h.files.pos(file), out.size());
    }
    EXPECT_EQ(out, cabinet);
    EXPECT_LE(h.files.reads, 5);  // 200,000 bytes: four of 64 KiB
    // Blocks already deciphered under one key are not handed out under another.
    const std::uint8_t wrong[] = "ZZIMEBase25";
    package::SetKey(key, wrong, 11);
    h.seek(file, static_cast<long>(cabinet.size() - 128));
    EXPECT_NE(h.read(file, 64), slice(cabinet, cabinet.size() - 128, 64));
}

TEST(PackageReader, DataBlocksRunningPastTheBufferAreReadAndDecipheredOnce) {
    // Blocks of about half the work buffer, each a header and its data, as
    // the decoder reads a cabinet: every request but the last runs past
    // what the buffer holds at some point. The blocks already deciphered
    // stay; the file is read once from start to end.
    BlowfishContext key = package_key();
    const auto cabinet = make_cabinet(1000000);
    Harness h(&key);
    const auto sealed = package::seal_cabinet(cabinet, key);
    const auto file = h.open(sealed);
    std::vector<std::uint8_t> out;
    for (unsigned n = 8; out.size() < cabinet.size(); n = n == 8 ? 32768 - 5 * (out.size() % 7) : 8) {
        const auto got = h.read(file, std::min<unsigned>(n, static_cast<unsigned>(cabinet.size() - out.size())));
        ASSERT_FALSE(got.empty()) << "at " << out.size();
        out.insert(out.end(), got.begin(), got.end());
        EXPECT_EQ(h.files.pos(file), out.size());
    }
    EXPECT_EQ(out, cabinet);
    EXPECT_LE(h.files.bytes_read, sealed.size());
    // A step back into what was read before is read again, and right.
    h.seek(file, 100);
    EXPECT_EQ(h.read(file, 5000), slice(cabinet, 100, 5000));
}

TEST_F(KeyedReader, ReadingPastTheEndFailsWithoutMovingThePosition) {
    h.seek(file, static_cast<long>(sealed.size() - 8));
    long result = 0;
    EXPECT_TRUE(h.read(file, 9, &result).empty());
    EXPECT_EQ(result, -1);
    EXPECT_EQ(h.reader.position(file), static_cast<long>(sealed.size() - 8));
    EXPECT_EQ(h.files.pos(file), sealed.size() - 8);  // the file too: the next aligned read trusts it
    EXPECT_EQ(h.reader.error(), PackageReader::kErrNone);  // a short read records no code
}

TEST(PackageReader, OneReadSpansAtMost64KiBOfBlocks) {
    BlowfishContext key = package_key();
    const auto cabinet = make_cabinet(70000);
    Harness h(&key);
    const auto file = h.open(package::seal_cabinet(cabinet, key));
    EXPECT_EQ(h.read(file, 65536), slice(cabinet, 0, 65536));
    // 65536 bytes from an unaligned position need one block more.
    h.seek(file, 4);
    long result = 0;
    EXPECT_TRUE(h.read(file, 65536, &result).empty());
    EXPECT_EQ(result, -1);
    EXPECT_EQ(h.read(file, 65528), slice(cabinet, 4, 65528));
}

TEST(PackageReader, PlainCabinetWithKeyIsRefused) {
    BlowfishContext key = package_key();
    Harness h(&key);
    const auto file = h.open(padded(make_cabinet(200)));
    long result = 0;
    h.read(file, 100, &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(h.reader.error(), PackageReader::kErrPlainWhereKeyed);
    // A refused signature moves neither the position nor the file.
    EXPECT_EQ(h.reader.position(file), 0);
    EXPECT_EQ(h.files.pos(file), 0u);
}

TEST(PackageReader, PackageWithoutKeyIsRefused) {
    BlowfishContext key = package_key();
    BlowfishContext none = no_key();
    Harness h(&none);
    const auto file = h.open(package::seal_cabinet(make_cabinet(200), key));
    long result = 0;
    h.read(file, 36, &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(h.reader.error(), PackageReader::kErrKeyedWhereNone);
    EXPECT_EQ(h.reader.position(file), 0);
    EXPECT_EQ(h.files.pos(file), 0u);

    // A reader with no cipher at all behaves the same.
    Harness bare(nullptr);
    const auto f2 = bare.open(package::seal_cabinet(make_cabinet(200), key));
    bare.read(f2, 36, &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(bare.reader.error(), PackageReader::kErrKeyedWhereNone);
}

TEST(PackageReader, WithoutKeyPlainCabinetsPassThrough) {
    BlowfishContext none = no_key();
    Harness h(&none);
    const auto cabinet = make_cabinet(301);  // any length: nothing is deciphered
    const auto file = h.open(cabinet);
    EXPECT_EQ(h.read(file, 100), slice(cabinet, 0, 100));
    EXPECT_EQ(h.read(file, 500), slice(cabinet, 100, 201));  // a short read delivers what is there
    EXPECT_EQ(h.reader.position(file), 301);
    EXPECT_EQ(h.reader.error(), PackageReader::kErrNone);
}

TEST(PackageReader, NeitherSignatureIsNotACabinet) {
    BlowfishContext key = package_key();
    BlowfishContext none = no_key();
    for (BlowfishContext* ctx : {&key, &none}) {
        Harness h(ctx);
        auto junk = make_cabinet(64);
        std::memcpy(junk.data(), "MZ\x90\0", 4);
        const auto file = h.open(junk);
        long result = 0;
        h.read(file, 8, &result);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(h.reader.error(), PackageReader::kErrNotCabinet);
    }
}

TEST(PackageReader, SignatureIsJudgedOnlyOnAReadOfAtLeastFourBytesAtTheStart) {
    BlowfishContext key = package_key();
    Harness h(&key);
    std::vector<std::uint8_t> junk(64, 0x5A);
    const auto file = h.open(junk);
    // Three bytes at 0, then reads further on: no signature check.
    EXPECT_EQ(h.read(file, 3).size(), 3u);
    EXPECT_EQ(h.read(file, 20).size(), 20u);
    EXPECT_EQ(h.reader.error(), PackageReader::kErrNone);
    // Back at the start with four bytes: refused.
    h.seek(file, 0);
    long result = 0;
    h.read(file, 4, &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(h.reader.error(), PackageReader::kErrNotCabinet);
    // The refused read left the position at the start; a later good read
    // elsewhere does not clear the recorded error.
    EXPECT_EQ(h.reader.position(file), 0);
    h.seek(file, 8);
    EXPECT_EQ(h.read(file, 8).size(), 8u);
    EXPECT_EQ(h.reader.error(), PackageReader::kErrNotCabinet);
    h.reader.clear_error();
    EXPECT_EQ(h.reader.error(), PackageReader::kErrNone);
}

TEST(PackageReader, LengthNotAMultipleOfEightFailsOnlyInTheLastBlock) {
    BlowfishContext key = package_key();
    const auto cabinet = make_cabinet(203);
    auto sealed = package::seal_cabinet(cabinet, key);
    sealed.resize(203);  // the padding's block is cut short
    Harness h(&key);
    const auto file = h.open(sealed);
    EXPECT_EQ(h.read(file, 200), slice(cabinet, 0, 200));
    long result = 0;
    h.read(file, 1, &result);
    EXPECT_EQ(result, -1);
}

TEST(PackageReader, WrongKeyDeliversGarbageUndetected) {
    BlowfishContext key = package_key();
    BlowfishContext other{};
    const std::uint8_t wrong[] = "ZZIMEBase25";
    package::SetKey(other, wrong, 11);
    const auto cabinet = make_cabinet(400);
    Harness h(&other);
    const auto file = h.open(package::seal_cabinet(cabinet, key));
    const auto got = h.read(file, 400);
    ASSERT_EQ(got.size(), 400u);
    EXPECT_EQ(h.reader.error(), PackageReader::kErrNone);
    EXPECT_EQ(slice(got, 0, 56), slice(cabinet, 0, 56));  // the plain prefix is still right
    EXPECT_NE(slice(got, 56, 344), slice(cabinet, 56, 344));
}

TEST(PackageReader, PositionsAreKeptPerHandle) {
    BlowfishContext key = package_key();
    const auto cabinet = make_cabinet(500);
    const auto sealed = package::seal_cabinet(cabinet, key);
    Harness h(&key);
    const auto a = h.open(sealed);
    const auto b = h.open(sealed);
    EXPECT_EQ(h.reader.position(a), 0);
    EXPECT_EQ(h.read(a, 60), slice(cabinet, 0, 60));
    EXPECT_EQ(h.read(b, 10), slice(cabinet, 0, 10));
    EXPECT_EQ(h.read(a, 30), slice(cabinet, 60, 30));
    EXPECT_EQ(h.read(b, 7), slice(cabinet, 10, 7));
    EXPECT_EQ(h.reader.position(a), 90);
    EXPECT_EQ(h.reader.position(b), 17);
    // A failed seek (-1) does not become the position.
    h.reader.OnSeek(a, -1);
    EXPECT_EQ(h.reader.position(a), 90);
    h.reader.OnClose(a);
    EXPECT_FALSE(h.reader.position(a).has_value());
    EXPECT_EQ(h.reader.position(b), 17);
}

TEST(PackageReader, ZeroBytesReadsNothing) {
    BlowfishContext key = package_key();
    Harness h(&key);
    const auto file = h.open(package::seal_cabinet(make_cabinet(100), key));
    const int before = h.files.reads;
    EXPECT_TRUE(h.read(file, 0).empty());
    EXPECT_EQ(h.files.reads, before);
    EXPECT_EQ(h.reader.position(file), 0);
}

TEST(PackageReader, KeyScheduledAfterConstructionTakesEffect) {
    BlowfishContext ctx = no_key();
    const BlowfishContext key = package_key();
    const auto cabinet = make_cabinet(120);
    Harness h(&ctx);
    const auto file = h.open(package::seal_cabinet(cabinet, key));
    ctx = key;
    EXPECT_EQ(h.read(file, 120), cabinet);
}
