#pragma once
// Reads the files of one cabinet folder back to back, as one stream of
// bytes, checking that each file still has the size it was listed with.

#include "cabinet_writer.h"

#include <cstdint>
#include <fstream>
#include <span>

namespace imepack {

class FolderReader {
public:
    explicit FolderReader(std::span<const CabinetFile> files) : files_(files) {}

    // Fills `out` with the next bytes of the folder; fewer than out.size()
    // only at the end. Throws InputError when a file can't be read or its
    // size changed since it was listed.
    std::size_t read(std::span<std::uint8_t> out);

private:
    void open_current();
    std::size_t read_current(std::span<std::uint8_t> out);
    void finish_current();

    std::span<const CabinetFile> files_;
    std::size_t index_ = 0;
    bool open_ = false;
    std::uint64_t done_ = 0;  // bytes of the current file delivered
    std::uint64_t size_ = 0;  // size of the current file
    std::ifstream stream_;
};

}  // namespace imepack
