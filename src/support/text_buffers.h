#pragma once
// Growable text and byte buffers of the cabinet code, with the path
// operations and code-page conversions it needs.
//
// Text buffers grow by doubling what is asked for and start with room for
// 300 characters, so the paths of one cabinet extraction rarely allocate
// twice. Their text always ends inside the capacity; an operation that
// finds it doesn't raises BufferError(kNoTerminatorMessage). When storage
// can't be had they raise BufferError(kOutOfMemoryMessage). A text buffer
// that raises keeps its old text and capacity.
//
// Nothing in the program catches BufferError: it ends the process through
// the handler of fatal_error.h (a message box with the text, then exit code
// kFatalErrorExitCode).

#include <cstdint>
#include <string_view>

#include "support/buffer_error.h"

namespace support {

template <typename Char>
class TextBuffer {
public:
    using View = std::basic_string_view<Char>;

    TextBuffer();                             // empty text, capacity 600
    explicit TextBuffer(const Char* text);    // room for max(length, 300), doubled
    TextBuffer(const TextBuffer& other);      // checks the other's terminator
    TextBuffer(TextBuffer&& other) noexcept;  // the other is left released
    TextBuffer& operator=(const TextBuffer& other);
    TextBuffer& operator=(TextBuffer&& other) noexcept;
    ~TextBuffer();

    // Makes room: nothing when n < capacity, else 2 * n characters that keep
    // the current text.
    void reserve(std::uint32_t n);

    void assign(const TextBuffer& other);
    void assign(View text);  // a view without the terminator
    void append(const TextBuffer& other);
    void append(View text);
    void append_backslash();
    // Appends a backslash to texts of two or more characters that lack one
    // ("C:" -> "C:\"); a text of zero or one character stays as it is.
    void ensure_trailing_backslash();
    void slashes_to_backslashes();
    // "a\b\c.txt" -> folder "a\b\", file "c.txt"; without a backslash the
    // folder is empty and the file is the whole text. Either may be null,
    // and either may be this buffer itself.
    void split_path(TextBuffer* folder, TextBuffer* file) const;
    // Frees the storage; the buffer then reads as empty with capacity 0 and
    // the next operation that needs room allocates again.
    void release() noexcept;

    // Cuts the text to `length` characters (no effect when it is shorter).
    void truncate(std::uint32_t length);
    // Position of the last `unit`, or npos.
    std::size_t find_last(Char unit) const;
    static constexpr std::size_t npos = View::npos;

    std::uint32_t length() const;  // raises when not terminated
    View view() const { return View(c_str(), length()); }
    const Char* c_str() const noexcept;  // "" after release
    Char* data() noexcept { return text_; }  // null after release
    std::uint32_t capacity() const noexcept { return capacity_; }

private:
    std::size_t offset_inside(View text) const noexcept;

    Char* text_ = nullptr;
    std::uint32_t capacity_ = 0;
};

using CTextBufW = TextBuffer<wchar_t>;
using CTextBufA = TextBuffer<char>;

// Wide text into UTF-8 (code page 65001): room for 4 bytes per unit, the
// whole text converted with its terminator.
void to_utf8(const wchar_t* text, CTextBufA& out);
void to_utf8(const CTextBufW& text, CTextBufA& out);

// Narrow text in `code_page` into wide text, with its terminator. Returns
// false (and leaves an empty text) when the system can't convert it, e.g.
// for an unknown code page.
bool from_code_page(const char* text, unsigned code_page, CTextBufW& out);

// Byte buffer: reserve(n) makes room for n bytes (plus two zero bytes after
// them) without keeping any former contents, and always empties it.
class CByteBuf {
public:
    CByteBuf() noexcept = default;  // no data, capacity 0
    CByteBuf(const CByteBuf&) = delete;
    CByteBuf& operator=(const CByteBuf&) = delete;
    ~CByteBuf() { release(); }

    // When n exceeds the capacity the old data goes and n + 2 zeroed bytes
    // are allocated; in every case the size becomes 0. On failure (or n too
    // large for a 32-bit signed capacity) the buffer has no data, capacity 0.
    void reserve(std::uint32_t n);
    void release() noexcept;

    std::uint8_t* data() noexcept { return data_; }
    const std::uint8_t* data() const noexcept { return data_; }
    std::int32_t capacity() const noexcept { return capacity_; }
    std::uint32_t size() const noexcept { return size_; }
    // Records how many bytes are in use (never more than the capacity).
    void set_size(std::uint32_t size) noexcept;

private:
    std::uint8_t* data_ = nullptr;
    std::int32_t capacity_ = 0;
    std::uint32_t size_ = 0;
};

}  // namespace support
