#pragma once
// Blowfish's published initial tables (internal to the cipher).

#include <cstdint>

namespace package::detail {

extern const std::uint32_t kInitialP[18];
extern const std::uint32_t kInitialS[4][256];

}  // namespace package::detail
