#pragma once
// Reads the header, folder and file entries of a single cabinet, for
// listings and checks. Data blocks are walked (sizes and checksums), not
// decompressed.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace imepack {

struct CabinetFolderEntry {
    std::uint32_t data_offset = 0;
    std::uint16_t blocks = 0;
    std::uint16_t compression = 0;  // 0 stored, 1 MSZIP (low 4 bits of the field)
};

struct CabinetFileEntry {
    std::string name;               // as stored (UTF-8 when attribute 0x80 is set)
    std::uint32_t size = 0;
    std::uint32_t folder_offset = 0;
    std::uint16_t folder = 0;
    std::uint16_t dos_date = 0;
    std::uint16_t dos_time = 0;
    std::uint16_t attributes = 0;
};

struct CabinetListing {
    std::uint32_t cabinet_size = 0;
    std::uint32_t files_offset = 0;
    std::uint8_t version_major = 0;
    std::uint8_t version_minor = 0;
    std::uint16_t flags = 0;
    std::uint16_t set_id = 0;
    std::uint16_t cabinet_index = 0;
    std::vector<CabinetFolderEntry> folders;
    std::vector<CabinetFileEntry> files;
};

// Throws InputError (the text says what is wrong; the caller adds the file
// name) for anything that isn't a whole single cabinet: wrong signature,
// entries outside the bytes, names without their NUL, reserve areas or
// neighbouring cabinets, files outside the folders.
CabinetListing read_cabinet_listing(std::span<const std::uint8_t> cabinet);

// Walks every folder's data blocks: each must lie inside the cabinet, carry
// a matching checksum (when it has one) and together they must hold exactly
// the bytes of the folder's files. Throws InputError otherwise. A package
// unsealed with the wrong key fails here.
void check_data_blocks(const CabinetListing& listing, std::span<const std::uint8_t> cabinet);

}  // namespace imepack
