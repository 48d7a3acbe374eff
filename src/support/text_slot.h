#pragma once
// A fixed-size text slot of N wide units: paths (260), names (40), short
// number texts (20). It holds at most N - 1 characters; copy, append and
// format cut the text to fit and always terminate it. A cut is not an
// error for anyone: callers use the cut text (the functions still say
// whether a cut happened, for the few that care).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "support/format_bounded.h"
#include "support/wide.h"

namespace support {

template <std::size_t N>
class TextSlot {
    static_assert(N > 0 && N <= kMaxSlotUnits, "a slot holds at least its terminator");

public:
    TextSlot() noexcept = default;
    explicit TextSlot(const wchar_t* text) noexcept { assign(text); }
    explicit TextSlot(std::wstring_view text) noexcept { assign(text); }

    // Each returns true when nothing was cut.
    bool assign(const wchar_t* text) noexcept { return copy_slot(text_, text); }
    bool assign(std::wstring_view text) noexcept {
        const std::size_t kept = text.size() < N ? text.size() : N - 1;
        for (std::size_t i = 0; i < kept; ++i) text_[i] = text[i];
        text_[kept] = L'\0';
        return kept == text.size();
    }
    bool assign(std::u16string_view text) { return assign(std::wstring_view(to_wide(text))); }
    bool append(const wchar_t* text) noexcept { return append_slot(text_, text); }

    // printf-style; kStatusOk or kStatusInsufficientBuffer (text cut).
    template <typename... Args>
    std::uint32_t format(const wchar_t* format_text, Args... args) noexcept {
        return format_slot(text_, format_text, args...);
    }

    void clear() noexcept { text_[0] = L'\0'; }

    // For routines that write into the storage themselves (GetModuleFileNameW
    // and the like, given capacity()). seal() afterwards guarantees the
    // terminator even when such a routine filled every unit.
    wchar_t* data() noexcept { return text_; }
    wchar_t (&units())[N] { return text_; }
    void seal() noexcept { text_[N - 1] = L'\0'; }

    const wchar_t* c_str() const noexcept { return text_; }
    static constexpr std::size_t capacity() noexcept { return N; }
    std::size_t size() const noexcept {
        std::size_t n = 0;
        while (n < N && text_[n] != L'\0') ++n;
        return n;
    }
    bool empty() const noexcept { return text_[0] == L'\0'; }
    std::wstring_view view() const noexcept { return {text_, size()}; }

    friend bool operator==(const TextSlot& slot, std::wstring_view text) noexcept { return slot.view() == text; }

private:
    wchar_t text_[N] = {};
};

using PathSlot = TextSlot<260>;
using NameSlot = TextSlot<40>;
using NumberSlot = TextSlot<20>;

}  // namespace support
