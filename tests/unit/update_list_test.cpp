// Update lists from bytes to entries: the item-type table, tags and keys,
// line splitting and its limits, and whole lists in every encoding.

#include "update/update_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/version_number.h"
#include "update/list_text.h"
#include "update_list_test_util.h"

using support::make_version;
using update::parse_update_line;
using update::parse_update_list;
using update::UpdateEntry;
using namespace update_test;

namespace {

struct Posted {
    std::vector<std::u16string> messages;
    update::ListMessageSink sink() {
        return [this](std::u16string_view m) { messages.emplace_back(m); };
    }
};

std::u16string text_of(const char16_t* slot) {
    return slot;
}

std::vector<UpdateEntry> entries_of(const Bytes& file, Posted* posted = nullptr) {
    return parse_update_list(update::decode_list_text(file, fake_gbk), posted ? posted->sink() : nullptr);
}

const std::u16string kDriverLine =
    u"<TYPE=ZME_DRIVE><NAME=五笔><VERSION=2.5.0.1153><CABURL=http://127.0.0.1/_supports/wubi.cab>";

}  // namespace

TEST(ItemTypes, EveryKeywordHasItsCodeAndNameWhateverItsCase) {
    struct Row {
        std::u16string_view keyword;
        std::int32_t code;
        std::u16string_view name;
    };
    const Row rows[] = {
        {u"ZME_DRIVE", 1, u"码表驱动"},     {u"SKIN_DRIVE", 2, u"界面驱动"},   {u"IME_MAIN", 3, u"IME驱动"},
        {u"IMEGENCAB", 4, u"生成器压缩包"}, {u"UPDATE", 5, u"生成器更新"},     {u"CONFIG_DRIVE", 6, u"配置程序"},
        {u"INSTALLBASE_DRIVE", 7, u"安装程序"}, {u"SKINZIP", 8, u"Zinzin皮肤"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(update::item_type_code(row.keyword), row.code);
        std::u16string lower(row.keyword);
        for (auto& c : lower) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
        EXPECT_EQ(update::item_type_code(lower), row.code);
        EXPECT_EQ(update::item_type_name(row.code), row.name);
        // Zero-terminated, for the list rows that take a C string.
        EXPECT_EQ(row.name.data()[row.name.size()], u'\0');
    }
}

TEST(ItemTypes, AnythingElseIsUnknown) {
    for (std::u16string_view text : {u"", u"auto", u"ZME_DRIVE ", u" ZME_DRIVE", u"ZME", u"ＺＭＥ_DRIVE", u"SKINZIPS"})
        EXPECT_EQ(update::item_type_code(text), 0);
    for (std::int32_t code : {0, -1, 9, 1000}) EXPECT_EQ(update::item_type_name(code), u"未知标识");
}

TEST(ListLine, TypicalDriverLineFillsEveryField) {
    const UpdateEntry e = parse_update_line(kDriverLine);
    EXPECT_EQ(e.type, update::kItemCodeTableDriver);
    EXPECT_EQ(text_of(e.name), u"五笔");
    EXPECT_EQ(e.new_version, make_version(2, 5, 0, 1153));
    EXPECT_EQ(e.local_version, 0u);
    EXPECT_EQ(text_of(e.package_address), u"http://127.0.0.1/_supports/wubi.cab");
    EXPECT_EQ(text_of(e.path), u"");
}

TEST(ListLine, KeysIgnoreCaseValuesKeepTheirs) {
    const UpdateEntry e =
        parse_update_line(u"<type=zme_drive><name=WuBi><version=1.2><savepath=C:\\x><caburl=HTTP://H/A.CAB>");
    EXPECT_EQ(e.type, 1);
    EXPECT_EQ(text_of(e.name), u"WuBi");
    EXPECT_EQ(e.new_version, make_version(1, 2, 0, 0));
    EXPECT_EQ(text_of(e.path), u"C:\\x");
    EXPECT_EQ(text_of(e.package_address), u"HTTP://H/A.CAB");
    EXPECT_EQ(parse_update_line(u"<TyPe=SkinZip>").type, update::kItemSkinZip);
}

TEST(ListLine, TagsWithoutEqualsHaveTheValueAuto) {
    EXPECT_EQ(parse_update_line(u"<VERSION=9.9><VERSION>").new_version, 0u);
    EXPECT_EQ(parse_update_line(u"<VERSION=3>").new_version, make_version(3, 0, 0, 0));
    EXPECT_EQ(text_of(parse_update_line(u"<NAME>").name), u"auto");
    EXPECT_EQ(parse_update_line(u"<TYPE=UPDATE><TYPE>").type, 0);
    // An empty value is a value: the field is emptied.
    EXPECT_EQ(text_of(parse_update_line(u"<NAME=a><NAME=>").name), u"");
}

TEST(ListLine, UnknownKeysPostOncePerTagAndTheLineGoesOn) {
    Posted posted;
    const UpdateEntry e =
        parse_update_line(u"<TYPE=IME_MAIN><SIZE=12><=x><NAME=ime><NAME >< TYPE=UPDATE><VERSION=1.0.0.1>", posted.sink());
    EXPECT_EQ(e.type, update::kItemImeMain);
    EXPECT_EQ(text_of(e.name), u"ime");
    EXPECT_EQ(e.new_version, make_version(1, 0, 0, 1));
    // "SIZE", the empty key, "NAME " and " TYPE": keys are not trimmed.
    EXPECT_EQ(posted.messages, std::vector<std::u16string>(4, u"未知的更新标识！"));
    // Without a sink nothing is posted and nothing breaks.
    EXPECT_EQ(parse_update_line(u"<SIZE=1><NAME=a>").name[0], u'a');
}

TEST(ListLine, RepeatedKeysOverwriteAndMissingOnesStayZero) {
    const UpdateEntry e = parse_update_line(u"<NAME=a-rather-long-name><NAME=ab><VERSION=2><VERSION=1.1>");
    EXPECT_EQ(text_of(e.name), u"ab");
    for (std::size_t i = 2; i < update::kEntryNameUnits; ++i) EXPECT_EQ(e.name[i], u'\0');
    EXPECT_EQ(e.new_version, make_version(1, 1, 0, 0));
    EXPECT_EQ(e.type, 0);
    EXPECT_EQ(e.package_address[0], u'\0');
}

TEST(ListLine, TextOutsideTagsIsIgnoredAndAnOpenTagEndsTheLine) {
    EXPECT_EQ(text_of(parse_update_line(u"item: <NAME=a> then <VERSION=2> done").name), u"a");
    EXPECT_EQ(parse_update_line(u"item: <NAME=a> then <VERSION=2> done").new_version, make_version(2, 0, 0, 0));
    const UpdateEntry open = parse_update_line(u"<NAME=a><TYPE=UPDATE");
    EXPECT_EQ(text_of(open.name), u"a");
    EXPECT_EQ(open.type, 0);
    // A ">" before the next "<" belongs to no tag.
    EXPECT_EQ(text_of(parse_update_line(u"> <NAME=b>").name), u"b");
    // The tag ends at the first ">", so a value can't hold one.
    EXPECT_EQ(text_of(parse_update_line(u"<NAME=a>b>").name), u"a");
    // A "<" inside a tag is part of it; only the first "=" splits.
    EXPECT_EQ(text_of(parse_update_line(u"<CABURL=http://h/a.cab?x=1&y=<2>").package_address), u"http://h/a.cab?x=1&y=<2");
    const UpdateEntry none = parse_update_line(u"no tags at all");
    EXPECT_EQ(none.type, 0);
    EXPECT_EQ(none.name[0], u'\0');
}

TEST(ListLine, ValuesAreCutToTheirSlots) {
    const std::u16string name(50, u'n');
    const std::u16string path(300, u'p');
    const std::u16string address(200, u'a');
    const UpdateEntry e = parse_update_line(u"<NAME=" + name + u"><CABURL=" + address + u">");
    EXPECT_EQ(text_of(e.name), name.substr(0, 39));
    EXPECT_EQ(text_of(e.package_address), address.substr(0, 127));
    EXPECT_EQ(text_of(parse_update_line(u"<SAVEPATH=" + path + u">").path), path.substr(0, 259));
}

TEST(ListLine, KeysAreCutAt127Characters) {
    Posted posted;
    // A 127-character key is read whole; a longer one is cut, so it matches nothing known either.
    std::u16string line = u"<";
    line.append(127, u'K').append(u"=1><").append(400, u'K').append(u"=1>");
    parse_update_line(line, posted.sink());
    EXPECT_EQ(posted.messages.size(), 2u);
}

TEST(ListLines, BreaksOfAnyKindSeparateAndBlankLinesVanish) {
    const auto entries = parse_update_list(u"<NAME=a>\r\n\r\n\n<NAME=b>\r<NAME=c>\n\r\n<NAME=d>\r\n\r\n");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(text_of(entries[0].name), u"a");
    EXPECT_EQ(text_of(entries[1].name), u"b");
    EXPECT_EQ(text_of(entries[2].name), u"c");
    EXPECT_EQ(text_of(entries[3].name), u"d");
}

TEST(ListLines, LeadingBreaksGiveOneEmptyEntryFirst) {
    const auto entries = parse_update_list(u"\r\n\r\n<NAME=a>");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type, 0);
    EXPECT_EQ(entries[0].name[0], u'\0');
    EXPECT_EQ(text_of(entries[1].name), u"a");
    // A line without tags is an entry too.
    EXPECT_EQ(parse_update_list(u"<NAME=a>\r\njust words\r\n<NAME=b>").size(), 3u);
}

TEST(ListLines, EmptyTextsAndFragmentsOfThreeCharactersOrFewerGiveNothing) {
    for (std::u16string_view text : {u"", u"a", u"<a>", u"\r\n\r"}) EXPECT_TRUE(parse_update_list(text).empty()) << text.size();
    EXPECT_EQ(parse_update_list(u"<ab>").size(), 1u);
    // A final fragment of 3 characters is never read; 4 are.
    EXPECT_EQ(parse_update_list(u"<NAME=a>\r\n<b>").size(), 1u);
    EXPECT_EQ(parse_update_list(u"<NAME=a>\r\n<bc>").size(), 2u);
    // The rule counts characters from where the line would start: breaks
    // before the fragment don't lengthen it.
    EXPECT_EQ(parse_update_list(u"<NAME=a>\n\n\n\nab").size(), 1u);
}

TEST(ListLines, ALineOf600CharactersGivesTwoEntries) {
    const std::u16string first = u"<TYPE=ZME_DRIVE>" + std::u16string(512 - 16, u'x');
    const std::u16string rest = u"<NAME=tail>" + std::u16string(88 - 11, u'y');
    const auto entries = parse_update_list(first + rest + u"\r\n<NAME=next>");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].type, 1);
    EXPECT_EQ(entries[0].name[0], u'\0');
    EXPECT_EQ(entries[1].type, 0);
    EXPECT_EQ(text_of(entries[1].name), u"tail");
    EXPECT_EQ(text_of(entries[2].name), u"next");
}

TEST(ListLines, ALineCutAtTheLimitLosesItsTagAcrossTheCut) {
    // The tag that straddles character 512 is open in the first line and
    // has no "<" in the second.
    const std::u16string line = std::u16string(505, u' ') + u"<NAME=straddle>";
    const auto entries = parse_update_list(line);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name[0], u'\0');
    EXPECT_EQ(entries[1].name[0], u'\0');
}

TEST(ListLines, ALineOfExactly512CharactersKeepsItsBreak) {
    const std::u16string line = u"<NAME=a>" + std::u16string(504, u'z');
    const auto entries = parse_update_list(line + u"\r\n<NAME=b>");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(text_of(entries[0].name), u"a");
    EXPECT_EQ(text_of(entries[1].name), u"b");
}

TEST(ListLines, AZeroUnitSeparatesLinesAndReadingEnds) {
    // A stray zero in the middle of a list ends its line like a break.
    const std::u16string text(u"<NAME=a>\0\0<NAME=b>\0\r\n<NAME=c>", 29);
    const auto entries = parse_update_list(text);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(text_of(entries[2].name), u"c");
    // A text of nothing but zeros gives one empty entry.
    EXPECT_EQ(parse_update_list(std::u16string(100, u'\0')).size(), 1u);
}

TEST(ListFiles, EveryEncodingGivesTheSameEntries) {
    const std::u16string text = kDriverLine + u"\r\n\r\n<TYPE=skin_drive><NAME=码表><VERSION=1.0.0.7>\r\n";
    const Bytes files[] = {with_utf8_mark(utf8_of(text)), utf8_of(text), utf16le_of(text), utf16be_of(text),
                           gbk_of(text)};
    for (const Bytes& file : files) {
        const auto entries = entries_of(file);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].type, 1);
        EXPECT_EQ(text_of(entries[0].name), u"五笔");
        EXPECT_EQ(entries[0].new_version, make_version(2, 5, 0, 1153));
        EXPECT_EQ(entries[1].type, 2);
        EXPECT_EQ(text_of(entries[1].name), u"码表");
        EXPECT_EQ(entries[1].new_version, make_version(1, 0, 0, 7));
    }
}

TEST(ListFiles, Utf16ListsCountTheMarksPlaceTowardsTheFinalFragment) {
    // Three characters after a UTF-16 mark make a length of 4: one line is
    // read, where the same text in UTF-8 gives none.
    Posted posted;
    EXPECT_EQ(entries_of(utf16le_of(u"<a>"), &posted).size(), 1u);
    EXPECT_EQ(posted.messages.size(), 1u);
    EXPECT_EQ(entries_of(utf16be_of(u"<a>")).size(), 1u);
    EXPECT_TRUE(entries_of(utf8_of(u"<a>")).empty());
    EXPECT_TRUE(entries_of(utf16le_of(u"ab")).empty());
    EXPECT_TRUE(entries_of(Bytes{0xFF, 0xFE}).empty());
    EXPECT_TRUE(entries_of(Bytes{0xEF, 0xBB, 0xBF}).empty());
    EXPECT_TRUE(entries_of(Bytes{}).empty());
}

TEST(ListFiles, ATruncatedDownloadReadsWhatArrived) {
    const Bytes whole = with_utf8_mark(utf8_of(kDriverLine + u"\r\n<TYPE=SKIN_DRIVE><NAME=码表>"));
    // Cut inside the last Chinese character: the decoder reads no further
    // than the data, and the NAME tag, having lost its ">", is not stored.
    const Bytes cut(whole.begin(), whole.end() - 2);
    const auto entries = entries_of(cut);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].type, 2);
    EXPECT_EQ(entries[1].name[0], u'\0');
}
