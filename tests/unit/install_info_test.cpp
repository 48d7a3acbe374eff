#include "package/install_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

using package::InstallInfo;

TEST(InstallInfo, LoadsAFullRecordFieldByField) {
    std::vector<std::uint8_t> bytes(package::kInstallInfoSize + 10, 0xCC);  // extra bytes are ignored
    std::memset(bytes.data(), 0, package::kInstallInfoSize);
    const auto put_text = [&](std::size_t offset, const std::u16string& text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            bytes[offset + 2 * i] = static_cast<std::uint8_t>(text[i]);
            bytes[offset + 2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
        }
    };
    put_text(0x000, u"demo");
    put_text(0x0A0, u"演示输入法");
    bytes[0x0F0] = 0x20;
    bytes[0x0F1] = 0x18;  // 0x1820, little-endian
    put_text(0x864, u"readme.txt");
    bytes[package::kInstallInfoSize - 1] = 0x7F;

    const InstallInfo info = package::load_install_info(bytes);
    EXPECT_EQ(std::u16string(info.ime_name), u"demo");
    EXPECT_EQ(std::u16string(info.display_name), u"演示输入法");
    EXPECT_EQ(info.shortcut_flags, 0x1820u);
    EXPECT_EQ(std::u16string(info.post_install_open), u"readme.txt");
}

TEST(InstallInfo, TextFillingItsSlotIsCutToTerminate) {
    // Every byte non-zero: no slot holds a NUL of its own.
    const std::vector<std::uint8_t> bytes(package::kInstallInfoSize, 0x41);
    const InstallInfo info = package::load_install_info(bytes);
    EXPECT_EQ(std::u16string(info.ime_name), std::u16string(39, u'\x4141'));
    EXPECT_EQ(std::u16string(info.comments), std::u16string(19, u'\x4141'));
    EXPECT_EQ(std::u16string(info.post_install_open), std::u16string(259, u'\x4141'));
    EXPECT_EQ(info.shortcut_flags, 0x41414141u);  // numbers and reserved bytes are kept
    EXPECT_EQ(info.reserved[7], 0x41);
}

TEST(InstallInfo, ShortDataLeavesTheRestZero) {
    std::vector<std::uint8_t> bytes(100, 0x41);
    const InstallInfo info = package::load_install_info(bytes);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&info);
    for (std::size_t i = 0; i < sizeof info; ++i) {
        // 78-79 is the last unit of ime_name, always NUL.
        const bool copied = i < 100 && i != 78 && i != 79;
        ASSERT_EQ(raw[i], copied ? 0x41 : 0) << "byte " << i;
    }
    EXPECT_EQ(std::u16string(info.layout_text), std::u16string(10, u'\x4141'));

    const InstallInfo empty = package::load_install_info({});
    const auto* zero = reinterpret_cast<const std::uint8_t*>(&empty);
    for (std::size_t i = 0; i < sizeof empty; ++i) {
        ASSERT_EQ(zero[i], 0) << "byte " << i;
    }
}

TEST(InstallInfo, FieldTableMatchesTheRecord) {
    const auto fields = package::install_info_fields();
    ASSERT_EQ(fields.size(), 13u);
    std::set<std::string> names;
    std::size_t end = 0;
    for (const auto& f : fields) {
        names.insert(f.name);
        EXPECT_GE(f.offset, end) << f.name;  // record order, no overlap
        end = f.offset + (f.is_number ? 4 : 2 * f.units);
    }
    EXPECT_EQ(end, package::kInstallInfoSize);
    EXPECT_EQ(names.size(), fields.size());

    const auto find = [&](const std::string& name) {
        for (const auto& f : fields) {
            if (name == f.name) {
                return f;
            }
        }
        ADD_FAILURE() << name;
        return fields[0];
    };
    EXPECT_EQ(find("layout_text").offset, 0x050u);
    EXPECT_EQ(find("comments").units, 20u);
    EXPECT_EQ(find("url_update_info").offset, 0x614u);
    EXPECT_EQ(find("post_install_open").units, 260u);
    EXPECT_TRUE(find("shortcut_flags").is_number);
    EXPECT_EQ(find("shortcut_flags").offset, 0x0F0u);
    EXPECT_FALSE(find("help_link").is_number);
}

TEST(InstallInfo, FieldTableFollowsTheFileLayout) {
    struct Expected {
        const char* name;
        std::size_t offset;
        std::size_t units;
    };
    const Expected layout[] = {
        {"ime_name", 0x000, 40},          {"layout_text", 0x050, 40},       {"display_name", 0x0A0, 40},
        {"shortcut_flags", 0x0F0, 1},     {"comments", 0x0FC, 20},          {"publisher", 0x124, 40},
        {"display_version", 0x174, 40},   {"contact", 0x1C4, 40},           {"url_info_about", 0x214, 256},
        {"help_link", 0x414, 256},        {"url_update_info", 0x614, 256},  {"help_telephone", 0x814, 40},
        {"post_install_open", 0x864, 260},
    };
    const auto fields = package::install_info_fields();
    ASSERT_EQ(fields.size(), std::size(layout));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_STREQ(fields[i].name, layout[i].name);
        EXPECT_EQ(fields[i].offset, layout[i].offset) << layout[i].name;
        EXPECT_EQ(fields[i].units, layout[i].units) << layout[i].name;
    }
    EXPECT_EQ(offsetof(InstallInfo, reserved), 0x0F4u);
    EXPECT_EQ(sizeof(InstallInfo), 2668u);
}

TEST(InstallInfo, ShortcutBitsAndMoreToolsMask) {
    using namespace package;
    EXPECT_EQ(kShortcutUpdate | kShortcutHelp | kShortcutSettings, 0xE0u);
    EXPECT_EQ(kShortcutKeys | kShortcutCodeTable | kShortcutUserWords | kShortcutUninstall | kShortcutRepair,
              kShortcutMoreToolsMask);
    EXPECT_NE(kShortcutRepair & kShortcutMoreToolsMask, 0u);
    EXPECT_EQ(kShortcutUpdate & kShortcutMoreToolsMask, 0u);
}
