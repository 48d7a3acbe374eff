#pragma once
// One file's bytes out of a cabinet, for inspect's look at the uninstaller
// a package carries. MSZIP blocks are inflated with zlib, each with the
// previous 32 KiB of the folder as its dictionary, as the format has it.

#include "cabinet_reader.h"

#include <cstdint>
#include <span>
#include <vector>

namespace imepack {

// `file` of a cabinet whose data blocks check_data_blocks accepted. Throws
// InputError when a block doesn't inflate to the size it states or the
// folder's compression is neither stored nor MSZIP.
std::vector<std::uint8_t> read_cabinet_file(const CabinetListing& listing, std::span<const std::uint8_t> cabinet,
                                            const CabinetFileEntry& file);

}  // namespace imepack
