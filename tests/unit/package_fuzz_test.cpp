// Random inputs with fixed seeds against the parsers of untrusted bytes: the
// image header and the package reader must never read or write out of
// bounds and must give answers consistent with their input.

#include "package/package_container.h"
#include "package/package_key.h"
#include "package/package_reader.h"
#include "package/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<std::uint8_t> noise(std::mt19937& rng, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) {
        b = static_cast<std::uint8_t>(rng());
    }
    return v;
}

std::vector<std::uint8_t> plausible_image(std::mt19937& rng) {
    std::vector<std::uint8_t> b(rng() % 700, 0);
    const auto set = [&](std::size_t at, std::uint8_t v) {
        if (at < b.size()) {
            b[at] = v;
        }
    };
    set(0, 'M');
    set(1, 'Z');
    const std::uint32_t lfanew = rng() % 4 == 0 ? static_cast<std::uint32_t>(rng()) : rng() % 400;
    for (int i = 0; i < 4; ++i) {
        set(0x3C + i, static_cast<std::uint8_t>(lfanew >> (8 * i)));
    }
    set(lfanew, 'P');
    set(lfanew + 1, 'E');
    set(lfanew + 20, static_cast<std::uint8_t>(rng() % 2 ? 0xE0 : 0xF0));
    set(lfanew + 24, 0x0B);
    set(lfanew + 25, static_cast<std::uint8_t>(rng() % 2 ? 0x01 : 0x02));
    // A few random bytes anywhere.
    for (int i = 0, n = static_cast<int>(rng() % 4); i < n && !b.empty(); ++i) {
        b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
    }
    return b;
}

}  // namespace

TEST(PackageFuzz, ImageHeaderParserStaysInBounds) {
    std::mt19937 rng(20240601);
    int found = 0;
    for (int round = 0; round < 50000; ++round) {
        auto image = plausible_image(rng);
        const auto field = package::loader_flags_field_offset(image);
        if (field) {
            ++found;
            ASSERT_LE(std::size_t{*field} + 4, image.size());
            ASSERT_EQ(image[0], 'M');
            const std::uint32_t lfanew = image[0x3C] | (image[0x3D] << 8) | (image[0x3E] << 16) |
                                         (std::uint32_t{image[0x3F]} << 24);
            ASSERT_TRUE(*field == lfanew + 0x70 || *field == lfanew + 0x80);
            const std::uint32_t offset = static_cast<std::uint32_t>(rng() % 800);
            ASSERT_TRUE(package::write_package_offset(image, offset));
            ASSERT_EQ(package::read_package_offset(image), offset);
            const auto pkg = package::package_span(image);
            ASSERT_EQ(pkg.size(), offset != 0 && offset < image.size() ? image.size() - offset : 0u);
        } else {
            ASSERT_TRUE(package::package_span(image).empty());
        }
    }
    EXPECT_GT(found, 1000);  // the generator reaches the interesting paths
}

TEST(PackageFuzz, ReaderNeverOverrunsAndDeliversTheCabinet) {
    std::mt19937 rng(4242);
    package::BlowfishContext key{};
    package::SetKey(key, reinterpret_cast<const std::uint8_t*>(package::kPackageKey), package::kPackageKeyLength);
    package::BlowfishContext none{};
    int verified = 0;

    for (int round = 0; round < 300; ++round) {
        // A sealed cabinet, a plain one, or junk; sometimes cut to any length.
        auto cabinet = noise(rng, 36 + rng() % 3000);
        std::memcpy(cabinet.data(), "MSCF", 4);
        for (int i = 0; i < 4; ++i) {
            cabinet[8 + i] = static_cast<std::uint8_t>(cabinet.size() >> (8 * i));
        }
        const int kind = static_cast<int>(rng() % 3);
        std::vector<std::uint8_t> file = kind == 0   ? package::seal_cabinet(cabinet, key)
                                         : kind == 1 ? cabinet
                                                     : noise(rng, cabinet.size());
        if (rng() % 4 == 0) {
            file.resize(rng() % (file.size() + 1));
        }
        std::vector<std::uint8_t> expected = kind == 0 ? package::unseal_package(package::seal_cabinet(cabinet, key), key)
                                                       : cabinet;
        const bool keyed = rng() % 2 == 0;

        std::size_t pos = 0;
        package::PackageReader reader(
            keyed ? &key : &none,
            [&](std::intptr_t, void* buf, unsigned n) {
                const std::size_t got = pos < file.size() ? std::min<std::size_t>(n, file.size() - pos) : 0;
                std::memcpy(buf, file.data() + std::min(pos, file.size()), got);
                pos += got;
                return static_cast<long>(got);
            },
            [&](std::intptr_t, long offset, int) {
                pos = static_cast<std::size_t>(offset);
                return offset;
            });
        reader.OnOpen(1);

        for (int op = 0; op < 40; ++op) {
            if (rng() % 3 == 0) {
                const long to = static_cast<long>(rng() % (file.size() + 100));
                pos = static_cast<std::size_t>(to);
                reader.OnSeek(1, to);
            }
            const long at = *reader.position(1);
            const unsigned count = rng() % 8 == 0 ? 60000 + rng() % 10000 : rng() % 300;
            std::vector<std::uint8_t> dest(count + 16, 0xEE);
            const long got = reader.Read(1, dest.data(), count);
            ASSERT_TRUE(got == -1 || (got >= 0 && got <= static_cast<long>(count)));
            ASSERT_TRUE(std::all_of(dest.end() - 16, dest.end(), [](std::uint8_t b) { return b == 0xEE; }));
            if (got < 0) {
                continue;
            }
            ASSERT_EQ(*reader.position(1), at + got);
            // A keyed read of a sealed cabinet, or a plain read of a plain one,
            // gives the cabinet's own bytes. Only a read of the whole
            // signature turns "CRYP" into "MSCF".
            if ((kind == 0 && keyed) || (kind == 1 && !keyed)) {
                ++verified;
                const bool whole_signature = at == 0 && got >= 4;
                for (long i = 0; i < got; ++i) {
                    const auto k = static_cast<std::size_t>(at + i);
                    const std::uint8_t want = k < 4 && !whole_signature ? file[k] : expected[k];
                    ASSERT_EQ(dest[static_cast<std::size_t>(i)], want) << "byte " << k;
                }
            }
        }
    }
    EXPECT_GT(verified, 1000);
}
