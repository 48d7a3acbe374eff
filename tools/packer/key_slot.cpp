#include "key_slot.h"

#include <algorithm>

namespace imepack {

KeySlot find_key_slot(std::span<const std::uint8_t> image) {
    const auto& marker = update::kKeySlotMarker;
    KeySlot slot;
    for (auto at = image.begin();; ++at) {
        at = std::search(at, image.end(), marker.begin(), marker.end());
        if (at == image.end()) break;
        if (slot.status != KeySlotStatus::none) {
            slot.status = KeySlotStatus::several;
            return slot;
        }
        slot.offset = static_cast<std::size_t>(at - image.begin());
        slot.status = KeySlotStatus::damaged;
    }
    if (slot.status == KeySlotStatus::none || slot.offset + update::kKeySlotSize > image.size()) return slot;
    const auto bytes = image.subspan(slot.offset, update::kKeySlotSize);
    const std::uint8_t state = bytes[update::kKeySlotMarkerSize];
    const bool rest_clear = std::all_of(bytes.begin() + update::kKeySlotMarkerSize + 1, bytes.end(),
                                        [](std::uint8_t b) { return b == 0; });
    if (state == 0 && rest_clear) {
        slot.status = KeySlotStatus::empty;
    } else if (const auto key = update::key_from_slot(bytes)) {
        slot.status = KeySlotStatus::keyed;
        slot.key = *key;
    }
    return slot;
}

std::array<std::uint8_t, update::kKeySlotSize> key_slot_bytes(const std::optional<update::PublicKey>& key) {
    std::array<std::uint8_t, update::kKeySlotSize> bytes{};
    std::copy(update::kKeySlotMarker.begin(), update::kKeySlotMarker.end(), bytes.begin());
    if (key) {
        bytes[update::kKeySlotMarkerSize] = 1;
        std::copy(key->begin(), key->end(), bytes.begin() + update::kKeySlotMarkerSize + 1);
    }
    return bytes;
}

}  // namespace imepack
