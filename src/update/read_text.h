#pragma once
// READTEXT: reads one whole text file, in any encoding an update list may
// come in (see update/list_text.h), and owns its UTF-16 text.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "support/text_slot.h"

namespace update {

// The system's ANSI code page to UTF-16 (the decoder's platform service).
std::u16string ansi_code_page_text(std::span<const std::uint8_t> bytes);

class READTEXT {
public:
    READTEXT() = default;
    READTEXT(const READTEXT&) = delete;
    READTEXT& operator=(const READTEXT&) = delete;
    virtual ~READTEXT() = default;

    // Drops any earlier text, keeps the file name (cut at 259 characters)
    // and reads that file: through a read-only mapping, or, where the file
    // can't be mapped (an empty one, for instance), through a stream. True
    // when the file was read and decoded. A file too large for a 32-bit
    // length, or too large for memory, is refused (false).
    virtual bool Load(const wchar_t* file_name);

    // The text, ending in a zero unit; null before a successful Load or
    // after take_text.
    const char16_t* text() const noexcept { return has_text_ ? text_.c_str() : nullptr; }
    // Its length in UTF-16 units as the list reader counts it.
    std::int32_t length() const noexcept { return has_text_ ? static_cast<std::int32_t>(text_.size()) : 0; }
    const support::PathSlot& file_name() const noexcept { return file_name_; }

    // Hands the text over to the caller; the reader is empty afterwards.
    std::u16string take_text();

private:
    bool decode(std::span<const std::uint8_t> bytes);

    support::PathSlot file_name_;
    std::u16string text_;
    bool has_text_ = false;
};

}  // namespace update
