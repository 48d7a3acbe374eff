#include "deflate_check.h"

#include <array>
#include <vector>

namespace imepack {

namespace {

constexpr int kMaxCodeLength = 15;

// Reads bits least significant first, by bit position; bits past the end
// read as zero and make ok() false once they are consumed.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint32_t peek(int n) const {
        const std::size_t at = pos_ >> 3;
        std::uint32_t word = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            if (at + i < bytes_.size()) word |= static_cast<std::uint32_t>(bytes_[at + i]) << (8 * i);
        }
        return (word >> (pos_ & 7)) & ((1u << n) - 1);
    }
    void drop(int n) { pos_ += static_cast<std::size_t>(n); }
    std::uint32_t bits(int n) {
        const std::uint32_t v = peek(n);
        drop(n);
        return v;
    }
    void align() { pos_ = (pos_ + 7) & ~std::size_t{7}; }
    void skip_bytes(std::size_t n) { pos_ += 8 * n; }
    bool ok() const { return pos_ <= 8 * bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

// A canonical Huffman decoder over a direct lookup table of 2^longest
// entries: each entry holds symbol and length.
class Huffman {
public:
    // False when the lengths don't form one complete code.
    bool build(std::span<const std::uint8_t> lengths) {
        std::array<int, kMaxCodeLength + 1> count{};
        longest_ = 0;
        for (const std::uint8_t len : lengths) {
            ++count[len];
            if (len > longest_) longest_ = len;
        }
        count[0] = 0;
        if (longest_ == 0) return false;  // empty code
        // Complete exactly when the code space is filled.
        std::int64_t left = 1;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            left = left * 2 - count[len];
            if (left < 0) return false;
        }
        if (left != 0) return false;
        std::array<std::uint32_t, kMaxCodeLength + 2> next{};
        std::uint32_t code = 0;
        for (int len = 1; len <= kMaxCodeLength; ++len) {
            code = (code + static_cast<std::uint32_t>(count[len - 1])) << 1;
            next[len] = code;
        }
        table_.assign(std::size_t{1} << longest_, 0);
        for (std::size_t sym = 0; sym < lengths.size(); ++sym) {
            const int len = lengths[sym];
            if (len == 0) continue;
            const std::uint32_t reversed = reverse(next[len]++, len);
            const auto entry = static_cast<std::uint32_t>((sym << 4) | static_cast<std::size_t>(len));
            for (std::uint32_t i = reversed; i < table_.size(); i += 1u << len) table_[i] = entry;
        }
        return true;
    }

    int decode(BitReader& in) const {
        const std::uint32_t entry = table_[in.peek(longest_)];
        in.drop(static_cast<int>(entry & 15));
        return static_cast<int>(entry >> 4);
    }

private:
    static std::uint32_t reverse(std::uint32_t code, int len) {
        std::uint32_t out = 0;
        for (int i = 0; i < len; ++i) out = (out << 1) | ((code >> i) & 1);
        return out;
    }

    int longest_ = 0;
    std::vector<std::uint32_t> table_;
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
        if (sym > 285) return false;
        in.bits(kLengthExtra[static_cast<std::size_t>(sym - 257)]);
        const int dist = distances.decode(in);
        if (dist > 29) return false;
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
        if (!in.ok()) return false;
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
            if (!skip_symbols(in, literals, distances)) return false;
        } else if (type == 2) {
            if (!read_dynamic_codes(in, literals, distances)) return false;
            if (!skip_symbols(in, literals, distances)) return false;
        } else {
            return false;
        }
        if (!in.ok()) return false;
        if (final_block != 0) return true;
    }
}

}  // namespace imepack
