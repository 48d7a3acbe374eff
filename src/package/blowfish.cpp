#include "package/blowfish.h"

#include "package/blowfish_tables.h"

#include <cstring>

namespace package {
namespace {

// The round function: the four bytes of x, high byte first, index the four
// S-boxes.
inline std::uint32_t feistel(const BlowfishContext& ctx, std::uint32_t x) {
    return ((ctx.s[0][x >> 24] + ctx.s[1][(x >> 16) & 0xFF]) ^ ctx.s[2][(x >> 8) & 0xFF]) + ctx.s[3][x & 0xFF];
}

// Block halves are little-endian words on disk. Written as shifts so the
// result does not depend on the machine; compilers turn this into one load.
inline std::uint32_t load_le(const std::uint8_t* b) {
    return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
           (std::uint32_t{b[3]} << 24);
}

inline void store_le(std::uint8_t* b, std::uint32_t v) {
    b[0] = static_cast<std::uint8_t>(v);
    b[1] = static_cast<std::uint8_t>(v >> 8);
    b[2] = static_cast<std::uint8_t>(v >> 16);
    b[3] = static_cast<std::uint8_t>(v >> 24);
}

// Sixteen rounds, with the subkeys taken in the order given by First and
// Step (0, +1 to encipher; 17, -1 to decipher), unrolled so that every
// subkey index is a constant. One block's rounds form a single chain of
// dependent table lookups, so Lanes independent blocks are worked side by
// side to keep the processor's load units busy.
template <int First, int Step, int Lanes>
inline void rounds_lanes(const BlowfishContext& ctx, std::uint32_t (&l)[Lanes], std::uint32_t (&r)[Lanes]) {
    const std::uint32_t* p = ctx.p;
    for (int i = 0; i < Lanes; ++i) {
        l[i] ^= p[First];
    }
#define IMEBASE_BF_ROUND(a, b, n)                           \
    for (int i = 0; i < Lanes; ++i) {                       \
        b[i] ^= feistel(ctx, a[i]) ^ p[First + (n) * Step]; \
    }
    IMEBASE_BF_ROUND(l, r, 1)
    IMEBASE_BF_ROUND(r, l, 2)
    IMEBASE_BF_ROUND(l, r, 3)
    IMEBASE_BF_ROUND(r, l, 4)
    IMEBASE_BF_ROUND(l, r, 5)
    IMEBASE_BF_ROUND(r, l, 6)
    IMEBASE_BF_ROUND(l, r, 7)
    IMEBASE_BF_ROUND(r, l, 8)
    IMEBASE_BF_ROUND(l, r, 9)
    IMEBASE_BF_ROUND(r, l, 10)
    IMEBASE_BF_ROUND(l, r, 11)
    IMEBASE_BF_ROUND(r, l, 12)
    IMEBASE_BF_ROUND(l, r, 13)
    IMEBASE_BF_ROUND(r, l, 14)
    IMEBASE_BF_ROUND(l, r, 15)
    IMEBASE_BF_ROUND(r, l, 16)
#undef IMEBASE_BF_ROUND
    // The last round's swap is undone: the halves leave crossed.
    for (int i = 0; i < Lanes; ++i) {
        r[i] ^= p[First + 17 * Step];
        const std::uint32_t t = l[i];
        l[i] = r[i];
        r[i] = t;
    }
}

template <int First, int Step>
inline void run_blocks(const BlowfishContext& ctx, std::uint8_t* data, std::size_t length) {
    constexpr int kLanes = 4;
    std::uint8_t* const end = data + (length & ~std::size_t{7});
    while (static_cast<std::size_t>(end - data) >= 8 * kLanes) {
        std::uint32_t l[kLanes];
        std::uint32_t r[kLanes];
        for (int i = 0; i < kLanes; ++i) {
            l[i] = load_le(data + 8 * i);
            r[i] = load_le(data + 8 * i + 4);
        }
        rounds_lanes<First, Step, kLanes>(ctx, l, r);
        for (int i = 0; i < kLanes; ++i) {
            store_le(data + 8 * i, l[i]);
            store_le(data + 8 * i + 4, r[i]);
        }
        data += 8 * kLanes;
    }
    for (; data != end; data += 8) {
        std::uint32_t l[1] = {load_le(data)};
        std::uint32_t r[1] = {load_le(data + 4)};
        rounds_lanes<First, Step, 1>(ctx, l, r);
        store_le(data, l[0]);
        store_le(data + 4, r[0]);
    }
}

}  // namespace

void SetKey(BlowfishContext& ctx, const std::uint8_t* key, std::size_t length) {
    ctx.key_set = 0;
    std::memcpy(ctx.p, detail::kInitialP, sizeof ctx.p);
    std::memcpy(ctx.s, detail::kInitialS, sizeof ctx.s);
    if (key == nullptr || length == 0) {
        return;
    }
    // The key bytes are cycled over the P-array, first byte highest.
    std::size_t k = 0;
    for (std::uint32_t& word : ctx.p) {
        std::uint32_t data = 0;
        for (int i = 0; i < 4; ++i) {
            data = (data << 8) | key[k];
            k = (k + 1) % length;
        }
        word ^= data;
    }
    // Enciphering the zero block again and again replaces the subkeys and
    // then the S-boxes, two words at a time.
    std::uint32_t l = 0;
    std::uint32_t r = 0;
    for (int i = 0; i < 18; i += 2) {
        encipher_words(ctx, l, r);
        ctx.p[i] = l;
        ctx.p[i + 1] = r;
    }
    for (auto& box : ctx.s) {
        for (int i = 0; i < 256; i += 2) {
            encipher_words(ctx, l, r);
            box[i] = l;
            box[i + 1] = r;
        }
    }
    ctx.key_set = 1;
}

template <int First, int Step>
inline void run_words(const BlowfishContext& ctx, std::uint32_t& left, std::uint32_t& right) {
    std::uint32_t l[1] = {left};
    std::uint32_t r[1] = {right};
    rounds_lanes<First, Step, 1>(ctx, l, r);
    left = l[0];
    right = r[0];
}

void encipher_words(const BlowfishContext& ctx, std::uint32_t& left, std::uint32_t& right) {
    run_words<0, 1>(ctx, left, right);
}

void decipher_words(const BlowfishContext& ctx, std::uint32_t& left, std::uint32_t& right) {
    run_words<17, -1>(ctx, left, right);
}

void encipher_block(const BlowfishContext& ctx, std::uint8_t block[8]) {
    run_blocks<0, 1>(ctx, block, 8);
}

void decipher_block(const BlowfishContext& ctx, std::uint8_t block[8]) {
    run_blocks<17, -1>(ctx, block, 8);
}

void encipher_blocks(const BlowfishContext& ctx, std::uint8_t* data, std::size_t length) {
    run_blocks<0, 1>(ctx, data, length);
}

void decipher_blocks(const BlowfishContext& ctx, std::uint8_t* data, std::size_t length) {
    run_blocks<17, -1>(ctx, data, length);
}

}  // namespace package
