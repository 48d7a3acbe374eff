#pragma once
// Writes one Microsoft cabinet from a list of files.
//
// Files are stored in the order given. They share a folder (the cabinet's
// unit of compression) until the next file would take it past 65535 data
// blocks (just under 2 GiB uncompressed); then a new folder starts. Data is
// cut into 32 KiB blocks; with MSZIP each block is compressed on its own
// ("CK" + a fresh raw deflate stream), so the blocks are compressed in
// parallel on all cores; with `best`, each block may also refer back into
// the previous block's data, which decoders keep, and the blocks are still
// compressed in parallel (the history is data, not compressor state). A block that doesn't shrink goes in as a stored
// deflate block. Every data block carries its checksum.
//
// Bad input (names, counts and sizes beyond the format, a file that can't be
// read or changes while it is read) throws InputError naming the file; the
// caller writes nothing in that case.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace imepack {

struct CabinetFile {
    // Name inside the cabinet: UTF-8, folders separated by backslashes.
    std::string name;
    // Where the bytes come from: a file on disk, or the bytes themselves.
    std::variant<std::filesystem::path, std::vector<std::uint8_t>> source;
    // Expected size of a file on disk (ignored for bytes in memory).
    std::uint64_t size = 0;
    // Local date and time in DOS form.
    std::uint16_t dos_date = 0;
    std::uint16_t dos_time = 0;
    // Attribute bits (read-only, hidden, system, archive). The writer adds
    // 0x80 itself when the name isn't plain ASCII.
    std::uint16_t attributes = 0;
};

enum class Compression { Store, Mszip };

// The format's limits; tests lower them to reach the edges with small inputs.
struct CabinetLimits {
    std::size_t max_files = 65535;
    std::size_t max_blocks_per_folder = 65535;
    std::uint64_t max_cabinet_size = 0x7FFFFFFF;
};

struct CabinetOptions {
    Compression compression = Compression::Mszip;
    // Worker threads for compression; 0 means one per core.
    unsigned threads = 0;
    CabinetLimits limits;
    // MSZIP only: each block compressed with the previous block of its
    // folder as history (smaller, slower) rather than on its own.
    bool best = false;
    // Called on the calling thread after each batch with the bytes of the
    // files read and encoded so far (in the order given).
    std::function<void(std::uint64_t)> progress;
};

// The cabinet's bytes.
std::vector<std::uint8_t> write_cabinet(std::span<const CabinetFile> files, const CabinetOptions& options = {});

}  // namespace imepack
