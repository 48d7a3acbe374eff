#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

using app::CommandArguments;
using app::parse_arguments;

namespace {

std::u16string repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

}  // namespace

TEST(CommandGrammar, UninstallWithFilePart) {
    const CommandArguments a = parse_arguments(u"-u name=[Zinzin IME] file=C:\\setup.exe");
    EXPECT_EQ(a.mode, u'U');
    EXPECT_EQ(a.product_name, u"Zinzin IME");
    EXPECT_EQ(a.source_path, u"C:\\setup.exe");
}

TEST(CommandGrammar, EverySpellingOfEverySwitch) {
    const struct {
        const char16_t* text;
        char16_t mode;
    } cases[] = {
        {u"-u name=[X]", u'U'}, {u"-U name=[X]", u'U'}, {u"/u name=[X]", u'U'}, {u"/U name=[X]", u'U'},
        {u"-r name=[X]", u'R'}, {u"-R name=[X]", u'R'}, {u"/r name=[X]", u'R'}, {u"/R name=[X]", u'R'},
        {u"-g name=[X]", u'G'}, {u"-G name=[X]", u'G'}, {u"/g name=[X]", u'G'}, {u"/G name=[X]", u'G'},
    };
    for (const auto& c : cases) {
        const CommandArguments a = parse_arguments(c.text);
        EXPECT_EQ(a.mode, c.mode) << std::string(c.text, c.text + 11);
        EXPECT_EQ(a.product_name, u"X");
        EXPECT_TRUE(a.source_path.empty());
    }
}

TEST(CommandGrammar, NearMissesAreAnInstall) {
    for (const char16_t* text : {u"- r name=[X]", u"-u name = [X]", u"-u name=X", u"-u  name=[X]",
                                 u"-x name=[X]", u"\\u name=[X]", u"-u NAME=[X]", u"", u"   ",
                                 u"FILE=C:\\a.exe"}) {
        const CommandArguments a = parse_arguments(text);
        EXPECT_EQ(a.mode, 0);
        EXPECT_TRUE(a.product_name.empty());
        EXPECT_TRUE(a.source_path.empty());
    }
}

TEST(CommandGrammar, LaterFamilyWinsOverEarlierOne) {
    CommandArguments a = parse_arguments(u"-u name=[A] -g name=[B]");
    EXPECT_EQ(a.mode, u'G');
    EXPECT_EQ(a.product_name, u"B");

    a = parse_arguments(u"-u name=[A] -r name=[B]");
    EXPECT_EQ(a.mode, u'R');
    EXPECT_EQ(a.product_name, u"B");

    // Position in the string does not matter: update beats uninstall even
    // when it comes first, and its name runs to the last bracket.
    a = parse_arguments(u"-g name=[G] -u name=[U]");
    EXPECT_EQ(a.mode, u'G');
    EXPECT_EQ(a.product_name, u"G] -u name=[U");
}

TEST(CommandGrammar, WithinAFamilyTheSpellingOrderDecides) {
    const CommandArguments a = parse_arguments(u"/u name=[A] -u name=[B]");
    EXPECT_EQ(a.mode, u'U');
    EXPECT_EQ(a.product_name, u"B");
    EXPECT_EQ(parse_arguments(u"/G name=[A] -G name=[B]").product_name, u"B");
    EXPECT_EQ(parse_arguments(u"/R name=[A] /r name=[B]").product_name, u"B");
}

TEST(CommandGrammar, FirstOccurrenceOfTheTokenIsUsed) {
    // "-u name=[A]" and later "-u name=[B]": the search stops at the first.
    const CommandArguments a = parse_arguments(u"-u name=[A] -u name=[B]");
    EXPECT_EQ(a.product_name, u"A] -u name=[B");
}

TEST(CommandGrammar, NameEndsAtTheLastBracketItMayHoldMore) {
    EXPECT_EQ(parse_arguments(u"-u name=[a]b] file=x").product_name, u"a]b");
    EXPECT_EQ(parse_arguments(u"-u name=[紫金 拼音]").product_name, u"紫金 拼音");
    EXPECT_EQ(parse_arguments(u"-u name=[]").product_name, u"");
    EXPECT_EQ(parse_arguments(u"-u name=[]").mode, u'U');
    EXPECT_EQ(parse_arguments(u"-u name=[").product_name, u"");
}

TEST(CommandGrammar, NameWithoutClosingBracketRunsOn) {
    CommandArguments a = parse_arguments(u"-u name=[A file=C:\\x.exe");
    EXPECT_EQ(a.mode, u'U');
    EXPECT_EQ(a.product_name, u"A file=C:\\x.exe");

    // Runs on to 39 units and ends at the last "]" inside them.
    a = parse_arguments(u"-u name=[A -g name=[B] -- tail text that goes on and on");
    EXPECT_EQ(a.mode, u'G');  // the update switch is still seen
    EXPECT_EQ(a.product_name, u"B");
    a = parse_arguments(u"-u name=[A [x] and more text to reach past the limit ]");
    EXPECT_EQ(a.mode, u'U');
    EXPECT_EQ(a.product_name, u"A [x");
}

TEST(CommandGrammar, LongNameIsCutAt39Units) {
    const std::u16string forty = repeat(u'n', 40);
    EXPECT_EQ(parse_arguments(u"-g name=[" + forty + u"]").product_name, repeat(u'n', 39));
    const std::u16string thirty_nine = repeat(u'n', 39);
    EXPECT_EQ(parse_arguments(u"-g name=[" + thirty_nine + u"]").product_name, thirty_nine);
    // The closing bracket as the 40th unit is outside the cut: the name is
    // the 39 units as they are.
    EXPECT_EQ(parse_arguments(u"-g name=[" + thirty_nine + u"]tail").product_name, thirty_nine);
    // A "]" inside the first 39 units ends the name there.
    EXPECT_EQ(parse_arguments(u"-g name=[" + repeat(u'n', 38) + u"]" + repeat(u'm', 10)).product_name,
              repeat(u'n', 38));
}

TEST(CommandGrammar, FilePath) {
    CommandArguments a = parse_arguments(u" file=C:\\Users\\me\\Downloads\\setup.exe");
    EXPECT_EQ(a.mode, 0);
    EXPECT_TRUE(a.product_name.empty());
    EXPECT_EQ(a.source_path, u"C:\\Users\\me\\Downloads\\setup.exe");

    // Cut at the last "]" it holds.
    a = parse_arguments(u"file=D:\\[set]up\\a.exe] x] y");
    EXPECT_EQ(a.source_path, u"D:\\[set]up\\a.exe] x");
    // Spaces are part of the path; nothing is unquoted.
    EXPECT_EQ(parse_arguments(u"file=\"C:\\a b\\c.exe\"").source_path, u"\"C:\\a b\\c.exe\"");
    EXPECT_EQ(parse_arguments(u"file=").source_path, u"");
    // The relaunch puts "file=" after the user's switch: both are read.
    a = parse_arguments(u"-r name=[Zinzin IME] file=E:\\setup.exe");
    EXPECT_EQ(a.mode, u'R');
    EXPECT_EQ(a.product_name, u"Zinzin IME");
    EXPECT_EQ(a.source_path, u"E:\\setup.exe");
}

TEST(CommandGrammar, OnlyTheFirst259UnitsCount) {
    // The running copy keeps 259 units of its argument string: a switch
    // beyond them is never seen, and a name reaching across the end is cut.
    const std::u16string pad = repeat(u' ', 259);
    EXPECT_EQ(parse_arguments(pad + u"-u name=[A]").mode, 0);

    const std::u16string near_end = repeat(u' ', 259 - 12) + u"-u name=[ABCDEF]";
    const CommandArguments a = parse_arguments(near_end);
    EXPECT_EQ(a.mode, u'U');
    EXPECT_EQ(a.product_name, u"ABC");

    const std::u16string file = u"-u name=[P] file=" + repeat(u'p', 300);
    const CommandArguments b = parse_arguments(file);
    EXPECT_EQ(b.product_name, u"P");
    EXPECT_EQ(b.source_path, repeat(u'p', 259 - 17));
}

TEST(CommandGrammar, EmbeddedNulEndsTheString) {
    const std::u16string text(u"file=C:\\a.exe\0 -u name=[X]", 27);
    const CommandArguments a = parse_arguments(text);
    EXPECT_EQ(a.mode, 0);
    EXPECT_EQ(a.source_path, u"C:\\a.exe");
}

TEST(CommandGrammar, KeyPathsAreCutAt79Units) {
    EXPECT_EQ(app::vendor_key_path(u"Zinzin IME"), u"Software\\marlix\\Zinzin IME");
    EXPECT_EQ(app::uninstall_key_path(u"Zinzin IME"),
              u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zinzin IME");
    // An empty name names the parent key itself, with its backslash.
    EXPECT_EQ(app::vendor_key_path(u""), u"Software\\marlix\\");
    const std::u16string name = repeat(u'x', 39);
    EXPECT_EQ(app::uninstall_key_path(name).size(), 79u);
    EXPECT_EQ(app::uninstall_key_path(name),
              u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + repeat(u'x', 79 - 52));
    EXPECT_EQ(app::vendor_key_path(name).size(), 16u + 39u);
}
