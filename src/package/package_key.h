#pragma once
// The key of every installer package. The packer enciphers with it and the
// installer deciphers with it, so both take it from here.

#include <cstddef>
#include <cstdint>

#include "package/blowfish.h"

namespace package {

inline constexpr char kPackageKey[] = "ZZIMEBase26";
inline constexpr std::size_t kPackageKeyLength = 11;  // the terminating NUL is not part of the key

static_assert(sizeof(kPackageKey) == kPackageKeyLength + 1);

// The cipher state of that key, made once.
inline const BlowfishContext& package_cipher() {
    static const BlowfishContext context = [] {
        BlowfishContext c{};
        SetKey(c, reinterpret_cast<const std::uint8_t*>(kPackageKey), kPackageKeyLength);
        return c;
    }();
    return context;
}

}  // namespace package
