#pragma once
// The update key's slot in an installer image: found by its marker and
// filled in by `imepack build --update-key` (update/update_signature.h has
// the slot's layout).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "update/update_signature.h"

namespace imepack {

enum class KeySlotStatus { none, empty, keyed, several, damaged };
struct KeySlot {
    KeySlotStatus status = KeySlotStatus::none;
    std::size_t offset = 0;   // of the marker, when there is exactly one slot
    update::PublicKey key{};  // when keyed
};

// The one slot of a program image.
KeySlot find_key_slot(std::span<const std::uint8_t> image);
// The 96 bytes of a slot holding `key`, or no key.
std::array<std::uint8_t, update::kKeySlotSize> key_slot_bytes(const std::optional<update::PublicKey>& key);

}  // namespace imepack
