#pragma once
// Blowfish (16 rounds, the published pi-digit tables) in electronic-codebook
// mode, as the installer package uses it: each 8-byte block holds two 32-bit
// halves stored as little-endian words, the left half first.

#include <cstddef>
#include <cstdint>

namespace package {

struct BlowfishContext {
    std::uint32_t key_set;       // non-zero once a key of at least one byte is scheduled
    std::uint32_t p[18];         // subkeys
    std::uint32_t s[4][256];     // substitution boxes
};

// Blowfish's own key schedule. A key of length 0 only resets the context to
// the initial tables and leaves key_set clear.
void SetKey(BlowfishContext& ctx, const std::uint8_t* key, std::size_t length);

// The cipher on one pair of words (left, right), in place.
void encipher_words(const BlowfishContext& ctx, std::uint32_t& left, std::uint32_t& right);
void decipher_words(const BlowfishContext& ctx, std::uint32_t& left, std::uint32_t& right);

// One 8-byte block in place: bytes 0-3 are the left word, bytes 4-7 the
// right word, both little-endian.
void encipher_block(const BlowfishContext& ctx, std::uint8_t block[8]);
void decipher_block(const BlowfishContext& ctx, std::uint8_t block[8]);

// Every 8-byte block of data in place; length must be a multiple of 8 (a
// trailing partial block is left untouched).
void encipher_blocks(const BlowfishContext& ctx, std::uint8_t* data, std::size_t length);
void decipher_blocks(const BlowfishContext& ctx, std::uint8_t* data, std::size_t length);

}  // namespace package
