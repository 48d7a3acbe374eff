// The neutral half of the vendor's signing: digest tags in list lines and
// the key slot of the installer.

#include "update_signing.h"

#include <algorithm>
#include <cctype>

#include "file_io.h"
#include "key_slot.h"
#include "tool_error.h"

namespace imepack {
namespace {

bool same_key(const std::string& a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

struct Tag {
    std::size_t open, close;  // positions of '<' and '>'
    std::string key, value;
};

std::vector<Tag> line_tags(const std::string& line) {
    std::vector<Tag> tags;
    for (std::size_t pos = 0;;) {
        const std::size_t open = line.find('<', pos);
        if (open == std::string::npos) break;
        const std::size_t close = line.find('>', open + 1);
        if (close == std::string::npos) break;
        const std::string inside = line.substr(open + 1, close - open - 1);
        const std::size_t equals = inside.find('=');
        tags.push_back({open, close, inside.substr(0, equals), equals == std::string::npos ? "" : inside.substr(equals + 1)});
        pos = close + 1;
    }
    return tags;
}

std::string fill_line(const std::string& line, const std::string& folder, DigestLookup digest_of,
                      const std::string& where) {
    const std::vector<Tag> tags = line_tags(line);
    const auto address = std::find_if(tags.begin(), tags.end(), [](const Tag& t) { return same_key(t.key, "CABURL"); });
    if (address == tags.end()) return line;
    const std::string name = address->value.substr(address->value.find_last_of('/') + 1);
    const std::string digest = name.empty() ? std::string() : digest_of(folder, name);
    if (digest.empty()) throw InputError(where + ": the package folder has no file \"" + name + "\" for " + address->value);
    const std::string preview = digest_of(folder, name + ".png");

    // Earlier digest tags go; the new ones end the line's tags.
    std::string out;
    std::size_t from = 0;
    for (const Tag& t : tags) {
        if (!same_key(t.key, "SHA256") && !same_key(t.key, "PNGSHA256")) continue;
        out += line.substr(from, t.open - from);
        from = t.close + 1;
    }
    out += line.substr(from);
    const std::size_t end = out.rfind('>') + 1;
    std::string added = "<SHA256=" + digest + ">";
    if (!preview.empty()) added += "<PNGSHA256=" + preview + ">";
    return out.insert(end, added);
}

}  // namespace

std::string fill_list_digests(const std::string& text, const std::string& folder, DigestLookup digest_of,
                              const std::string& list_name) {
    if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))
        throw InputError(list_name + ": digests are filled into UTF-8 (or ANSI) lists only, not UTF-16");
    std::string out;
    std::size_t line_number = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        ++line_number;
        out += fill_line(text.substr(pos, end - pos), folder, digest_of, list_name + ":" + std::to_string(line_number));
        const std::size_t next = text.find_first_not_of("\r\n", end);
        out += text.substr(end, (next == std::string::npos ? text.size() : next) - end);
        pos = next == std::string::npos ? text.size() : next;
    }
    return out;
}

update::PublicKey read_public_key_file(const std::string& path) {
    const std::vector<std::uint8_t> bytes = read_file(path_from_utf8(path));
    const auto key = update::parse_public_key_pem(std::string(bytes.begin(), bytes.end()));
    if (!key) throw InputError(path + ": not a P-256 public key in PEM (\"-----BEGIN PUBLIC KEY-----\")");
    return *key;
}

std::vector<std::uint8_t> with_update_key(std::vector<std::uint8_t> installer, const std::string& public_key,
                                          const std::string& installer_name) {
    const update::PublicKey key = read_public_key_file(public_key);
    const KeySlot slot = find_key_slot(installer);
    switch (slot.status) {
    case KeySlotStatus::none:
        throw InputError(installer_name + ": no update key slot (not this project's installer, or an old one)");
    case KeySlotStatus::several:
    case KeySlotStatus::damaged: throw InputError(installer_name + ": its update key slot is damaged");
    case KeySlotStatus::keyed:
        if (slot.key == key) return installer;
        throw InputError(installer_name + ": it already carries another update key");
    case KeySlotStatus::empty: break;
    }
    const auto bytes = key_slot_bytes(key);
    std::copy(bytes.begin(), bytes.end(), installer.begin() + static_cast<std::ptrdiff_t>(slot.offset));
    return installer;
}

}  // namespace imepack
