#include "cabinet_writer.h"

#include "cabinet_file.h"
#include "cabinet_format.h"
#include "cabinet_reader.h"
#include "packer_test_util.h"
#include "tool_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using imepack::CabinetFile;
using imepack::CabinetLimits;
using imepack::CabinetOptions;
using imepack::Compression;
using imepack::InputError;
using imepack::read_cabinet_listing;
using imepack::write_cabinet;
using namespace packer_test;
namespace cab = imepack::cab;

namespace {

CabinetFile memory_file(std::string name, std::vector<std::uint8_t> bytes, std::uint16_t attributes = 0x20) {
    CabinetFile f;
    f.name = std::move(name);
    f.source = std::move(bytes);
    f.dos_date = static_cast<std::uint16_t>((44 << 9) | (3 << 5) | 4);  // 2024-03-04
    f.dos_time = static_cast<std::uint16_t>((5 << 11) | (6 << 5) | 4);  // 05:06:08
    f.attributes = attributes;
    return f;
}

std::vector<CabinetFile> sample_files() {
    std::vector<CabinetFile> files;
    files.push_back(memory_file("readme.txt", bytes_of("hello, cabinet")));
    files.push_back(memory_file("empty.dat", {}));
    files.push_back(memory_file("data\\table.mb", text_bytes(100000, 1)));
    files.push_back(memory_file("data\\noise.bin", random_bytes(70000, 2), 0x21));
    files.push_back(memory_file("皮肤\\默认.bmp", text_bytes(40000, 3)));
    return files;
}

std::string message_of(const std::vector<CabinetFile>& files, const CabinetOptions& options = {}) {
    try {
        write_cabinet(files, options);
    } catch (const InputError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(CabinetWriter, HeaderAndEntriesDescribeTheFiles) {
    const auto files = sample_files();
    const auto bytes = write_cabinet(files);
    ASSERT_GE(bytes.size(), cab::kHeaderSize);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MSCF");
    EXPECT_EQ(cab::get32(bytes, 8), bytes.size());                                // cbCabinet
    EXPECT_EQ(cab::get32(bytes, 16), cab::kHeaderSize + cab::kFolderEntrySize);  // coffFiles
    EXPECT_EQ(bytes[24], 3);  // version 1.3
    EXPECT_EQ(bytes[25], 1);
    EXPECT_EQ(cab::get16(bytes, 30), 0);  // flags: no reserve, no set

    const auto listing = read_cabinet_listing(bytes);
    ASSERT_EQ(listing.folders.size(), 1u);
    EXPECT_EQ(listing.folders[0].compression, cab::kCompressMszip);
    EXPECT_EQ(listing.folders[0].blocks, (14 + 100000 + 70000 + 40000 + 32767) / 32768);
    ASSERT_EQ(listing.files.size(), files.size());
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& entry = listing.files[i];
        const auto& data = std::get<std::vector<std::uint8_t>>(files[i].source);
        EXPECT_EQ(entry.name, files[i].name);
        EXPECT_EQ(entry.size, data.size());
        EXPECT_EQ(entry.folder_offset, offset) << entry.name;
        EXPECT_EQ(entry.folder, 0);
        EXPECT_EQ(entry.dos_date, files[i].dos_date);
        EXPECT_EQ(entry.dos_time, files[i].dos_time);
        offset += static_cast<std::uint32_t>(data.size());
    }
    // Attributes pass through; only the non-ASCII name gains the UTF-8 bit.
    EXPECT_EQ(listing.files[0].attributes, 0x20);
    EXPECT_EQ(listing.files[3].attributes, 0x21);
    EXPECT_EQ(listing.files[4].attributes, 0xA0);
}

TEST(CabinetWriter, MszipAndStoredCabinetsDecodeToTheSameBytes) {
    const auto files = sample_files();
    for (const Compression mode : {Compression::Mszip, Compression::Store}) {
        const auto bytes = write_cabinet(files, CabinetOptions{mode, 0, {}});
        const auto decoded = decode_cabinet(bytes);
        ASSERT_EQ(decoded.size(), files.size());
        for (const auto& f : files) {
            EXPECT_EQ(decoded.at(f.name), std::get<std::vector<std::uint8_t>>(f.source)) << f.name;
        }
        EXPECT_EQ(read_cabinet_listing(bytes).folders[0].compression,
                  mode == Compression::Store ? cab::kCompressNone : cab::kCompressMszip);
    }
}

TEST(CabinetWriter, CompressesTextAndStoresNoiseInADeflateStoredBlock) {
    std::vector<CabinetFile> files{memory_file("text", text_bytes(32768, 7)), memory_file("noise", random_bytes(32768, 8))};
    const auto bytes = write_cabinet(files);
    const auto listing = read_cabinet_listing(bytes);
    std::size_t at = listing.folders[0].data_offset;
    const std::uint16_t first = cab::get16(bytes, at + 4);
    EXPECT_LT(first, 32768 / 2);
    at += 8 + first;
    // "CK", a final stored block header and the raw 32 KiB: no growth beyond 7 bytes.
    EXPECT_EQ(cab::get16(bytes, at + 4), 2 + 5 + 32768);
    EXPECT_EQ(bytes[at + 8 + 2], 0x01);
    EXPECT_EQ(decode_cabinet(bytes).at("noise"), std::get<std::vector<std::uint8_t>>(files[1].source));
}

TEST(CabinetWriter, OutputDoesNotDependOnTheNumberOfThreads) {
    const auto files = sample_files();
    EXPECT_EQ(write_cabinet(files, CabinetOptions{Compression::Mszip, 1, {}}),
              write_cabinet(files, CabinetOptions{Compression::Mszip, 3, {}}));
}

TEST(CabinetWriter, ManyBatchesOfBlocksKeepTheirOrder) {
    // More than one read batch (128 blocks) of distinct blocks.
    std::vector<CabinetFile> files{memory_file("big", random_bytes(130 * 32768 + 5, 9)),
                                   memory_file("tail", text_bytes(1000, 10))};
    const auto decoded = decode_cabinet(write_cabinet(files));
    EXPECT_EQ(decoded.at("big"), std::get<std::vector<std::uint8_t>>(files[0].source));
    EXPECT_EQ(decoded.at("tail"), std::get<std::vector<std::uint8_t>>(files[1].source));
}

TEST(CabinetWriter, BestLevelBlocksReachBackIntoTheBlockBeforeWithinTheirFolder) {
    // 16 KiB of noise repeated: with history every block after the first
    // is nearly free, on its own each holds the noise twice. More than one
    // batch (128 blocks) and several folders: the history crosses batches
    // and starts afresh with each folder, where decoders start afresh too.
    const auto noise = random_bytes(16384, 5);
    std::vector<std::uint8_t> repeated;
    while (repeated.size() < 131 * 32768) repeated.insert(repeated.end(), noise.begin(), noise.end());
    // The second folder begins with the same noise: it must not refer back.
    auto table = noise;
    const auto text = text_bytes(90000, 6);
    table.insert(table.end(), text.begin(), text.end());
    std::vector<CabinetFile> files{memory_file("repeated.bin", repeated), memory_file("table.mb", table)};
    CabinetOptions options;
    options.limits.max_blocks_per_folder = 133;  // the table starts a second folder
    const auto plain = write_cabinet(files, options);
    options.best = true;
    const auto best = write_cabinet(files, options);
    EXPECT_LT(best.size() * 10, plain.size());
    const auto listing = read_cabinet_listing(best);
    ASSERT_EQ(listing.folders.size(), 2u);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(imepack::read_cabinet_file(listing, best, listing.files[i]),
                  std::get<std::vector<std::uint8_t>>(files[i].source))
            << files[i].name;
    }
    options.threads = 1;
    EXPECT_EQ(write_cabinet(files, options), best);
}

TEST(CabinetWriter, StartsANewFolderBeforeTheBlockLimit) {
    CabinetOptions options;
    options.limits.max_blocks_per_folder = 2;  // 64 KiB a folder
    std::vector<CabinetFile> files{memory_file("a", text_bytes(40000, 1)), memory_file("b", text_bytes(20000, 2)),
                                   memory_file("c", text_bytes(30000, 3)), memory_file("d", {}),
                                   memory_file("e", random_bytes(65536, 4))};
    const auto bytes = write_cabinet(files, options);
    const auto listing = read_cabinet_listing(bytes);
    ASSERT_EQ(listing.folders.size(), 3u);  // a+b | c+d | e
    EXPECT_EQ(listing.folders[0].blocks, 2);
    EXPECT_EQ(listing.folders[1].blocks, 1);
    EXPECT_EQ(listing.folders[2].blocks, 2);
    const std::vector<std::uint16_t> folder_of{0, 0, 1, 1, 2};
    const std::vector<std::uint32_t> offset_of{0, 40000, 0, 30000, 0};
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(listing.files[i].folder, folder_of[i]) << files[i].name;
        EXPECT_EQ(listing.files[i].folder_offset, offset_of[i]) << files[i].name;
    }
    const auto decoded = decode_cabinet(bytes);
    for (const auto& f : files) EXPECT_EQ(decoded.at(f.name), std::get<std::vector<std::uint8_t>>(f.source));
}

TEST(CabinetWriter, RefusesInputBeyondTheFormatsLimits) {
    CabinetOptions options;
    options.limits.max_blocks_per_folder = 2;
    EXPECT_NE(message_of({memory_file("huge.bin", text_bytes(65537, 1))}, options).find("huge.bin"), std::string::npos);

    options = {};
    options.limits.max_files = 3;
    EXPECT_NE(message_of(sample_files(), options).find("more than a cabinet can hold"), std::string::npos);

    options = {};
    options.limits.max_cabinet_size = 1000;
    EXPECT_NE(message_of({memory_file("noise", random_bytes(5000, 1))}, options).find("larger than 1000"),
              std::string::npos);

    EXPECT_NE(message_of({}).find("nothing to pack"), std::string::npos);
}

TEST(CabinetWriter, NamesUpTo255BytesAreStoredLongerOnesRefused) {
    const std::string longest = std::string(100, 'a') + "\\" + std::string(154, 'b');
    ASSERT_EQ(longest.size(), 255u);
    const auto listing = read_cabinet_listing(write_cabinet(std::vector{memory_file(longest, bytes_of("x"))}));
    EXPECT_EQ(listing.files[0].name, longest);
    const std::string error = message_of({memory_file(longest + "c", bytes_of("x"))});
    EXPECT_NE(error.find("256 bytes"), std::string::npos) << error;
    // A multi-byte character counts with all its bytes.
    EXPECT_NE(message_of({memory_file(std::string(85, 'a') + "码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表码表", bytes_of("x"))}).find("255 bytes"),
              std::string::npos);
}

TEST(CabinetWriter, RefusesNamesWindowsCannotExtract) {
    for (const std::string name : {"a\\\\b", "\\lead", "trail\\", "dot\\..\\x", "colon:name", "star*", "q?",
                                   "bad\xff" "utf8", "ctl\x01", "pipe|", "CON", "sub\\nul.txt", "Com1.log",
                                   "dot.", "blank \\x", "..."}) {
        EXPECT_NE(message_of({memory_file(name, bytes_of("x"))}), "no error") << name;
    }
}

TEST(CabinetWriter, RefusesNamesThatWouldLandOnEachOther) {
    EXPECT_NE(message_of({memory_file("Setup.ini", {}), memory_file("setup.INI", {})}).find("same name"),
              std::string::npos);
    EXPECT_NE(message_of({memory_file("skin", {}), memory_file("SKIN\\a.bmp", {})}).find("both a file and a folder"),
              std::string::npos);
}

TEST(CabinetWriter, ReadsFilesFromDiskAndNoticesSizeChanges) {
    TempFolder temp;
    const auto content = text_bytes(50000, 5);
    write_bytes(temp / "a.txt", content);
    CabinetFile f;
    f.name = "a.txt";
    f.source = temp / "a.txt";
    f.size = content.size();
    EXPECT_EQ(decode_cabinet(write_cabinet(std::vector{f})).at("a.txt"), content);

    f.size = content.size() + 1;  // listed larger: the file shrank since
    EXPECT_NE(message_of({f}).find("shorter"), std::string::npos);
    f.size = content.size() - 1;  // listed smaller: the file grew since
    EXPECT_NE(message_of({f}).find("grew"), std::string::npos);
    f.source = temp / "gone.txt";
    EXPECT_NE(message_of({f}).find("gone.txt"), std::string::npos);
}

TEST(CabinetWriter, SeveralFoldersExtractWithCabextract) {
    // Folders only split at 2 GiB in real use; a lowered limit shows that
    // a peer decoder follows the folder entries the writer makes.
    if (std::system("cabextract --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "cabextract is not installed";
    TempFolder temp;
    CabinetOptions options;
    options.limits.max_blocks_per_folder = 3;
    std::vector<CabinetFile> files{memory_file("a.txt", text_bytes(70000, 1)), memory_file("b.bin", random_bytes(50000, 2)),
                                   memory_file("sub\\c.txt", text_bytes(98304, 3)), memory_file("d", {})};
    for (const Compression mode : {Compression::Mszip, Compression::Store}) {
        options.compression = mode;
        const auto bytes = write_cabinet(files, options);
        ASSERT_EQ(read_cabinet_listing(bytes).folders.size(), 3u);
        write_bytes(temp / "multi.cab", bytes);
        const fs::path out = temp / (mode == Compression::Store ? "stored" : "mszip");
        const std::string command = "cabextract -q -d '" + out.string() + "' '" + (temp / "multi.cab").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        for (const auto& f : files) {
            std::string path = f.name;
            std::replace(path.begin(), path.end(), '\\', '/');
            EXPECT_EQ(read_bytes(out / path), std::get<std::vector<std::uint8_t>>(f.source)) << f.name;
        }
    }
}
