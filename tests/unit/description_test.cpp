#include "description.h"

#include "package/install_info.h"
#include "tool_error.h"

#include <gtest/gtest.h>

#include <string>

using imepack::InputError;
using imepack::record_from_description;
using package::InstallInfo;

namespace {

InstallInfo record_of(const std::string& text) {
    const auto bytes = record_from_description(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                                               "demo.txt");
    EXPECT_EQ(bytes.size(), package::kInstallInfoSize);
    return package::load_install_info(bytes);
}

std::string error_of(const std::string& text) {
    try {
        record_of(text);
    } catch (const InputError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(Description, EveryFieldReadsBackThroughTheRecordLayout) {
    const InstallInfo info = record_of(
        "# The demo product\n"
        "ime_name = ZZDemo\n"
        "layout_text = 中文 (简体) - 演示输入法\n"
        "\n"
        "display_name=演示输入法\n"
        "shortcut_flags = 0x1CE0\n"
        "comments = 演示用\n"
        "publisher = Zinzin Software\n"
        "display_version = 1.2.3.4\n"
        "contact = support@example.com\n"
        "url_info_about = http://example.com/about?a=b#top\n"
        "help_link = http://example.com/help\n"
        "url_update_info = http://example.com/update\n"
        "help_telephone = +86 10 1234 5678\n"
        "   post_install_open   =   docs\\readme.html   \n");
    EXPECT_EQ(std::u16string(info.ime_name), u"ZZDemo");
    EXPECT_EQ(std::u16string(info.layout_text), u"中文 (简体) - 演示输入法");
    EXPECT_EQ(std::u16string(info.display_name), u"演示输入法");
    EXPECT_EQ(info.shortcut_flags, 0x1CE0u);
    EXPECT_EQ(std::u16string(info.comments), u"演示用");
    EXPECT_EQ(std::u16string(info.publisher), u"Zinzin Software");
    EXPECT_EQ(std::u16string(info.display_version), u"1.2.3.4");
    EXPECT_EQ(std::u16string(info.contact), u"support@example.com");
    EXPECT_EQ(std::u16string(info.url_info_about), u"http://example.com/about?a=b#top");
    EXPECT_EQ(std::u16string(info.help_link), u"http://example.com/help");
    EXPECT_EQ(std::u16string(info.url_update_info), u"http://example.com/update");
    EXPECT_EQ(std::u16string(info.help_telephone), u"+86 10 1234 5678");
    EXPECT_EQ(std::u16string(info.post_install_open), u"docs\\readme.html");
    for (const std::uint8_t b : info.reserved) EXPECT_EQ(b, 0);
}

TEST(Description, FieldsLeftOutStayZeroAndTheRestOfEachSlotIsZero) {
    const InstallInfo info = record_of("ime_name = abc\n");
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&info);
    for (std::size_t i = 6; i < sizeof info; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
}

TEST(Description, AcceptsByteOrderMarkCrLfDecimalNumbersAndEmptyValues) {
    const InstallInfo info = record_of("\xEF\xBB\xBFime_name = abc\r\nshortcut_flags = 4096\r\nhelp_link =\r\n# end");
    EXPECT_EQ(std::u16string(info.ime_name), u"abc");
    EXPECT_EQ(info.shortcut_flags, 4096u);
    EXPECT_EQ(info.help_link[0], 0);
    EXPECT_EQ(record_of("ime_name=a\nshortcut_flags=0xFFFFFFFF").shortcut_flags, 0xFFFFFFFFu);
    EXPECT_EQ(record_of("ime_name=a\nshortcut_flags=0X1f").shortcut_flags, 0x1Fu);
}

TEST(Description, TextFillsItsSlotUpToOneUnitBelowItsSize) {
    // comments: 20 units, so 19 characters fit; a character beyond the BMP takes two units.
    EXPECT_EQ(std::u16string(record_of("ime_name=a\ncomments=" + std::string(19, 'x')).comments), std::u16string(19, u'x'));
    EXPECT_EQ(error_of("ime_name=a\ncomments=" + std::string(20, 'x')),
              "demo.txt:2: comments is 20 UTF-16 units long; its slot holds at most 19");
    EXPECT_NE(error_of("ime_name=a\ncomments=" + std::string(18, 'x') + "\xF0\x9F\x98\x80").find("is 20 UTF-16 units"),
              std::string::npos);
    EXPECT_EQ(std::u16string(record_of("ime_name=" + std::string(39, 'n')).ime_name).size(), 39u);
    EXPECT_NE(error_of("ime_name=" + std::string(40, 'n')).find("demo.txt:1:"), std::string::npos);
}

TEST(Description, EachMistakeIsReportedWithItsLine) {
    const std::string head = "# header\nime_name = a\n\n";  // the mistake sits on line 4
    EXPECT_EQ(error_of(head + "colour = blue\n"), "demo.txt:4: unknown field \"colour\"");
    EXPECT_EQ(error_of(head + "ime_name = b\n"), "demo.txt:4: the field \"ime_name\" is given twice");
    EXPECT_EQ(error_of(head + "shortcut_flags = 12abc\n"),
              "demo.txt:4: \"12abc\" is not a number (decimal or 0x hexadecimal, 32 bits)");
    for (const std::string bad : {"", "-1", "0x", "4294967296", "0x100000000", "1 2", "0x1g"}) {
        EXPECT_NE(error_of(head + "shortcut_flags = " + bad + "\n").find("demo.txt:4: \""), std::string::npos) << bad;
    }
    EXPECT_EQ(error_of(head + "just some words\n"), "demo.txt:4: expected \"field = value\"");
    EXPECT_EQ(error_of(head + "publisher = caf\xC3\n"), "demo.txt:4: the line isn't valid UTF-8");
    EXPECT_EQ(error_of(head + "publisher = \xED\xA0\x80\n"), "demo.txt:4: the line isn't valid UTF-8");  // a surrogate
    EXPECT_EQ(error_of(head + "publisher = \xC0\xAF\n"), "demo.txt:4: the line isn't valid UTF-8");     // overlong
    EXPECT_EQ(error_of(head + "# caf\xC3 in a comment\n"), "demo.txt:4: the line isn't valid UTF-8");
    EXPECT_EQ(error_of(head + std::string("publisher = a\0b\n", 16)), "demo.txt:4: the text holds a NUL character");
    EXPECT_EQ(error_of(head + "Publisher = x\n"), "demo.txt:4: unknown field \"Publisher\"");
}

TEST(Description, ImeNameIsRequiredAndMustNameAFile) {
    EXPECT_EQ(error_of("publisher = x\n"), "demo.txt: ime_name is missing; every package needs one");
    EXPECT_EQ(error_of(""), "demo.txt: ime_name is missing; every package needs one");
    EXPECT_EQ(error_of("ime_name =\n"), "demo.txt:1: ime_name must not be empty");
    EXPECT_NE(error_of("ime_name = a\\b\n").find("demo.txt:1: ime_name names files"), std::string::npos);
    EXPECT_NE(error_of("ime_name = a:b\n").find("demo.txt:1:"), std::string::npos);
}

TEST(Description, PostInstallOpenIsRelativeToTheInstallFolder) {
    EXPECT_NE(error_of("ime_name=a\npost_install_open = C:\\x.txt").find("demo.txt:2: post_install_open"),
              std::string::npos);
    EXPECT_NE(error_of("ime_name=a\npost_install_open = \\x.txt").find("demo.txt:2:"), std::string::npos);
    EXPECT_EQ(std::u16string(record_of("ime_name=a\npost_install_open = 帮助\\说明.html").post_install_open),
              u"帮助\\说明.html");
}
