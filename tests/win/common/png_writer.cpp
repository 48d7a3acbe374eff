#include "png_writer.h"

#include <algorithm>
#include <cstddef>

#include "scratch.h"

namespace wintest {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void chunk(Bytes& out, const char* type, const Bytes& body) {
    put32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    put32(out, crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored blocks.
Bytes stored_zlib(const Bytes& data) {
    Bytes out{0x78, 0x01};
    std::size_t done = 0;
    do {
        const std::size_t piece = std::min<std::size_t>(data.size() - done, 65535);
        const bool last = done + piece == data.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(piece));
        out.push_back(static_cast<std::uint8_t>(piece >> 8));
        out.push_back(static_cast<std::uint8_t>(~piece));
        out.push_back(static_cast<std::uint8_t>(~piece >> 8));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(done),
                   data.begin() + static_cast<std::ptrdiff_t>(done + piece));
        done += piece;
    } while (done < data.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put32(out, (b << 16) | a);
    return out;
}

Bytes png(int width, int height, std::uint8_t colour_type, const Bytes& rows, const Bytes& palette) {
    Bytes out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    put32(header, static_cast<std::uint32_t>(width));
    put32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, colour_type, 0, 0, 0});
    chunk(out, "IHDR", header);
    if (!palette.empty()) chunk(out, "PLTE", palette);
    chunk(out, "IDAT", stored_zlib(rows));
    chunk(out, "IEND", {});
    return out;
}

}  // namespace

std::vector<std::uint8_t> rgba_png(int width, int height, Rgba (*pixel)(int x, int y)) {
    Bytes rows;
    for (int y = 0; y < height; ++y) {
        rows.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const Rgba p = pixel(x, y);
            rows.insert(rows.end(), {p.r, p.g, p.b, p.a});
        }
    }
    return png(width, height, 6, rows, {});
}

std::vector<std::uint8_t> palette_png(int width, int height, const std::vector<Rgba>& palette,
                                      std::uint8_t (*index)(int x, int y)) {
    Bytes rows;
    for (int y = 0; y < height; ++y) {
        rows.push_back(0);
        for (int x = 0; x < width; ++x) rows.push_back(index(x, y));
    }
    Bytes colours;
    for (const Rgba& c : palette) colours.insert(colours.end(), {c.r, c.g, c.b});
    return png(width, height, 3, rows, colours);
}

bool write_png(const std::wstring& path, const std::vector<std::uint8_t>& png_bytes) { return write_file(path, png_bytes); }

}  // namespace wintest
