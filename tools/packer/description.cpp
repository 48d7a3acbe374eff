#include "description.h"

#include "package/install_info.h"
#include "support/utf8.h"

#include <cstring>
#include <optional>
#include <set>
#include <string_view>

namespace imepack {

namespace {

class LineError {
public:
    LineError(const std::string& file, std::size_t line) : prefix_(file + ":" + std::to_string(line) + ": ") {}
    [[noreturn]] void fail(const std::string& what) const { throw InputError(prefix_ + what); }

private:
    std::string prefix_;
};

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

const package::InstallInfoField* find_field(std::string_view name) {
    for (const package::InstallInfoField& f : package::install_info_fields()) {
        if (name == f.name) return &f;
    }
    return nullptr;
}

std::optional<std::uint32_t> parse_number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

void check_ime_name(std::u16string_view name, const LineError& at) {
    if (name.empty()) at.fail("ime_name must not be empty");
    for (const char16_t c : name) {
        if (c < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos) {
            at.fail("ime_name names files and registry keys; it can't hold \\ / : * ? \" < > | or control characters");
        }
    }
}

void check_relative_path(std::u16string_view path, const LineError& at) {
    if (path.empty()) return;
    if (path.front() == u'\\' || path.front() == u'/' || path.find(u':') != std::u16string_view::npos) {
        at.fail("post_install_open is a path relative to the install folder, not an absolute path");
    }
}

void store_text(std::vector<std::uint8_t>& record, const package::InstallInfoField& field,
                std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        record[field.offset + 2 * i] = static_cast<std::uint8_t>(text[i]);
        record[field.offset + 2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
}

void store_number(std::vector<std::uint8_t>& record, const package::InstallInfoField& field, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) record[field.offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void apply_line(std::string_view line, const LineError& at, std::set<std::string>& seen,
                std::vector<std::uint8_t>& record) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) at.fail("expected \"field = value\"");
    const std::string name(trim(line.substr(0, equals)));
    const std::string_view value = trim(line.substr(equals + 1));
    const package::InstallInfoField* field = find_field(name);
    if (field == nullptr) at.fail("unknown field \"" + name + "\"");
    if (!seen.insert(name).second) at.fail("the field \"" + name + "\" is given twice");
    if (field->is_number) {
        const auto number = parse_number(value);
        if (!number) at.fail("\"" + std::string(value) + "\" is not a number (decimal or 0x hexadecimal, 32 bits)");
        store_number(record, *field, *number);
        return;
    }
    const std::u16string text = *support::utf8_to_utf16(value);  // the whole line was checked already
    if (text.find(u'\0') != std::u16string::npos) at.fail("the text holds a NUL character");
    if (text.size() > field->units - 1) {
        at.fail(name + " is " + std::to_string(text.size()) + " UTF-16 units long; its slot holds at most " +
                std::to_string(field->units - 1));
    }
    if (name == "ime_name") check_ime_name(text, at);
    if (name == "post_install_open") check_relative_path(text, at);
    store_text(record, *field, text);
}

}  // namespace

std::vector<std::uint8_t> record_from_description(std::span<const std::uint8_t> bytes, const std::string& file_name) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    std::vector<std::uint8_t> record(package::kInstallInfoSize, 0);
    std::set<std::string> seen;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const LineError at(file_name, ++number);
        if (!support::utf8_to_utf16(line)) at.fail("the line isn't valid UTF-8");
        const std::string_view content = trim(line);
        if (content.empty() || content.front() == '#') continue;
        apply_line(content, at, seen, record);
    }
    if (seen.count("ime_name") == 0) throw InputError(file_name + ": ime_name is missing; every package needs one");
    return record;
}

}  // namespace imepack
