#include "support/version_number.h"

#include <gtest/gtest.h>

#include <string>

using support::format_file_version;
using support::make_version;
using support::ParseVersion;

namespace {
std::u16string version_text(support::VersionNumber v) {
    char16_t out[support::kVersionTextUnits];
    format_file_version(out, v);
    return out;
}
}  // namespace

TEST(ParseVersion, ReadsFourDottedParts) {
    EXPECT_EQ(ParseVersion(u"1.2.3.4"), make_version(1, 2, 3, 4));
    EXPECT_EQ(ParseVersion(u"65535.0.0.65535"), make_version(65535, 0, 0, 65535));
}

TEST(ParseVersion, MissingPartsAreZeroAndOddTextIsTolerated) {
    EXPECT_EQ(ParseVersion(u"1.2"), make_version(1, 2, 0, 0));
    EXPECT_EQ(ParseVersion(u""), 0u);
    EXPECT_EQ(ParseVersion(u"abc"), 0u);
    // Commas are not separators: only the first number counts.
    EXPECT_EQ(ParseVersion(u"2, 5, 0, 1153"), make_version(2, 0, 0, 0));
    EXPECT_EQ(ParseVersion(u"  7.x.3"), make_version(7, 0, 3, 0));
    EXPECT_EQ(ParseVersion(u"1.2.3.4.5"), make_version(1, 2, 3, 4));
}

TEST(ParseVersion, PartsWrapModulo65536) {
    EXPECT_EQ(ParseVersion(u"65536.65537.1.1"), make_version(0, 1, 1, 1));
    EXPECT_EQ(ParseVersion(u"-1.0"), make_version(0xFFFF, 0, 0, 0));
}

TEST(ParseVersion, NewerComparesLarger) {
    EXPECT_LT(ParseVersion(u"1.9.9.9"), ParseVersion(u"2.0.0.0"));
    EXPECT_LT(ParseVersion(u"2.5.0.1153"), ParseVersion(u"2.5.0.1154"));
}

TEST(FormatFileVersion, ClearsLowBitsOfTheThirdNumber) {
    EXPECT_EQ(version_text(make_version(1, 2, 17, 4)), u"1.2.16.4");
    EXPECT_EQ(version_text(make_version(2, 5, 0, 1153)), u"2.5.0.1153");
    EXPECT_EQ(version_text(make_version(65535, 65535, 65535, 65535)), u"65535.65535.65520.65535");
    EXPECT_EQ(version_text(0), u"0.0.0.0");
}
