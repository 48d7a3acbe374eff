#pragma once
// Helpers for the package container and reader tests: the product's own
// key schedule and a cabinet-like byte string to seal and read back.

#include "package/blowfish.h"
#include "package/package_key.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace package_test {

// The key schedule every package is sealed with.
inline package::BlowfishContext package_key() {
    package::BlowfishContext ctx{};
    package::SetKey(ctx, reinterpret_cast<const std::uint8_t*>(package::kPackageKey), package::kPackageKeyLength);
    return ctx;
}

// A cabinet-like byte string: "MSCF", its size field, then noise.
inline std::vector<std::uint8_t> make_cabinet(std::size_t size, unsigned seed = 1) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> cab(size);
    for (auto& b : cab) {
        b = static_cast<std::uint8_t>(rng());
    }
    std::memcpy(cab.data(), "MSCF", 4);
    for (int i = 0; i < 4; ++i) {
        cab[8 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    }
    return cab;
}

}  // namespace package_test
