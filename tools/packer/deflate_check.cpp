#include "deflate_check.h"

#include <array>
#include <vector>

namespace imepack {

namespace {

constexpr int kMaxCodeLength = 15;

// Reads bits least significant first through a 64-bit buffer. Bits past
// the end read as zero; ok() turns false once any of them is consumed.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint32_t peek(int n) {
        if (count_ < n) refill();
        return static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << n) - 1));
    }
    void drop(int n) {
        buffer_ >>= n;
        count_ -= n;
        consumed_ += static_cast<std::size_t>(n);
    }
    std::uint32_t bits(int n) {
        const std::uint32_t v = peek(n);
        drop(n);
        return v;
    }
    void align() { drop(count_ & 7); }
    // Skips whole bytes after align().
    void skip_bytes(std::size_t n) {
        consumed_ += 8 * n;
        next_ = consumed_ / 8;
        buffer_ = 0;
        count_ = 0;
    }
    bool ok() const { return consumed_ <= 8 * bytes_.size(); }

private:
    void refill() {
        // Whole bytes while inside the stream: as many as the buffer takes.
        if (next_ + 8 <= bytes_.size()) {
            std::uint64_t word = 0;
            for (int i = 0; i < 8; ++i) word |= std::uint64_t{bytes_[next_ + static_cast<std::size_t>(i)]} << (8 * i);
            const int take = (63 - count_) / 8;
            buffer_ |= (word & ((std::uint64_t{1} << (8 * take)) - 1)) << count_;  // take is at most 7
            next_ += static_cast<std::size_t>(take);
            count_ += 8 * take;
            return;
        }
        while (count_ <= 56) {
            const std::uint64_t byte = next_ < bytes_.size() ? bytes_[next_] : 0;
            ++next_;
            buffer_ |= byte << count_;
            count_ += 8;
        }
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t next_ = 0;      // next byte to load
    std::size_t consumed_ = 0;  // bits taken so far
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

// A canonical Huffman decoder: codes of up to kFastBits bits are found in
// one table lookup, longer (rare) ones bit by bit.
class Huffman {
public:
    // False when the lengths don't form one complete code.
    bool build(std::span<const std::uint8_t> lengths) {
        count_.fill(0);
        for (const std::uint8_t len : lengths) ++count_[len];
        count_[0] = 0;
        // Complete exactly when the code space is filled (an empty code isn't).
        std::int64_t left = 1;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            left = left * 2 - count_[len];
            if (left < 0) return false;
        }
        if (left != 0) return false;
        std::array<std::uint16_t, kMaxCodeLength + 2> offset{};
        for (int len = 1; len <= kMaxCodeLength; ++len) offset[len + 1] = static_cast<std::uint16_t>(offset[len] + count_[len]);
        symbols_.resize(lengths.size());
        for (std::size_t sym = 0; sym < lengths.size(); ++sym) {
            if (lengths[sym] != 0) symbols_[offset[lengths[sym]]++] = static_cast<std::uint16_t>(sym);
        }
        fill_fast_table(lengths);
        return true;
    }

    int decode(BitReader& in) const {
        const std::uint16_t entry = fast_[in.peek(kFastBits)];
        if (entry != kSlow) {
            in.drop(entry & 15);
            return entry >> 4;
        }
        int code = 0;
        int first = 0;
        int index = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            code |= static_cast<int>(in.bits(1));
            const int count = count_[len];
            if (code - first < count) return symbols_[static_cast<std::size_t>(index + code - first)];
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    static constexpr int kFastBits = 10;
    static constexpr std::uint16_t kSlow = 0xFFFF;

    void fill_fast_table(std::span<const std::uint8_t> lengths) {
        fast_.fill(kSlow);
        std::array<std::uint32_t, kMaxCodeLength + 2> next{};
        std::uint32_t code = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            code = (code + static_cast<std::uint32_t>(count_[len - 1])) << 1;
            next[len] = code;
        }
        for (std::size_t sym = 0; sym < lengths.size(); ++sym) {
            const int len = lengths[sym];
            if (len == 0) continue;
            const std::uint32_t assigned = next[len]++;
            if (len > kFastBits) continue;
            std::uint32_t reversed = 0;
            for (int i = 0; i < len; ++i) reversed = (reversed << 1) | ((assigned >> i) & 1);
            for (std::uint32_t i = reversed; i < fast_.size(); i += 1u << len) {
                fast_[i] = static_cast<std::uint16_t>((sym << 4) | static_cast<std::size_t>(len));
            }
        }
    }

    std::array<int, kMaxCodeLength + 1> count_{};
    std::vector<std::uint16_t> symbols_;
    std::array<std::uint16_t, 1 << kFastBits> fast_{};
};

constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kPrecodeOrder = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

bool skip_symbols(BitReader& in, const Huffman& literals, const Huffman& distances) {
    for (;;) {
        const int sym = literals.decode(in);
        if (!in.ok()) return false;
        if (sym < 256) continue;
        if (sym == 256) return true;
        if (sym < 0 || sym > 285) return false;
        in.bits(kLengthExtra[static_cast<std::size_t>(sym - 257)]);
        const int dist = distances.decode(in);
        if (dist < 0 || dist > 29) return false;
        in.bits(kDistanceExtra[static_cast<std::size_t>(dist)]);
    }
}

bool read_dynamic_codes(BitReader& in, Huffman& literals, Huffman& distances) {
    const std::size_t nlit = in.bits(5) + 257;
    const std::size_t ndist = in.bits(5) + 1;
    const std::size_t nprecode = in.bits(4) + 4;
    if (nlit > 286 || ndist > 30) return false;
    std::array<std::uint8_t, 19> precode_lengths{};
    for (std::size_t i = 0; i < nprecode; ++i) precode_lengths[kPrecodeOrder[i]] = static_cast<std::uint8_t>(in.bits(3));
    Huffman precode;
    if (!precode.build(precode_lengths)) return false;
    std::vector<std::uint8_t> lengths;
    while (lengths.size() < nlit + ndist) {
        const int sym = precode.decode(in);
        if (sym < 0 || !in.ok()) return false;
        if (sym < 16) { lengths.push_back(static_cast<std::uint8_t>(sym)); continue; }
        std::size_t run;
        std::uint8_t value = 0;
        if (sym == 16) {
            if (lengths.empty()) return false;
            value = lengths.back();
            run = 3 + in.bits(2);
        } else if (sym == 17) {
            run = 3 + in.bits(3);
        } else {
            run = 11 + in.bits(7);
        }
        if (lengths.size() + run > nlit + ndist) return false;
        lengths.insert(lengths.end(), run, value);
    }
    const std::span<const std::uint8_t> all(lengths);
    return literals.build(all.first(nlit)) && distances.build(all.subspan(nlit));
}

void fixed_codes(Huffman& literals, Huffman& distances) {
    std::array<std::uint8_t, 288> lit{};
    for (std::size_t i = 0; i < 288; ++i) lit[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    std::array<std::uint8_t, 32> dist{};
    dist.fill(5);
    literals.build(lit);
    distances.build(dist);
}

}  // namespace

bool deflate_codes_complete(std::span<const std::uint8_t> stream) {
    BitReader in(stream);
    Huffman literals;
    Huffman distances;
    for (;;) {
        const std::uint32_t final_block = in.bits(1);
        const std::uint32_t type = in.bits(2);
        if (type == 0) {
            in.align();
            const std::uint32_t len = in.bits(16);
            const std::uint32_t nlen = in.bits(16);
            if ((len ^ 0xFFFF) != nlen) return false;
            in.skip_bytes(len);
        } else if (type == 1) {
            fixed_codes(literals, distances);
        } else if (type == 2) {
            if (!read_dynamic_codes(in, literals, distances)) return false;
        } else {
            return false;
        }
        if (!in.ok()) return false;
        // Only the way to the next block header needs the symbols decoded:
        // the final block's codes are known once its header is read.
        if (final_block != 0) return true;
        if (type != 0 && !skip_symbols(in, literals, distances)) return false;
    }
}

}  // namespace imepack
