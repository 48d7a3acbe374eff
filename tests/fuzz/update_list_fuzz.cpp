// An update list as it comes from the server: the text decoder (marks,
// UTF-8, UTF-16 in both byte orders, the ANSI code page) and the line
// reader over its result. Every entry's text slots must stay terminated and
// its type must be one the item table knows.

#include "fuzz_check.h"

#include "update/list_text.h"
#include "update/update_list.h"

#include <string>

namespace {

template <std::size_t N>
bool terminated(const char16_t (&slot)[N]) {
    return std::char_traits<char16_t>::length(slot) < N;
}

// The ANSI code page of the platform stands in as Latin-1 here; it is
// handed the bytes before the first zero byte, so none may be zero.
std::u16string latin1(std::span<const std::uint8_t> bytes) {
    std::u16string text;
    for (const std::uint8_t b : bytes) {
        FUZZ_CHECK(b != 0);
        text.push_back(b);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bytes = fuzz::bytes_of(data, size);
    const update::TextEncoding encoding = update::detect_text_encoding(bytes);
    if (encoding == update::TextEncoding::utf8) FUZZ_CHECK(update::looks_like_utf8(bytes));
    (void)update::decode_utf8_lenient(bytes);

    const std::u16string text = update::decode_list_text(bytes, latin1);
    if (encoding == update::TextEncoding::utf16_le || encoding == update::TextEncoding::utf16_be) {
        FUZZ_CHECK(text.size() == size / 2);
    }
    // Without a decoder the ANSI road widens each byte.
    const std::u16string widened = update::decode_list_text(bytes, {});
    if (encoding == update::TextEncoding::ansi) FUZZ_CHECK(widened.size() <= size);

    std::size_t messages = 0;
    const std::vector<update::UpdateEntry> entries =
        update::parse_update_list(text, [&](std::u16string_view message) {
            FUZZ_CHECK(message == update::kUnknownKeyMessage);
            ++messages;
        });
    // A line is one unit at least, and a separator ends each but the first
    // (which may be empty) and the last.
    FUZZ_CHECK(entries.size() <= text.size() / 2 + 1);
    FUZZ_CHECK(messages <= text.size() / 2);
    for (const update::UpdateEntry& entry : entries) {
        FUZZ_CHECK(entry.type >= update::kItemUnknown && entry.type <= update::kItemSkinZip);
        FUZZ_CHECK(!update::item_type_name(entry.type).empty());
        FUZZ_CHECK(terminated(entry.name) && terminated(entry.path) && terminated(entry.package_address));
    }
    return 0;
}
