#include "batch_encoder.h"

#include "cabinet_format.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace imepack {

namespace {

// Already compressed data (pictures, archives) has bytes spread evenly: a
// full block whose byte entropy is this close to 8 bits won't shrink, and
// skipping the match search for it saves most of its time. A random block
// measures about 7.994 bits; 16 KiB of such data repeated within a block
// measures below the limit and is still compressed.
bool looks_incompressible(std::span<const std::uint8_t> block) {
    if (block.size() != cab::kBlockSize) return false;
    // Four tables side by side keep runs of one byte from stalling on one counter.
    std::array<std::array<std::uint32_t, 256>, 4> part{};
    for (std::size_t i = 0; i < block.size(); i += 4) {
        ++part[0][block[i]];
        ++part[1][block[i + 1]];
        ++part[2][block[i + 2]];
        ++part[3][block[i + 3]];
    }
    double entropy = 0;
    const double total = static_cast<double>(block.size());
    for (std::size_t v = 0; v < 256; ++v) {
        const std::uint32_t c = part[0][v] + part[1][v] + part[2][v] + part[3][v];
        if (c != 0) entropy -= static_cast<double>(c) / total * std::log2(static_cast<double>(c) / total);
    }
    return entropy > 7.99;
}

// One block's CFDATA payload: stored as is, or "CK" and deflate; a block
// that deflate can't shrink becomes one stored deflate block.
std::size_t encode_block(Deflater* deflater, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                         std::span<const std::uint8_t> history) {
    if (deflater == nullptr) {
        std::copy(in.begin(), in.end(), out.begin());
        return in.size();
    }
    out[0] = 'C';
    out[1] = 'K';
    const std::size_t stored_size = 5 + in.size();
    const std::size_t packed = looks_incompressible(in) ? 0 : deflater->deflate(in, out.subspan(2, stored_size - 1), history);
    if (packed != 0) return 2 + packed;
    out[2] = 0x01;  // final block, type 0 (stored), padded to the byte
    cab::put16(out, 3, static_cast<std::uint16_t>(in.size()));
    cab::put16(out, 5, static_cast<std::uint16_t>(~in.size()));
    std::copy(in.begin(), in.end(), out.begin() + 7);
    return 2 + stored_size;
}

}  // namespace

BatchEncoder::BatchEncoder(Compression compression, bool best, unsigned threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    workers_ = threads;
    best_ = best && compression == Compression::Mszip;
    if (compression == Compression::Mszip) {
        const int level = best_ ? kBestDeflateLevel : kDeflateLevel;
        for (unsigned i = 0; i < threads; ++i) deflaters_.push_back(std::make_unique<Deflater>(level));
    }
    payloads_.resize(kBatchBlocks, std::vector<std::uint8_t>(cab::kMaxBlockPayload));
    sizes_.resize(kBatchBlocks);
    sums_.resize(kBatchBlocks);
}

void BatchEncoder::start(std::span<const std::uint8_t> data) {
    data_ = data;
    blocks_ = (data.size() + cab::kBlockSize - 1) / cab::kBlockSize;
    next_ = 0;
    const unsigned count = static_cast<unsigned>(std::min<std::size_t>(workers_, blocks_));
    for (unsigned w = 0; w < count; ++w) pool_.emplace_back([this, w] { work(w); });
}

std::size_t BatchEncoder::finish(std::vector<std::uint8_t>& out) {
    wait();
    // Only a whole block is history: a short one ends its folder.
    if (best_ && blocks_ != 0 && block_size(blocks_ - 1) == cab::kBlockSize) {
        const auto last = data_.subspan((blocks_ - 1) * cab::kBlockSize, cab::kBlockSize);
        carried_.assign(last.begin(), last.end());
    } else {
        carried_.clear();
    }
    for (std::size_t b = 0; b < blocks_; ++b) {
        cab::append32(out, sums_[b]);
        cab::append16(out, static_cast<std::uint16_t>(sizes_[b]));
        cab::append16(out, block_size(b));
        out.insert(out.end(), payloads_[b].begin(), payloads_[b].begin() + static_cast<std::ptrdiff_t>(sizes_[b]));
    }
    return blocks_;
}

std::uint16_t BatchEncoder::block_size(std::size_t b) const {
    return static_cast<std::uint16_t>(std::min(cab::kBlockSize, data_.size() - b * cab::kBlockSize));
}

// The data a block's matches may reach back into: none, except at the best level.
std::span<const std::uint8_t> BatchEncoder::history(std::size_t b) const {
    if (!best_) return {};
    if (b == 0) return carried_;
    return data_.subspan((b - 1) * cab::kBlockSize, cab::kBlockSize);
}

void BatchEncoder::work(unsigned worker) {
    Deflater* deflater = deflaters_.empty() ? nullptr : deflaters_[worker].get();
    for (std::size_t b = next_++; b < blocks_; b = next_++) {
        sizes_[b] = encode_block(deflater, data_.subspan(b * cab::kBlockSize, block_size(b)), payloads_[b], history(b));
        sums_[b] = cab::data_block_checksum(std::span(payloads_[b]).first(sizes_[b]), block_size(b));
    }
}

}  // namespace imepack
