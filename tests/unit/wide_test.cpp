#include "support/wide.h"
#include "support/utf8.h"

#include <gtest/gtest.h>

using support::to_u16;
using support::to_wide;

TEST(WideBridge, RoundTripsChineseAndSurrogatePairs) {
    const std::u16string text = u"紫金输入法 \U0001F600 C:\\x";
    EXPECT_EQ(to_u16(to_wide(text)), text);
    EXPECT_EQ(to_wide(u"紫金"), std::wstring(L"紫金"));
    // On this platform a pair becomes one wide character; on Windows it
    // stays two units. Either way the wide text is what L"" would give.
    EXPECT_EQ(to_wide(u"\U0001F600"), std::wstring(L"\U0001F600"));
}

TEST(WideBridge, LoneSurrogatesTravelUnchanged) {
    const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(to_u16(to_wide(lone)), lone);
    EXPECT_TRUE(to_wide(u"").empty());
}

TEST(Utf8Decoder, StrictAboutEveryMalformedForm) {
    EXPECT_EQ(support::utf8_to_utf16("a\xE7\xB4\xAB\xF0\x9F\x98\x80"), std::u16string(u"a紫\U0001F600"));
    EXPECT_EQ(support::utf8_to_utf16(""), std::u16string());
    for (const char* bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE7\xB4",
                            "\xF8\x88\x80\x80\x80", "a\xFF" "b"}) {
        EXPECT_FALSE(support::utf8_to_utf16(bad).has_value()) << bad;
    }
}
