#include "cabinet_names.h"

#include "cabinet_format.h"
#include "package/stored_name.h"
#include "tool_error.h"
#include "support/utf8.h"

#include <set>
#include <string_view>

namespace imepack {

namespace {

std::string fold_case(std::string_view name) {
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

std::string stored_name_problem(const std::string& name) {
    if (name.empty()) return "the name is empty";
    if (name.size() > cab::kMaxNameBytes) {
        return "the name is " + std::to_string(name.size()) +
               " bytes long; a cabinet holds names of up to 255 bytes (UTF-8)";
    }
    const auto wide = support::utf8_to_utf16(name);
    if (!wide) return "the name isn't valid UTF-8";
    std::size_t part_start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '\\') {
            const std::string_view part(name.data() + part_start, i - part_start);
            if (part.empty() || part == "." || part == "..") return "the name has an empty, \".\" or \"..\" part";
            // Windows drops trailing dots and blanks: "a." would land on "a".
            if (part.back() == '.' || part.back() == ' ') return "a part of the name ends in a dot or a blank";
            part_start = i + 1;
            continue;
        }
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || std::string_view("/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos) {
            return "the name holds a character that Windows doesn't allow in file names";
        }
    }
    // What the installer's extraction refuses (device names such as CON or
    // NUL) is refused here already, before the package ships.
    if (!package::is_contained_name(*wide)) return "the name is a device name such as CON, NUL or COM1";
    return {};
}

void check_names_distinct(std::span<const CabinetFile> files) {
    std::set<std::string> names;
    std::set<std::string> folders;
    for (const CabinetFile& f : files) {
        const std::string folded = fold_case(f.name);
        if (!names.insert(folded).second) {
            throw InputError(f.name + ": another file has the same name (letter case aside)");
        }
        for (std::size_t at = folded.find('\\'); at != std::string::npos; at = folded.find('\\', at + 1)) {
            folders.insert(folded.substr(0, at));
        }
    }
    for (const CabinetFile& f : files) {
        if (folders.count(fold_case(f.name)) != 0) {
            throw InputError(f.name + ": the name is both a file and a folder");
        }
    }
}

}  // namespace imepack
