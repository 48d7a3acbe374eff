#include "app/command_line.h"

#include <array>
#include <utility>

namespace app {
namespace {

// Takes at most `units` units of `text` and, when they hold a "]", ends
// them at the last one: a bracketed name may itself contain "]".
std::u16string take_bracketed(std::u16string_view text, std::size_t units) {
    std::u16string_view kept = text.substr(0, units);
    const std::size_t close = kept.rfind(u']');
    if (close != std::u16string_view::npos) kept = kept.substr(0, close);
    return std::u16string(kept);
}

struct SwitchFamily {
    char16_t mode;
    std::array<std::u16string_view, 4> tokens;
};

// Tried in this order; a later family that is present overwrites an
// earlier one, so update beats repair beats uninstall.
constexpr std::array<SwitchFamily, 3> kFamilies{{
    {u'U', {u"-u name=[", u"-U name=[", u"/u name=[", u"/U name=["}},
    {u'R', {u"-r name=[", u"-R name=[", u"/r name=[", u"/R name=["}},
    {u'G', {u"-g name=[", u"-G name=[", u"/g name=[", u"/G name=["}},
}};

constexpr std::u16string_view kFileToken = u"file=";

std::u16string cut_key_path(std::u16string path) {
    if (path.size() > kKeyPathUnits - 1) path.resize(kKeyPathUnits - 1);
    return path;
}

}  // namespace

CommandArguments parse_arguments(std::u16string_view arguments) {
    // The text as the run record holds it: terminated at a NUL, 259 units.
    const std::size_t nul = arguments.find(u'\0');
    if (nul != std::u16string_view::npos) arguments = arguments.substr(0, nul);
    arguments = arguments.substr(0, kPathUnits - 1);

    CommandArguments result;
    if (const std::size_t at = arguments.find(kFileToken); at != std::u16string_view::npos) {
        result.source_path =
            take_bracketed(arguments.substr(at + kFileToken.size()), kPathUnits - 1);
    }
    for (const SwitchFamily& family : kFamilies) {
        for (std::u16string_view token : family.tokens) {
            const std::size_t at = arguments.find(token);
            if (at == std::u16string_view::npos) continue;
            result.product_name =
                take_bracketed(arguments.substr(at + token.size()), kNameUnits - 1);
            result.mode = family.mode;
            break;
        }
    }
    return result;
}

std::u16string uninstall_key_path(std::u16string_view product_name) {
    std::u16string path = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    path += product_name;
    return cut_key_path(std::move(path));
}

std::u16string vendor_key_path(std::u16string_view product_name) {
    std::u16string path = u"Software\\marlix\\";
    path += product_name;
    return cut_key_path(std::move(path));
}

}  // namespace app
