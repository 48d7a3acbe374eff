#include "cabinet_reader.h"

#include "cabinet_format.h"
#include "tool_error.h"

#include <algorithm>
#include <cstring>

namespace imepack {

namespace {

void require(bool ok, const char* what) {
    if (!ok) throw InputError(what);
}

bool fits(std::span<const std::uint8_t> b, std::uint64_t at, std::uint64_t size) {
    return at <= b.size() && size <= b.size() - at;
}

void read_header(std::span<const std::uint8_t> b, CabinetListing& out) {
    require(b.size() >= cab::kHeaderSize, "too short for a cabinet header");
    require(std::memcmp(b.data(), "MSCF", 4) == 0, "not a cabinet (it doesn't start with \"MSCF\")");
    out.cabinet_size = cab::get32(b, 8);
    out.files_offset = cab::get32(b, 16);
    out.version_minor = b[24];
    out.version_major = b[25];
    // Counts are held against the bytes before room is made for the entries.
    require(cab::get16(b, 26) * cab::kFolderEntrySize + cab::get16(b, 28) * (cab::kFileEntryFixedSize + 2) <= b.size(),
            "more folder and file entries than the cabinet has bytes for");
    out.folders.resize(cab::get16(b, 26));
    out.files.resize(cab::get16(b, 28));
    out.flags = cab::get16(b, 30);
    out.set_id = cab::get16(b, 32);
    out.cabinet_index = cab::get16(b, 34);
    require(out.cabinet_size >= cab::kHeaderSize && out.cabinet_size <= b.size(),
            "the cabinet's size field doesn't match its length");
    require((out.flags & (cab::kFlagPrevCabinet | cab::kFlagNextCabinet | cab::kFlagReservePresent)) == 0,
            "a cabinet of a set or with reserved areas (not written by this tool)");
}

void read_folders(std::span<const std::uint8_t> b, CabinetListing& out) {
    require(fits(b, cab::kHeaderSize, out.folders.size() * cab::kFolderEntrySize), "folder entries run past the end");
    for (std::size_t i = 0; i < out.folders.size(); ++i) {
        const std::size_t at = cab::kHeaderSize + i * cab::kFolderEntrySize;
        out.folders[i].data_offset = cab::get32(b, at);
        out.folders[i].blocks = cab::get16(b, at + 4);
        out.folders[i].compression = cab::get16(b, at + 6) & 0x0F;
    }
}

void read_files(std::span<const std::uint8_t> b, CabinetListing& out) {
    std::size_t at = out.files_offset;
    for (CabinetFileEntry& f : out.files) {
        require(fits(b, at, cab::kFileEntryFixedSize), "file entries run past the end");
        f.size = cab::get32(b, at);
        f.folder_offset = cab::get32(b, at + 4);
        f.folder = cab::get16(b, at + 8);
        f.dos_date = cab::get16(b, at + 10);
        f.dos_time = cab::get16(b, at + 12);
        f.attributes = cab::get16(b, at + 14);
        at += cab::kFileEntryFixedSize;
        const auto* start = b.data() + at;
        const auto* end = std::find(start, b.data() + b.size(), std::uint8_t{0});
        require(end != b.data() + b.size(), "a file name runs past the end");
        f.name.assign(reinterpret_cast<const char*>(start), static_cast<std::size_t>(end - start));
        require(!f.name.empty() && f.name.size() <= cab::kMaxNameBytes, "a file name is empty or too long");
        require(f.folder < out.folders.size(), "a file names a folder the cabinet doesn't have");
        at += f.name.size() + 1;
    }
}

}  // namespace

CabinetListing read_cabinet_listing(std::span<const std::uint8_t> cabinet) {
    CabinetListing out;
    read_header(cabinet, out);
    const auto bytes = cabinet.first(out.cabinet_size);
    read_folders(bytes, out);
    read_files(bytes, out);
    return out;
}

void check_data_blocks(const CabinetListing& listing, std::span<const std::uint8_t> cabinet) {
    const auto b = cabinet.first(listing.cabinet_size);
    // What each folder's files need, in one pass over the files.
    std::vector<std::uint64_t> needed(listing.folders.size(), 0);
    for (const CabinetFileEntry& f : listing.files) {
        if (f.folder < needed.size())
            needed[f.folder] = std::max<std::uint64_t>(needed[f.folder], std::uint64_t{f.folder_offset} + f.size);
    }
    for (std::size_t folder = 0; folder < listing.folders.size(); ++folder) {
        std::uint64_t held = 0;
        std::uint64_t at = listing.folders[folder].data_offset;
        for (std::size_t block = 0; block < listing.folders[folder].blocks; ++block) {
            require(fits(b, at, cab::kDataHeaderSize), "a data block runs past the end");
            const std::uint32_t sum = cab::get32(b, static_cast<std::size_t>(at));
            const std::uint16_t packed = cab::get16(b, static_cast<std::size_t>(at + 4));
            const std::uint16_t unpacked = cab::get16(b, static_cast<std::size_t>(at + 6));
            require(fits(b, at + cab::kDataHeaderSize, packed), "a data block runs past the end");
            require(unpacked <= cab::kBlockSize, "a data block claims more than 32 KiB");
            const auto payload = b.subspan(static_cast<std::size_t>(at + cab::kDataHeaderSize), packed);
            require(sum == 0 || sum == cab::data_block_checksum(payload, unpacked),
                    "a data block's checksum doesn't match (damaged, or sealed with another key)");
            held += unpacked;
            at += cab::kDataHeaderSize + packed;
        }
        require(held >= needed[folder], "a folder's data blocks hold fewer bytes than its files need");
    }
}

}  // namespace imepack
