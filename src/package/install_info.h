#pragma once
// The install information record: the whole content of "InstallInfo.dif",
// 2668 bytes, little-endian, text fields UTF-16LE in fixed slots that each
// end with a NUL inside the slot. The layout is the same for 32- and 64-bit
// builds.

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

namespace package {

struct InstallInfo {
    char16_t ime_name[40];            // IME name, registry subkeys, "%s.zin.ime"
    char16_t layout_text[40];         // layout text for the input-method manager
    char16_t display_name[40];        // uninstall entry, Start-menu folder, welcome title
    std::uint32_t shortcut_flags;     // which shortcuts to create (kShortcut* below)
    std::uint8_t reserved[8];         // not interpreted
    char16_t comments[20];
    char16_t publisher[40];
    char16_t display_version[40];
    char16_t contact[40];
    char16_t url_info_about[256];
    char16_t help_link[256];          // empty: the installed "main.chm"
    char16_t url_update_info[256];
    char16_t help_telephone[40];
    char16_t post_install_open[260];  // relative to the install folder; opened after install
};

inline constexpr std::size_t kInstallInfoSize = 2668;

static_assert(std::is_standard_layout_v<InstallInfo>);
static_assert(std::is_trivially_copyable_v<InstallInfo>);
static_assert(sizeof(InstallInfo) == kInstallInfoSize);
static_assert(offsetof(InstallInfo, ime_name) == 0x000);
static_assert(offsetof(InstallInfo, layout_text) == 0x050);
static_assert(offsetof(InstallInfo, display_name) == 0x0A0);
static_assert(offsetof(InstallInfo, shortcut_flags) == 0x0F0);
static_assert(offsetof(InstallInfo, reserved) == 0x0F4);
static_assert(offsetof(InstallInfo, comments) == 0x0FC);
static_assert(offsetof(InstallInfo, publisher) == 0x124);
static_assert(offsetof(InstallInfo, display_version) == 0x174);
static_assert(offsetof(InstallInfo, contact) == 0x1C4);
static_assert(offsetof(InstallInfo, url_info_about) == 0x214);
static_assert(offsetof(InstallInfo, help_link) == 0x414);
static_assert(offsetof(InstallInfo, url_update_info) == 0x614);
static_assert(offsetof(InstallInfo, help_telephone) == 0x814);
static_assert(offsetof(InstallInfo, post_install_open) == 0x864);

// Bits of shortcut_flags, one per Start-menu shortcut.
inline constexpr std::uint32_t kShortcutUpdate = 0x20;      // "检查更新"
inline constexpr std::uint32_t kShortcutHelp = 0x40;        // "使用帮助"
inline constexpr std::uint32_t kShortcutSettings = 0x80;    // "系统设置"
inline constexpr std::uint32_t kShortcutKeys = 0x100;       // "按键功能"
inline constexpr std::uint32_t kShortcutCodeTable = 0x200;  // "码表查询"
inline constexpr std::uint32_t kShortcutUserWords = 0x400;  // "添加用户词"
inline constexpr std::uint32_t kShortcutUninstall = 0x800;  // "卸载软件"
inline constexpr std::uint32_t kShortcutRepair = 0x1000;    // "修复安装"
// Any of these also creates the "更多工具" subfolder.
inline constexpr std::uint32_t kShortcutMoreToolsMask = 0x1F00;

// The record from the bytes of "InstallInfo.dif": the first 2668 bytes are
// copied; whatever a shorter file lacks stays zero, extra bytes are ignored.
// The last unit of every text slot is set to NUL, so a slot of N units holds
// at most N - 1 characters and every text field is terminated.
InstallInfo load_install_info(std::span<const std::uint8_t> bytes);

// One field of the record, for tools that fill it from a description.
struct InstallInfoField {
    const char* name;      // the member's name, e.g. "ime_name"
    std::size_t offset;    // byte offset in the record
    std::size_t units;     // UTF-16 units of a text slot (with its NUL); 1 for a number
    bool is_number;        // a 32-bit little-endian unsigned number instead of text
};

// Every field except the reserved bytes, in record order.
std::span<const InstallInfoField> install_info_fields();

}  // namespace package
