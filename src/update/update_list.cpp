#include "update/update_list.h"

#include "support/version_number.h"
#include "update/ascii_case.h"

namespace update {
namespace {

// A zero unit separates lines like CR and LF: a list with a stray zero
// (an editor's slip, a damaged download) is still read line by line, and a
// line can never be empty without also moving the reader on.
constexpr bool is_separator(char16_t c) {
    return c == u'\r' || c == u'\n' || c == u'\0';
}

std::u16string_view cut(std::u16string_view text, std::size_t units) {
    return text.substr(0, units);
}

void store_tag(UpdateEntry& entry, std::u16string_view key, std::u16string_view value, const ListMessageSink& post) {
    if (same_ascii_text(key, u"TYPE")) {
        entry.type = item_type_code(value);
    } else if (same_ascii_text(key, u"NAME")) {
        copy_to_slot(entry.name, value);
    } else if (same_ascii_text(key, u"VERSION")) {
        entry.new_version = support::ParseVersion(value);
    } else if (same_ascii_text(key, u"SAVEPATH")) {
        copy_to_slot(entry.path, value);
    } else if (same_ascii_text(key, u"CABURL")) {
        copy_to_slot(entry.package_address, value);
    } else if (same_ascii_text(key, u"SHA256")) {
        copy_to_slot(entry.digest, value);
    } else if (same_ascii_text(key, u"PNGSHA256")) {
        copy_to_slot(entry.preview_digest, value);
    } else if (post) {
        post(kUnknownKeyMessage);
    }
}

}  // namespace

UpdateEntry parse_update_line(std::u16string_view line, const ListMessageSink& post) {
    UpdateEntry entry{};
    std::size_t pos = 0;
    for (;;) {
        const std::size_t open = line.find(u'<', pos);
        if (open == std::u16string_view::npos) break;
        const std::size_t close = line.find(u'>', open + 1);
        if (close == std::u16string_view::npos) break;
        const std::u16string_view tag = line.substr(open + 1, close - open - 1);
        const std::size_t equals = tag.find(u'=');
        if (equals == std::u16string_view::npos) {
            store_tag(entry, cut(tag, kMaxKeyUnits), u"auto", post);
        } else {
            store_tag(entry, cut(tag.substr(0, equals), kMaxKeyUnits), cut(tag.substr(equals + 1), kMaxValueUnits), post);
        }
        pos = close + 1;
    }
    return entry;
}

std::vector<UpdateEntry> parse_update_list(std::u16string_view text, const ListMessageSink& post) {
    std::vector<UpdateEntry> entries;
    std::size_t i = 0;
    while (i + 3 < text.size()) {
        std::size_t end = i;
        while (end < text.size() && end - i < kMaxLineUnits && !is_separator(text[end])) ++end;
        entries.push_back(parse_update_line(text.substr(i, end - i), post));
        // A line cut at its limit leaves its rest for the next line; a
        // separator run right after it still belongs to this one.
        while (end < text.size() && is_separator(text[end])) ++end;
        i = end;
    }
    return entries;
}

}  // namespace update
