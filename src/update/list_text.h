#pragma once
// Turning the bytes of an update list file into UTF-16 text.
//
// Lists come in whatever their authors' editors saved: UTF-8 with or
// without a byte-order mark, UTF-16 in either byte order with its mark, or
// the system's ANSI code page. The roads are tried in that order; bytes
// that are well-formed UTF-8 and hold at least one non-ASCII byte are taken
// as UTF-8, everything else as ANSI (pure ASCII reads the same either way).
//
// The ANSI conversion belongs to the platform: the caller hands it in.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace update {

enum class TextEncoding {
    utf8_marked,  // EF BB BF, then UTF-8
    utf16_le,     // FF FE, then UTF-16 little-endian
    utf16_be,     // FE FF, then UTF-16 big-endian
    utf8,         // no mark, but well-formed UTF-8 with a non-ASCII byte
    ansi,         // anything else: the system's ANSI code page
};

// Converts bytes of the system's ANSI code page to UTF-16. It is given the
// bytes before the first zero byte (possibly none) and returns their text;
// an empty result means nothing could be converted.
using AnsiDecoder = std::function<std::u16string(std::span<const std::uint8_t>)>;

// Which road the bytes take (the mark checks come first).
TextEncoding detect_text_encoding(std::span<const std::uint8_t> bytes);

// True when every byte of 0x80 or above that starts a sequence has at
// least two leading one-bits and is followed by exactly (leading one-bits
// - 1) bytes 10xxxxxx (a lead byte 0xFF wants 7), no sequence is cut by the
// end, and at least one byte is 0x80 or above. Empty input is not UTF-8.
bool looks_like_utf8(std::span<const std::uint8_t> bytes);

// Lenient UTF-8: one UTF-16 unit per sequence, continuation bytes taken as
// they come; a four-byte sequence gives the low 16 bits of its code point
// and any other lead (10xxxxxx, 11111xxx) consumes five bytes. A sequence
// cut by the end of the data reads the missing bytes as 0: nothing past the
// end is ever read. Zero bytes become zero units.
std::u16string decode_utf8_lenient(std::span<const std::uint8_t> bytes);

// The list's text. Its size is the text's length as the list reader counts
// it: for the two UTF-16 roads that length is half the byte count, so the
// text carries one zero unit at its end where the mark's place was
// counted; the other roads give exactly the units decoded. A UTF-16 text of
// an odd byte count drops its last, half unit. Without an ANSI decoder the
// ANSI road widens each byte as it is (Latin-1).
std::u16string decode_list_text(std::span<const std::uint8_t> bytes, const AnsiDecoder& ansi);

}  // namespace update
