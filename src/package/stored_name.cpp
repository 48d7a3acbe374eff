#include "package/stored_name.h"

#include <array>

namespace package {
namespace {

constexpr bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

char16_t upper_ascii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool equals_ascii_upper(std::u16string_view text, std::string_view upper) {
    if (text.size() != upper.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (upper_ascii(text[i]) != static_cast<char16_t>(upper[i])) return false;
    return true;
}

// The system strips trailing dots and spaces from a part, so ".. " walks up
// just as ".." does.
bool only_dots_and_spaces(std::u16string_view part) {
    for (char16_t c : part)
        if (c != u'.' && c != u' ') return false;
    return true;
}

// Device names stay devices whatever folder they stand in and whatever
// extension follows them ("nul.txt" is NUL).
bool names_device(std::u16string_view part) {
    std::u16string_view base = part.substr(0, part.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    static constexpr std::array<std::string_view, 6> kFixed = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : kFixed)
        if (equals_ascii_upper(base, device)) return true;
    if (base.size() == 4 && base[3] >= u'1' && base[3] <= u'9') {
        const std::u16string_view stem = base.substr(0, 3);
        return equals_ascii_upper(stem, "COM") || equals_ascii_upper(stem, "LPT");
    }
    return false;
}

bool is_acceptable_part(std::u16string_view part) {
    return !part.empty() && !only_dots_and_spaces(part) && !names_device(part);
}

}  // namespace

bool is_contained_name(std::u16string_view name) {
    if (name.empty() || is_separator(name.front())) return false;
    if (name.find(u':') != std::u16string_view::npos) return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || is_separator(name[i])) {
            if (!is_acceptable_part(name.substr(start, i - start))) return false;
            start = i + 1;
        }
    }
    return true;
}

}  // namespace package
