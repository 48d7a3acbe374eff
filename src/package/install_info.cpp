#include "package/install_info.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace package {

#define IMEBASE_TEXT_FIELD(member) \
    InstallInfoField{#member, offsetof(InstallInfo, member), std::size(InstallInfo{}.member), false}

namespace {

const InstallInfoField kFields[] = {
    IMEBASE_TEXT_FIELD(ime_name),
    IMEBASE_TEXT_FIELD(layout_text),
    IMEBASE_TEXT_FIELD(display_name),
    InstallInfoField{"shortcut_flags", offsetof(InstallInfo, shortcut_flags), 1, true},
    IMEBASE_TEXT_FIELD(comments),
    IMEBASE_TEXT_FIELD(publisher),
    IMEBASE_TEXT_FIELD(display_version),
    IMEBASE_TEXT_FIELD(contact),
    IMEBASE_TEXT_FIELD(url_info_about),
    IMEBASE_TEXT_FIELD(help_link),
    IMEBASE_TEXT_FIELD(url_update_info),
    IMEBASE_TEXT_FIELD(help_telephone),
    IMEBASE_TEXT_FIELD(post_install_open),
};

}  // namespace

#undef IMEBASE_TEXT_FIELD

InstallInfo load_install_info(std::span<const std::uint8_t> bytes) {
    InstallInfo info{};
    if (!bytes.empty()) {
        std::memcpy(&info, bytes.data(), std::min(bytes.size(), sizeof info));
    }
    // Every reader takes the text slots as terminated strings; a file whose
    // text fills a slot to the end would make them run into the next field
    // (or past the record), so the last unit of each slot is always a NUL.
    auto* raw = reinterpret_cast<unsigned char*>(&info);
    for (const InstallInfoField& field : kFields) {
        if (!field.is_number) {
            std::memset(raw + field.offset + 2 * (field.units - 1), 0, 2);
        }
    }
    return info;
}

std::span<const InstallInfoField> install_info_fields() {
    return kFields;
}

}  // namespace package
