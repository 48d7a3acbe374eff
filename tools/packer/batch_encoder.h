#pragma once
// Compresses cabinet data blocks on all cores. A batch of up to 128 blocks
// (4 MiB) is encoded in the background while the caller reads the next one;
// each block is encoded on its own (stored, or "CK" and a deflate stream,
// at the best level with the previous block's data as history) and
// carries its checksum.

#include "cabinet_writer.h"
#include "deflater.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

namespace imepack {

inline constexpr std::size_t kBatchBlocks = 128;

// Compresses the blocks of one batch on all workers, in the background:
// the caller reads the next batch meanwhile.
class BatchEncoder {
public:
    // threads = 0: one worker per core. best: blocks compressed with history.
    BatchEncoder(Compression compression, bool best, unsigned threads);

    // A new folder begins: its first block has no history.
    void new_folder() { carried_.clear(); }

    // Starts encoding `data` as ceil(size / 32 KiB) blocks; `data` must stay
    // untouched until finish(). At the best level the first block's history
    // is the last block of the batch before (in the same folder).
    void start(std::span<const std::uint8_t> data);

    // Waits for the workers.
    void wait() { pool_.clear(); }

    // Waits for the workers and appends the batch's blocks as CFDATA.
    std::size_t finish(std::vector<std::uint8_t>& out);

private:
    std::uint16_t block_size(std::size_t b) const;
    std::span<const std::uint8_t> history(std::size_t b) const;
    void work(unsigned worker);

    unsigned workers_ = 1;
    bool best_ = false;
    // The previous batch's last block, the next batch's first history.
    std::vector<std::uint8_t> carried_;
    std::vector<std::unique_ptr<Deflater>> deflaters_;
    std::vector<std::vector<std::uint8_t>> payloads_;
    std::vector<std::size_t> sizes_;
    std::vector<std::uint32_t> sums_;
    std::span<const std::uint8_t> data_;
    std::size_t blocks_ = 0;
    std::atomic<std::size_t> next_{0};
    // Last, so that it is destroyed (its threads joined) before what they use.
    std::vector<std::jthread> pool_;
};

}  // namespace imepack
