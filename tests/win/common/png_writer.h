#pragma once
// Pictures for tests, made on the spot: PNG files written byte by byte
// (stored deflate blocks, so no compressor is needed), in true colour with
// straight alpha or with a palette.

#include <cstdint>
#include <string>
#include <vector>

namespace wintest {

struct Rgba {
    std::uint8_t r, g, b, a;
};

// A width x height picture, rows from the top; pixel(x, y) gives each one.
std::vector<std::uint8_t> rgba_png(int width, int height, Rgba (*pixel)(int x, int y));
// The same with 8-bit palette indices into `palette` (opaque colours).
std::vector<std::uint8_t> palette_png(int width, int height, const std::vector<Rgba>& palette,
                                      std::uint8_t (*index)(int x, int y));

// Writes the picture; true on success.
bool write_png(const std::wstring& path, const std::vector<std::uint8_t>& png);

}  // namespace wintest
