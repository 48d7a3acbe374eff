#include "support/text_buffers.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>

namespace support {
namespace {

constexpr std::uint32_t kInitialRoom = 300;

template <typename Char>
constexpr Char kBackslash = static_cast<Char>('\\');

// Length of a text that must end inside `capacity` units.
template <typename Char>
std::uint32_t checked_length(const Char* text, std::uint32_t capacity) {
    if (text == nullptr) return 0;
    for (std::uint32_t i = 0; i < capacity; ++i)
        if (text[i] == Char{}) return i;
    throw BufferError::no_terminator();
}

std::uint32_t room_for(std::size_t length) {
    if (length > UINT32_MAX / 2) throw BufferError::out_of_memory();
    return static_cast<std::uint32_t>(length);
}

// The conversions report how many units they wrote with the terminator;
// make sure the text ends there even when nothing was converted.
template <typename Char>
void terminate_converted(Char* text, int converted) {
    text[converted > 0 ? converted - 1 : 0] = Char{};
}

int as_int(std::uint32_t n) { return n > INT_MAX ? INT_MAX : static_cast<int>(n); }

}  // namespace

template <typename Char>
TextBuffer<Char>::TextBuffer() {
    reserve(kInitialRoom);
}

template <typename Char>
TextBuffer<Char>::TextBuffer(const Char* text) {
    const View source(text ? text : View());
    reserve(std::max(room_for(source.size()), kInitialRoom));
    assign(source);
}

template <typename Char>
TextBuffer<Char>::TextBuffer(const TextBuffer& other) {
    const std::uint32_t n = checked_length(other.text_, other.capacity_);
    reserve(std::max(n, kInitialRoom));
    assign(View(other.c_str(), n));
}

template <typename Char>
TextBuffer<Char>::TextBuffer(TextBuffer&& other) noexcept : text_(other.text_), capacity_(other.capacity_) {
    other.text_ = nullptr;
    other.capacity_ = 0;
}

template <typename Char>
TextBuffer<Char>& TextBuffer<Char>::operator=(const TextBuffer& other) {
    assign(other);
    return *this;
}

template <typename Char>
TextBuffer<Char>& TextBuffer<Char>::operator=(TextBuffer&& other) noexcept {
    if (this != &other) {
        release();
        text_ = other.text_;
        capacity_ = other.capacity_;
        other.text_ = nullptr;
        other.capacity_ = 0;
    }
    return *this;
}

template <typename Char>
TextBuffer<Char>::~TextBuffer() {
    release();
}

template <typename Char>
void TextBuffer<Char>::reserve(std::uint32_t n) {
    if (n < capacity_) return;
    const std::uint32_t kept = checked_length(text_, capacity_);
    // Doubling the request keeps repeated appends from reallocating; a
    // request of 0 still gets room for the terminator.
    const std::uint64_t wanted = std::max<std::uint64_t>(std::uint64_t{n} * 2, 1);
    // Beyond a 32-bit capacity, or more bytes than the address space holds
    // (the 32-bit build), no storage can be had.
    if (wanted > UINT32_MAX || wanted > PTRDIFF_MAX / sizeof(Char)) throw BufferError::out_of_memory();
    Char* fresh = new (std::nothrow) Char[static_cast<std::size_t>(wanted)];
    if (fresh == nullptr) throw BufferError::out_of_memory();
    if (text_ != nullptr) std::memcpy(fresh, text_, kept * sizeof(Char));
    fresh[kept] = Char{};
    delete[] text_;
    text_ = fresh;
    capacity_ = static_cast<std::uint32_t>(wanted);
}

template <typename Char>
void TextBuffer<Char>::assign(const TextBuffer& other) {
    const std::uint32_t n = checked_length(other.text_, other.capacity_);
    if (&other == this) return;
    assign(View(other.c_str(), n));
}

template <typename Char>
void TextBuffer<Char>::assign(View text) {
    const std::size_t inside = offset_inside(text);
    reserve(room_for(text.size()));
    // A view into this buffer's own text (split_path makes those) survives
    // a reallocation at the same offset, and may overlap its target.
    const Char* from = inside == npos ? text.data() : text_ + inside;
    std::memmove(text_, from, text.size() * sizeof(Char));
    text_[text.size()] = Char{};
}

template <typename Char>
void TextBuffer<Char>::append(const TextBuffer& other) {
    const std::uint32_t n = checked_length(other.text_, other.capacity_);
    append(View(other.c_str(), n));
}

template <typename Char>
void TextBuffer<Char>::append(View text) {
    const std::uint32_t have = checked_length(text_, capacity_);
    const std::size_t inside = offset_inside(text);
    reserve(room_for(std::size_t{have} + text.size()));
    const Char* from = inside == npos ? text.data() : text_ + inside;
    std::memmove(text_ + have, from, text.size() * sizeof(Char));
    text_[have + text.size()] = Char{};
}

template <typename Char>
void TextBuffer<Char>::append_backslash() {
    const Char backslash[1] = {kBackslash<Char>};
    append(View(backslash, 1));
}

template <typename Char>
void TextBuffer<Char>::ensure_trailing_backslash() {
    const std::uint32_t n = length();
    if (n >= 2 && text_[n - 1] != kBackslash<Char>) append_backslash();
}

template <typename Char>
void TextBuffer<Char>::slashes_to_backslashes() {
    const std::uint32_t n = length();
    for (std::uint32_t i = 0; i < n; ++i)
        if (text_[i] == static_cast<Char>('/')) text_[i] = kBackslash<Char>;
}

template <typename Char>
void TextBuffer<Char>::split_path(TextBuffer* folder, TextBuffer* file) const {
    const View whole = view();
    const std::size_t cut = whole.rfind(kBackslash<Char>);
    const std::size_t file_start = cut == npos ? 0 : cut + 1;
    const auto file_start_units = static_cast<std::uint32_t>(file_start);
    // Whichever output is this buffer itself is written last, so the other
    // part is taken before the text changes.
    if (folder == this) {
        if (file != nullptr && file != this) file->assign(whole.substr(file_start));
        folder->truncate(file_start_units);
    } else {
        if (folder != nullptr) folder->assign(whole.substr(0, file_start));
        if (file != nullptr) file->assign(whole.substr(file_start));
    }
}

template <typename Char>
void TextBuffer<Char>::release() noexcept {
    delete[] text_;
    text_ = nullptr;
    capacity_ = 0;
}

template <typename Char>
void TextBuffer<Char>::truncate(std::uint32_t n) {
    if (n < length()) text_[n] = Char{};
}

template <typename Char>
std::size_t TextBuffer<Char>::find_last(Char unit) const {
    return view().rfind(unit);
}

template <typename Char>
std::size_t TextBuffer<Char>::offset_inside(View text) const noexcept {
    const std::less<const Char*> before;
    if (text_ == nullptr || text.data() == nullptr) return npos;
    if (before(text.data(), text_) || !before(text.data(), text_ + capacity_)) return npos;
    return static_cast<std::size_t>(text.data() - text_);
}

template <typename Char>
std::uint32_t TextBuffer<Char>::length() const {
    return checked_length(text_, capacity_);
}

template <typename Char>
const Char* TextBuffer<Char>::c_str() const noexcept {
    static const Char empty[1] = {};
    return text_ != nullptr ? text_ : empty;
}

template class TextBuffer<wchar_t>;
template class TextBuffer<char>;

void to_utf8(const wchar_t* text, CTextBufA& out) {
    const std::size_t units = std::wcslen(text ? text : L"");
    if (units > UINT32_MAX / 8) throw BufferError::out_of_memory();
    out.reserve(static_cast<std::uint32_t>(units * 4));
    const int converted = WideCharToMultiByte(CP_UTF8, 0, text ? text : L"", -1, out.data(),
                                              as_int(out.capacity()), nullptr, nullptr);
    terminate_converted(out.data(), converted);
}

void to_utf8(const CTextBufW& text, CTextBufA& out) {
    text.length();  // the text must end inside its buffer
    to_utf8(text.c_str(), out);
}

bool from_code_page(const char* text, unsigned code_page, CTextBufW& out) {
    const char* source = text ? text : "";
    out.reserve(room_for(std::strlen(source)));
    const int converted = MultiByteToWideChar(code_page, 0, source, -1, out.data(), as_int(out.capacity()));
    terminate_converted(out.data(), converted);
    return converted > 0;
}

void CByteBuf::reserve(std::uint32_t n) {
    size_ = 0;
    if (static_cast<std::int64_t>(n) <= capacity_) return;
    release();
    if (n > static_cast<std::uint32_t>(INT32_MAX) - 2) throw BufferError::out_of_memory();
    data_ = new (std::nothrow) std::uint8_t[std::size_t{n} + 2]();
    if (data_ == nullptr) throw BufferError::out_of_memory();
    capacity_ = static_cast<std::int32_t>(n);
}

void CByteBuf::release() noexcept {
    delete[] data_;
    data_ = nullptr;
    capacity_ = 0;
    size_ = 0;
}

void CByteBuf::set_size(std::uint32_t size) noexcept {
    const auto room = static_cast<std::uint32_t>(capacity_);
    size_ = size < room ? size : room;
}

}  // namespace support
