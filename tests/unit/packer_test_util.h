#pragma once
// Helpers for the packer's tests: a temporary folder, files in it, and a
// decoder that turns a cabinet the packer wrote back into its files'
// bytes (each MSZIP block inflated on its own, as the writer makes them).

#include "cabinet_format.h"
#include "cabinet_reader.h"

#include <libdeflate.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace packer_test {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("imepack-test-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        // Read-only files and folders must not stop the clean-up.
        for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
             it.increment(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& utf8) const { return path_ / fs::path(std::u8string(utf8.begin(), utf8.end())); }

private:
    fs::path path_;
};

inline void write_bytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::uint8_t> random_bytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen());
    return out;
}

inline std::vector<std::uint8_t> text_bytes(std::size_t n, unsigned seed) {
    static const char* words[] = {"input ", "method ", "拼音 ", "table ", "skin ", "码表 ", "update\n", "version "};
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> out;
    while (out.size() < n) {
        const std::string w = words[gen() % 8];
        out.insert(out.end(), w.begin(), w.end());
    }
    out.resize(n);
    return out;
}

inline std::vector<std::uint8_t> bytes_of(std::string_view s) { return {s.begin(), s.end()}; }

// Every file of the cabinet by name, decoded from its data blocks; checks
// the block checksums and sizes on the way.
inline std::map<std::string, std::vector<std::uint8_t>> decode_cabinet(const std::vector<std::uint8_t>& cabinet) {
    using namespace imepack;
    const CabinetListing listing = read_cabinet_listing(cabinet);
    std::vector<std::vector<std::uint8_t>> folders;
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    for (const CabinetFolderEntry& folder : listing.folders) {
        std::vector<std::uint8_t> data;
        std::size_t at = folder.data_offset;
        for (std::size_t b = 0; b < folder.blocks; ++b) {
            const std::uint16_t packed = cab::get16(cabinet, at + 4);
            const std::uint16_t unpacked = cab::get16(cabinet, at + 6);
            const std::span<const std::uint8_t> payload(cabinet.data() + at + 8, packed);
            EXPECT_EQ(cab::get32(cabinet, at), cab::data_block_checksum(payload, unpacked));
            EXPECT_LE(unpacked, cab::kBlockSize);
            EXPECT_LE(packed, cab::kMaxBlockPayload);
            const std::size_t start = data.size();
            data.resize(start + unpacked);
            if (folder.compression == cab::kCompressNone) {
                EXPECT_EQ(packed, unpacked);
                std::copy(payload.begin(), payload.end(), data.begin() + static_cast<std::ptrdiff_t>(start));
            } else {
                EXPECT_EQ(payload[0], 'C');
                EXPECT_EQ(payload[1], 'K');
                std::size_t got = 0;
                EXPECT_EQ(libdeflate_deflate_decompress(inflater, payload.data() + 2, payload.size() - 2,
                                                        data.data() + start, unpacked, &got),
                          LIBDEFLATE_SUCCESS);
                EXPECT_EQ(got, unpacked);
            }
            at += 8 + packed;
        }
        folders.push_back(std::move(data));
    }
    libdeflate_free_decompressor(inflater);
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const CabinetFileEntry& f : listing.files) {
        const auto& data = folders.at(f.folder);
        EXPECT_LE(std::uint64_t{f.folder_offset} + f.size, data.size()) << f.name;
        if (std::uint64_t{f.folder_offset} + f.size > data.size()) continue;
        files[f.name] = std::vector<std::uint8_t>(data.begin() + f.folder_offset,
                                                  data.begin() + f.folder_offset + f.size);
    }
    return files;
}

}  // namespace packer_test
