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

// Sixteen rounds with the subkeys taken in the order given by First and
// Step (0, +1 to encipher; 17, -1 to decipher), fully unrolled so every
// subkey index is a constant.
template <int First, int Step>
inline void rounds(const BlowfishContext& ctx, std::uint32_t& left, std::uint32_t& right) {
    const std::uint32_t* p = ctx.p;
    std::uint32_t l = left;
    std::uint32_t r = right;
    l ^= p[First];
    r ^= feistel(ctx, l) ^ p[First + 1 * Step];
    l ^= feistel(ctx, r) ^ p[First + 2 * Step];
    r ^= feistel(ctx, l) ^ p[First + 3 * Step];
    l ^= feistel(ctx, r) ^ p[First + 4 * Step];
    r ^= feistel(ctx, l) ^ p[First + 5 * Step];
    l ^= feistel(ctx, r) ^ p[First + 6 * Step];
    r ^= feistel(ctx, l) ^ p[First + 7 * Step];
    l ^= feistel(ctx, r) ^ p[First + 8 * Step];
    r ^= feistel(ctx, l) ^ p[First + 9 * Step];
    l ^= feistel(ctx, r) ^ p[First + 10 * Step];
    r ^= feistel(ctx, l) ^ p[First + 11 * Step];
    l ^= feistel(ctx, r) ^ p[First + 12 * Step];
    r ^= feistel(ctx, l) ^ p[First + 13 * Step];
    l ^= feistel(ctx, r) ^ p[First + 14 * Step];
    r ^= feistel(ctx, l) ^ p[First + 15 * Step];
    l ^= feistel(ctx, r) ^ p[First + 16 * Step];
    r ^= p[First + 17 * Step];
    // The last round's swap is undone: the halves leave crossed.
    left = r;
    right = l;
}

template <int First, int Step>
inline void run_blocks(const BlowfishContext& ctx, std::uint8_t* data, std::size_t length) {
    std::uint8_t* const end = data + (length & ~std::size_t{7});
    for (; data != end; data += 8) {
        std::uint32_t l = load_le(data);
        std::uint32_t r = load_le(data + 4);
        rounds<First, Step>(ctx, l, r);
        store_le(data, l);
        store_le(data + 4, r);
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

void encipher_words(const BlowfishContext& ctx, std::uint32_t& left, std::uint32_t& right) {
    rounds<0, 1>(ctx, left, right);
}

void decipher_words(const BlowfishContext& ctx, std::uint32_t& left, std::uint32_t& right) {
    rounds<17, -1>(ctx, left, right);
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
