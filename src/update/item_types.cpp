#include <array>

#include "update/ascii_case.h"
#include "update/update_entry.h"

namespace update {
namespace {

struct ItemType {
    std::u16string_view keyword;  // TYPE value in a list
    std::int32_t code;
    std::u16string_view display_name;
};

constexpr std::array<ItemType, 8> kItemTypes{{
    {u"ZME_DRIVE", kItemCodeTableDriver, u"码表驱动"},
    {u"SKIN_DRIVE", kItemSkinDriver, u"界面驱动"},
    {u"IME_MAIN", kItemImeMain, u"IME驱动"},
    {u"IMEGENCAB", kItemGeneratorCab, u"生成器压缩包"},
    {u"UPDATE", kItemGeneratorUpdate, u"生成器更新"},
    {u"CONFIG_DRIVE", kItemConfigProgram, u"配置程序"},
    {u"INSTALLBASE_DRIVE", kItemInstallBase, u"安装程序"},
    {u"SKINZIP", kItemSkinZip, u"Zinzin皮肤"},
}};

constexpr std::u16string_view kUnknownName = u"未知标识";

}  // namespace

std::int32_t item_type_code(std::u16string_view type_text) {
    for (const auto& item : kItemTypes) {
        if (same_ascii_text(type_text, item.keyword)) return item.code;
    }
    return kItemUnknown;
}

std::u16string_view item_type_name(std::int32_t code) {
    for (const auto& item : kItemTypes) {
        if (item.code == code) return item.display_name;
    }
    return kUnknownName;
}

}  // namespace update
