#include "support/wide.h"

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
