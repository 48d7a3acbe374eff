#include "package/stored_name.h"

#include <gtest/gtest.h>

#include <string>

using package::is_contained_name;

namespace {

TEST(StoredName, PlainNamesAndSubfoldersAreInside) {
    EXPECT_TRUE(is_contained_name(u"a.txt"));
    EXPECT_TRUE(is_contained_name(u"sub\\deeper\\b.txt"));
    EXPECT_TRUE(is_contained_name(u"sub/b.txt"));
    EXPECT_TRUE(is_contained_name(u"\u4E2D\u6587\\\u00E9.txt"));
    // Dots inside or around a name are ordinary characters.
    EXPECT_TRUE(is_contained_name(u"..a"));
    EXPECT_TRUE(is_contained_name(u"a..b\\.profile"));
    EXPECT_TRUE(is_contained_name(u"console.txt"));
    EXPECT_TRUE(is_contained_name(u"COM10"));
    EXPECT_TRUE(is_contained_name(u"nullable\\LPT0.txt"));
}

TEST(StoredName, RootsDrivesAndStreamsAreRefused) {
    for (const std::u16string name : {u"", u"\\a.txt", u"/a.txt", u"\\\\server\\share\\a.txt", u"\\\\?\\C:\\a.txt",
                                      u"C:\\a.txt", u"C:a.txt", u"c:/a.txt", u"a.txt:stream", u"sub\\a.txt::$DATA",
                                      u"Z:"}) {
        EXPECT_FALSE(is_contained_name(name)) << std::string(name.begin(), name.end());
    }
}

TEST(StoredName, ParentStepsAreRefusedWhereverTheyStand) {
    for (const std::u16string name : {u"..", u"..\\a.txt", u"../a.txt", u"sub\\..\\..\\a.txt", u"sub/../../a.txt",
                                      u"sub\\..", u"...\\a.txt", u".. \\a.txt", u". .\\a.txt", u".\\a.txt",
                                      u"sub\\.\\a.txt"}) {
        EXPECT_FALSE(is_contained_name(name)) << std::string(name.begin(), name.end());
    }
}

TEST(StoredName, EmptyPartsAndTrailingSeparatorsAreRefused) {
    EXPECT_FALSE(is_contained_name(u"sub\\\\a.txt"));
    EXPECT_FALSE(is_contained_name(u"sub//a.txt"));
    EXPECT_FALSE(is_contained_name(u"sub\\"));
    EXPECT_FALSE(is_contained_name(u"sub/"));
}

TEST(StoredName, DeviceNamesAreRefused) {
    for (const std::u16string name : {u"CON", u"con", u"nul.txt", u"sub\\AUX", u"PRN.log", u"COM1", u"lpt9.dat",
                                      u"NUL \\a.txt", u"CONOUT$", u"conin$.x"}) {
        EXPECT_FALSE(is_contained_name(name)) << std::string(name.begin(), name.end());
    }
}

}  // namespace
