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

// ---- the switches of runs without a person

using app::scan_switches;

TEST(RunSwitches, EverySwitchInEitherPrefixAndAnyCase) {
    const app::RunSwitches s = scan_switches(
        u"/S -AcceptEula /closeapplications /log=[C:\\logs\\a b.log] -dir=[D:\\IME x] /owner=[张三] /COMPANY=[Acme]");
    EXPECT_TRUE(s.bad.empty()) << std::string(s.bad.begin(), s.bad.end());
    EXPECT_TRUE(s.silent && s.accept_licence && s.end_holders);
    EXPECT_FALSE(s.help);
    EXPECT_EQ(s.log_path, u"C:\\logs\\a b.log");
    EXPECT_EQ(s.install_dir, u"D:\\IME x");
    EXPECT_EQ(s.owner, u"张三");
    EXPECT_EQ(s.company, u"Acme");
    for (const char16_t* quiet : {u"/quiet", u"-silent", u"/s", u"--QUIET"}) EXPECT_TRUE(scan_switches(quiet).silent);
    for (const char16_t* help : {u"/?", u"-h", u"--help", u"/Help"}) EXPECT_TRUE(scan_switches(help).help);
    // A value may hold "]" where no whitespace follows it.
    EXPECT_EQ(scan_switches(u"/dir=[D:\\a]b\\c] /S").install_dir, u"D:\\a]b\\c");
}

TEST(RunSwitches, TheModeGrammarSeesTheRestWithSwitchesBlanked) {
    const std::u16string text = u"/S /log=[C:\\x.log] -u name=[Zinzin IME] file=C:\\setup.exe";
    const app::RunSwitches s = scan_switches(text);
    EXPECT_TRUE(s.silent);
    ASSERT_EQ(s.rest.size(), text.size());
    EXPECT_EQ(s.rest.find(u"/S"), std::u16string::npos);
    EXPECT_EQ(s.rest.find(u"log"), std::u16string::npos);
    const CommandArguments a = parse_arguments(s.rest);
    EXPECT_EQ(a.mode, u'U');
    EXPECT_EQ(a.product_name, u"Zinzin IME");
    EXPECT_EQ(a.source_path, u"C:\\setup.exe");
    // After the name, with no other bracket close enough to reach.
    EXPECT_TRUE(scan_switches(u"-u name=[Zinzin IME] /S file=C:\\setup.exe").silent);
    // A value holding the other parts' tokens hides them from the grammar.
    const app::RunSwitches hidden = scan_switches(u"/log=[C:\\file=x\\-g name=[y].log] /S");
    EXPECT_EQ(hidden.log_path, u"C:\\file=x\\-g name=[y].log");
    EXPECT_EQ(parse_arguments(hidden.rest).mode, 0);
    EXPECT_TRUE(parse_arguments(hidden.rest).source_path.empty());
}

TEST(RunSwitches, NamesAndPathsNeverTriggerASwitch) {
    // Product names as an uninstall entry puts them between brackets.
    for (const char16_t* text :
         {u"\"C:\\IME\\Unstall.exe\" -u name=[x /S y]", u"-u name=[x /log=[C:\\evil] y]",
          u"-r name=[a /dir=[D:\\] b]", u"-g name=[--help]", u"/U name=[-S /quiet"}) {
        const app::RunSwitches s = scan_switches(text);
        EXPECT_TRUE(s.bad.empty()) << std::string(s.bad.begin(), s.bad.end());
        EXPECT_FALSE(s.silent || s.help);
        EXPECT_TRUE(s.log_path.empty() && s.install_dir.empty());
        EXPECT_EQ(s.rest, std::u16string(text));
    }
    // The started program's path after "file=" (the relaunch appends it).
    for (const char16_t* text : {u"file=C:\\a /S b\\setup.exe", u"-u name=[X] file=D:\\x -h\\/log=[y]\\setup.exe"}) {
        const app::RunSwitches s = scan_switches(text);
        EXPECT_TRUE(s.bad.empty());
        EXPECT_FALSE(s.silent || s.help);
        EXPECT_TRUE(s.log_path.empty());
    }
    // Inside a word, a switch is no switch.
    EXPECT_FALSE(scan_switches(u"setup/S").silent);
    EXPECT_FALSE(scan_switches(u"a-quiet").silent);
}

TEST(RunSwitches, ANameThatWouldSwallowASwitchIsRefused) {
    // By the name rule (up to the last "]" in 39 units) the name would run
    // over the switches: refused, never half read.
    const app::RunSwitches s = scan_switches(u"-u name=[Zinzin IME] /S /log=[C:\\x.log]");
    EXPECT_EQ(s.bad, u"-u name=[Zinzin IME] /S /log=[C:\\x.log]");
    EXPECT_FALSE(s.silent);
    EXPECT_FALSE(scan_switches(u"-u name=[x] /S [y]").bad.empty());
    EXPECT_FALSE(scan_switches(u"-u name=[x] /S [y]").silent);
    // A 39-unit name is cut before its closing bracket: the name rule ends
    // it at its own "]", and what follows must not become a switch.
    const std::u16string cut = u"-u name=[a] /S " + repeat(u'x', 39 - 7) + u"]";
    EXPECT_FALSE(scan_switches(cut).bad.empty());
    EXPECT_FALSE(scan_switches(cut).silent);
    // A bracket within 39 units of the name, even in the "file=" path,
    // ends the name there by the name rule: what lies before it is the
    // name's, never a switch.
    EXPECT_FALSE(scan_switches(u"-u name=[X] /S file=C:\\a]b\\setup.exe").silent);
    EXPECT_EQ(parse_arguments(u"-u name=[X] /S file=C:\\a]b\\setup.exe").product_name, u"X] /S file=C:\\a");
    EXPECT_FALSE(scan_switches(u"-u name=[X] /S file=C:\\Users\\someone\\Downloads\\z]\\setup.exe").bad.empty());
    // A name that holds "file=" and then a switch with a value.
    EXPECT_FALSE(scan_switches(u"-u name=[a] /dir=[x file=y] z] file=C:\\x.exe").bad.empty());
    EXPECT_TRUE(scan_switches(u"-u name=[a] /dir=[x file=y] z] file=C:\\x.exe").install_dir.empty());
    // Switches before the mode switch are never in doubt.
    EXPECT_TRUE(scan_switches(u"/S -u name=[X] file=C:\\a]b\\setup.exe").silent);
    // A "]" inside a name without a switch after it is still a name.
    EXPECT_TRUE(scan_switches(u"-u name=[a]b]").bad.empty());
    EXPECT_TRUE(scan_switches(u"-u name=[a] and b]").bad.empty());
}

TEST(RunSwitches, UnknownAndMalformedSwitchesAreNamed) {
    const struct {
        const char16_t* text;
        const char16_t* bad;
    } cases[] = {
        {u"/verysilent", u"/verysilent"},
        {u"/S /x", u"/x"},
        {u"-u", u"-u"},
        {u"/S- ", u"/S-"},
        {u"/log=C:\\x.log", u"/log=C:\\x.log"},
        {u"/log=[C:\\x.log", u"/log=[C:\\x.log"},
        {u"/dir=[]", u"/dir=[]"},
        {u"/owner=[a]b", u"/owner=[a]b"},
        {u"--", u"--"},
        {u"/", u"/"},
    };
    for (const auto& c : cases) {
        const app::RunSwitches s = scan_switches(c.text);
        EXPECT_EQ(s.bad, std::u16string(c.bad)) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    }
    EXPECT_FALSE(scan_switches(u"/dir=[" + repeat(u'd', 260) + u"]").bad.empty());
    EXPECT_TRUE(scan_switches(u"/dir=[" + repeat(u'd', 259) + u"]").bad.empty());
    EXPECT_FALSE(scan_switches(u"/owner=[" + repeat(u'o', 256) + u"]").bad.empty());
    // Words that aren't switches are ignored, as the grammar always did.
    EXPECT_TRUE(scan_switches(u"hello x -u name=[X]").bad.empty());
    // A NUL ends the string.
    EXPECT_FALSE(scan_switches(std::u16string(u"a\0/S", 4)).silent);
}

TEST(RunLock, OneNamePerProductThatNoNameCanSteer) {
    const std::u16string zinzin = app::run_lock_name(u"Zinzin IME");
    EXPECT_EQ(zinzin, app::run_lock_name(u"Zinzin IME"));
    EXPECT_EQ(zinzin.size(), 15u + 16u);
    EXPECT_EQ(zinzin.substr(0, 15), u"ZinzinImeSetup-");
    for (const char16_t* other : {u"Zinzin IME ", u"zinzin IME", u"", u"Global\\x", u"..\\..\\BaseNamedObjects\\y",
                                  u"紫金拼音"}) {
        const std::u16string name = app::run_lock_name(other);
        EXPECT_NE(name, zinzin);
        EXPECT_EQ(name.size(), 31u);
        EXPECT_EQ(name.substr(0, 15), u"ZinzinImeSetup-");
        EXPECT_EQ(name.find_first_not_of(u"0123456789abcdef", 15), std::u16string::npos);
    }
}
