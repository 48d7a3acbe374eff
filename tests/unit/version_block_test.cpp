// Rewriting one String of a version resource. The tests build resources
// with their own small writer and read results back with a strict reader
// that refuses any block reaching outside its parent.
#include "support/version_block.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using support::replace_version_string;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Node {
    std::u16string key;
    std::uint16_t type = 1;
    std::uint16_t value_length = 0;
    Bytes value;
    std::vector<Node> children;
    // Filled by the reader.
    std::size_t start = 0;
    std::size_t length = 0;
};

void put16(Bytes& out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void pad(Bytes& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}
std::uint16_t get16(const Bytes& in, std::size_t at) {
    return static_cast<std::uint16_t>(in[at] | (in[at + 1] << 8));
}

Node text(std::u16string key, std::u16string value) {
    Node node{std::move(key), 1, static_cast<std::uint16_t>(value.size() + 1), {}, {}};
    for (char16_t unit : value) put16(node.value, unit);
    put16(node.value, 0);
    return node;
}
Node group(std::u16string key, std::vector<Node> children) {
    return Node{std::move(key), 1, 0, {}, std::move(children)};
}
Node root(std::vector<Node> children) {
    Node node{u"VS_VERSION_INFO", 0, 52, Bytes(52, 0), std::move(children)};
    node.value[0] = 0xBD;  // the fixed information's signature, 0xFEEF04BD
    node.value[1] = 0x04;
    node.value[2] = 0xEF;
    node.value[3] = 0xFE;
    return node;
}
Node translation(std::uint16_t language, std::uint16_t code_page) {
    Node node{u"Translation", 0, 4, {}, {}};
    put16(node.value, language);
    put16(node.value, code_page);
    return node;
}

// Writes a block the way resource compilers do: the length counts the
// block with its children but not the padding after the last one.
void write(const Node& node, Bytes& out) {
    const std::size_t start = out.size();
    put16(out, 0);
    put16(out, node.value_length);
    put16(out, node.type);
    for (char16_t unit : node.key) put16(out, unit);
    put16(out, 0);
    pad(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const Node& child : node.children) {
        pad(out);
        write(child, out);
    }
    const std::size_t length = out.size() - start;
    out[start] = static_cast<std::uint8_t>(length & 0xFF);
    out[start + 1] = static_cast<std::uint8_t>(length >> 8);
}
Bytes write(const Node& node) {
    Bytes out;
    write(node, out);
    return out;
}

// Strict reader: every child lies inside its parent, every key ends.
Node read(const Bytes& in, std::size_t at, std::size_t limit) {
    Node node;
    node.start = at;
    EXPECT_LE(at + 6, limit);
    if (at + 6 > limit) return node;
    node.length = get16(in, at);
    node.value_length = get16(in, at + 2);
    node.type = get16(in, at + 4);
    const std::size_t end = at + node.length;
    EXPECT_LE(end, limit) << "block at " << at << " leaves its parent";
    if (end > limit) return node;
    std::size_t p = at + 6;
    for (; p + 1 < end && get16(in, p) != 0; p += 2) node.key.push_back(get16(in, p));
    p = (p + 2 + 3) & ~std::size_t{3};
    const std::size_t value_bytes = node.type == 1 ? node.value_length * 2u : node.value_length;
    node.value.assign(in.begin() + static_cast<std::ptrdiff_t>(std::min(p, end)),
                      in.begin() + static_cast<std::ptrdiff_t>(std::min(p + value_bytes, end)));
    for (p = (p + value_bytes + 3) & ~std::size_t{3}; p < end; p = (node.children.back().start + node.children.back().length + 3) & ~std::size_t{3}) {
        node.children.push_back(read(in, p, end));
        if (node.children.back().length < 6) break;
    }
    return node;
}
Node read(const Bytes& in) { return read(in, 0, in.size()); }

std::u16string text_of(const Node& node) {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < node.value.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(node.value[i] | (node.value[i + 1] << 8));
        if (unit == 0) break;
        out.push_back(unit);
    }
    return out;
}

const Node& child(const Node& node, std::u16string_view key) {
    for (const Node& c : node.children)
        if (c.key == key) return c;
    ADD_FAILURE() << "no child keyed " << std::string(key.begin(), key.end());
    static const Node none;
    return none;
}

Node chinese_file() {
    return root({group(u"StringFileInfo", {group(u"080404b0", {text(u"CompanyName", u"Abcd"),
                                                                text(u"FileDescription", u"Input method"),
                                                                text(u"FileVersion", u"1.2.3.4"),
                                                                text(u"Comments", u"abcd")})}),
                 group(u"VarFileInfo", {translation(0x0804, 1200)})});
}

// What the system hands out: the resource and more bytes after it.
Bytes as_read_from_file(const Node& resource) {
    Bytes info = write(resource);
    info.insert(info.end(), 40, 0xAA);
    return info;
}

}  // namespace

TEST(VersionBlock, GrowingAStringGrowsEachEnclosingLengthByThePaddedDifference) {
    const Bytes info = as_read_from_file(chinese_file());
    const Node before = read(write(chinese_file()));
    const auto out = replace_version_string(info, u"CompanyName", u"Abcdefghi");
    ASSERT_TRUE(out);
    const Node after = read(*out);

    EXPECT_EQ(out->size(), after.length);
    EXPECT_EQ(after.length, before.length + 8);
    const Node& file_info = child(after, u"StringFileInfo");
    const Node& table = child(file_info, u"080404b0");
    EXPECT_EQ(file_info.length, child(before, u"StringFileInfo").length + 8);
    EXPECT_EQ(table.length, child(child(before, u"StringFileInfo"), u"080404b0").length + 8);
    const Node& company = child(table, u"CompanyName");
    EXPECT_EQ(company.length, 52u);  // was 42
    EXPECT_EQ(company.value_length, 10u);
    EXPECT_EQ(text_of(company), u"Abcdefghi");
    // Everything after it moved whole.
    EXPECT_EQ(text_of(child(table, u"FileDescription")), u"Input method");
    EXPECT_EQ(text_of(child(table, u"Comments")), u"abcd");
    EXPECT_EQ(child(child(after, u"VarFileInfo"), u"Translation").value, Bytes({0x04, 0x08, 0xB0, 0x04}));
}

TEST(VersionBlock, TextOfTheSamePaddedSizeChangesNoEnclosingLength) {
    const Bytes original = write(chinese_file());
    const Node before = read(original);

    const auto same_length = replace_version_string(as_read_from_file(chinese_file()), u"CompanyName", u"Wxyz");
    ASSERT_TRUE(same_length);
    ASSERT_EQ(same_length->size(), original.size());
    const Node after = read(*same_length);
    EXPECT_EQ(text_of(child(child(child(after, u"StringFileInfo"), u"080404b0"), u"CompanyName")), u"Wxyz");

    // Five characters fill the padding the four left.
    const auto five = replace_version_string(original, u"CompanyName", u"Abcde");
    ASSERT_TRUE(five);
    const Node grown = read(*five);
    EXPECT_EQ(grown.length, before.length);
    EXPECT_EQ(child(grown, u"StringFileInfo").length, child(before, u"StringFileInfo").length);
    const Node& table = child(child(grown, u"StringFileInfo"), u"080404b0");
    EXPECT_EQ(table.length, child(child(before, u"StringFileInfo"), u"080404b0").length);
    EXPECT_EQ(child(table, u"CompanyName").length, 44u);
    EXPECT_EQ(text_of(child(table, u"CompanyName")), u"Abcde");
}

TEST(VersionBlock, SameTextGivesTheSameBytes) {
    const Bytes original = write(chinese_file());
    const auto out = replace_version_string(as_read_from_file(chinese_file()), u"Comments", u"abcd");
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, original);
}

TEST(VersionBlock, TheLastStringOfATableEndsItsParentsExactly) {
    const Node before = read(write(chinese_file()));
    // "abcd" ends 2 bytes short of a boundary, "xyz" on one: a parent that
    // only moved by the padded difference would cut the new terminator off.
    const auto shorter = replace_version_string(write(chinese_file()), u"Comments", u"xyz");
    ASSERT_TRUE(shorter);
    const Node after = read(*shorter);
    const Node& file_info = child(after, u"StringFileInfo");
    const Node& table = child(file_info, u"080404b0");
    const Node& comments = child(table, u"Comments");
    EXPECT_EQ(comments.length, 32u);
    EXPECT_EQ(table.start + table.length, comments.start + comments.length);
    EXPECT_EQ(file_info.start + file_info.length, comments.start + comments.length);
    EXPECT_EQ(after.length, before.length - 4);
    EXPECT_EQ(text_of(comments), u"xyz");
    EXPECT_EQ(child(child(after, u"VarFileInfo"), u"Translation").value, Bytes({0x04, 0x08, 0xB0, 0x04}));

    const auto longer = replace_version_string(write(chinese_file()), u"Comments", u"a longer comment");
    ASSERT_TRUE(longer);
    const Node grown = read(*longer);
    const Node& grown_table = child(child(grown, u"StringFileInfo"), u"080404b0");
    const Node& grown_comments = child(grown_table, u"Comments");
    EXPECT_EQ(grown_table.start + grown_table.length, grown_comments.start + grown_comments.length);
    EXPECT_EQ(text_of(grown_comments), u"a longer comment");
}

TEST(VersionBlock, EveryMatchingStringIsReplaced) {
    const Node two_tables =
        root({group(u"StringFileInfo", {group(u"080404b0", {text(u"CompanyName", u"Zh Co"), text(u"X", u"1")}),
                                         group(u"040904b0", {text(u"X", u"2"), text(u"CompanyName", u"En Company")})}),
              group(u"VarFileInfo", {translation(0x0804, 1200), translation(0x0409, 1200)})});
    const Node before = read(write(two_tables));
    const auto out = replace_version_string(as_read_from_file(two_tables), u"CompanyName", u"紫金软件有限公司");
    ASSERT_TRUE(out);
    const Node after = read(*out);
    const Node& file_info = child(after, u"StringFileInfo");
    const Node& zh = child(file_info, u"080404b0");
    const Node& en = child(file_info, u"040904b0");
    EXPECT_EQ(text_of(child(zh, u"CompanyName")), u"紫金软件有限公司");
    EXPECT_EQ(text_of(child(en, u"CompanyName")), u"紫金软件有限公司");
    EXPECT_EQ(text_of(child(zh, u"X")), u"1");
    EXPECT_EQ(text_of(child(en, u"X")), u"2");
    EXPECT_EQ(en.start + en.length, child(en, u"CompanyName").start + child(en, u"CompanyName").length);
    // 5 -> 8 characters (padded +8) and 10 -> 8 characters (padded -4).
    EXPECT_EQ(zh.length, child(child(before, u"StringFileInfo"), u"080404b0").length + 8);
    EXPECT_EQ(after.length, before.length + 4);
    EXPECT_EQ(child(after, u"VarFileInfo").children.size(), 2u);
}

TEST(VersionBlock, MissingKeyGivesNothing) {
    const Bytes info = write(chinese_file());
    EXPECT_FALSE(replace_version_string(info, u"ProductName", u"x"));
    EXPECT_FALSE(replace_version_string(info, u"companyname", u"x"));  // case matters
    EXPECT_FALSE(replace_version_string(info, u"Translation", u"x"));  // not a String of a table
    const Node no_strings = root({group(u"VarFileInfo", {translation(0x0804, 1200)})});
    EXPECT_FALSE(replace_version_string(write(no_strings), u"CompanyName", u"x"));
}

TEST(VersionBlock, TextStopsAtItsFirstNulAndHugeResultsAreRefused) {
    const auto out = replace_version_string(write(chinese_file()), u"CompanyName", std::u16string(u"New\0Tail", 8));
    ASSERT_TRUE(out);
    EXPECT_EQ(text_of(child(child(child(read(*out), u"StringFileInfo"), u"080404b0"), u"CompanyName")), u"New");

    EXPECT_FALSE(replace_version_string(write(chinese_file()), u"CompanyName", std::u16string(40000, u'x')));
}

TEST(VersionBlock, DamagedBlocksAreRefused) {
    const Bytes good = write(chinese_file());
    for (std::size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(replace_version_string(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)),
                                            u"Comments", u"x"))
            << "cut at " << cut;

    Bytes child_too_long = good;
    const Node parsed = read(good);
    const Node& table = child(child(parsed, u"StringFileInfo"), u"080404b0");
    child_too_long[table.children[0].start] = 0xF0;  // CompanyName claims more than its table holds
    EXPECT_FALSE(replace_version_string(child_too_long, u"CompanyName", u"x"));

    Bytes endless_key = good;
    const std::size_t key_start = table.start + 6;
    for (std::size_t i = key_start; i < table.start + table.length; i += 2) endless_key[i] = 'k';
    EXPECT_FALSE(replace_version_string(endless_key, u"CompanyName", u"x"));
}

TEST(VersionBlock, RandomDamageNeverReadsOutside) {
    const Bytes good = write(chinese_file());
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = good;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < flips; ++i) damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
        const auto out = replace_version_string(damaged, u"Comments", u"fuzz");
        if (out) {
            EXPECT_LE(out->size(), 0xFFFFu);
        }
    }
}
