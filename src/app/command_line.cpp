#include "app/command_line.h"

#include <array>
#include <cstdint>
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

bool is_space(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// Whether `text` starts with `name`, ASCII case not counted.
bool starts_folded(std::u16string_view text, std::u16string_view name) {
    if (text.size() < name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (lower(text[i]) != name[i]) return false;
    return true;
}

enum class Switch { none, silent, accept_licence, end_holders, help, log, dir, owner, company };

struct Flag {
    std::u16string_view name;
    Switch kind;
};
constexpr std::array<Flag, 8> kFlags{{
    {u"s", Switch::silent},
    {u"quiet", Switch::silent},
    {u"silent", Switch::silent},
    {u"accepteula", Switch::accept_licence},
    {u"closeapplications", Switch::end_holders},
    {u"?", Switch::help},
    {u"help", Switch::help},
    {u"h", Switch::help},
}};
constexpr std::array<Flag, 4> kValued{{
    {u"log=[", Switch::log},
    {u"dir=[", Switch::dir},
    {u"owner=[", Switch::owner},
    {u"company=[", Switch::company},
}};

// One switch word found at the start of `text`.
struct Match {
    Switch kind = Switch::none;
    std::size_t length = 0;  // units the switch takes, value and "]" included
    std::u16string_view value;
    bool malformed = false;  // a valued switch whose value never ends
};

// The switch that starts `text`, if any: "/", "-" or "--", then a flag
// word ending at whitespace or the end, or a valued switch with its value.
Match match_switch(std::u16string_view text) {
    Match match;
    std::size_t prefix = 0;
    if (text.substr(0, 2) == u"--") prefix = 2;
    else if (!text.empty() && (text[0] == u'/' || text[0] == u'-')) prefix = 1;
    if (prefix == 0) return match;
    const std::u16string_view body = text.substr(prefix);
    std::size_t word = 0;
    while (word < body.size() && !is_space(body[word])) ++word;
    for (const Flag& flag : kFlags) {
        if (word == flag.name.size() && starts_folded(body, flag.name)) {
            match.kind = flag.kind;
            match.length = prefix + word;
            return match;
        }
    }
    for (const Flag& valued : kValued) {
        if (!starts_folded(body, valued.name)) continue;
        match.kind = valued.kind;
        const std::size_t start = valued.name.size();
        for (std::size_t at = body.find(u']', start); at != std::u16string_view::npos; at = body.find(u']', at + 1)) {
            if (at + 1 == body.size() || is_space(body[at + 1])) {
                match.value = body.substr(start, at - start);
                match.length = prefix + at + 1;
                return match;
            }
        }
        match.malformed = true;
        match.length = text.size();
        return match;
    }
    return match;
}

// The mode switch spelling that starts `text`, or an empty view.
std::u16string_view mode_token_at(std::u16string_view text) {
    for (const SwitchFamily& family : kFamilies)
        for (std::u16string_view token : family.tokens)
            if (text.substr(0, token.size()) == token) return token;
    return {};
}

// Whether a switch starts a word of `text` (the part of a name after its
// first "]").
bool holds_switch(std::u16string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((at == 0 || is_space(text[at - 1])) && match_switch(text.substr(at)).kind != Switch::none) return true;
    }
    return false;
}

}  // namespace

RunSwitches scan_switches(std::u16string_view arguments) {
    const std::size_t nul = arguments.find(u'\0');
    if (nul != std::u16string_view::npos) arguments = arguments.substr(0, nul);

    RunSwitches found;
    found.rest = std::u16string(arguments);
    std::size_t at = 0;
    while (at < arguments.size() && found.bad.empty()) {
        const std::u16string_view here = arguments.substr(at);
        // A mode switch: its name as parse_arguments takes it is passed over.
        if (const std::u16string_view token = mode_token_at(here); !token.empty()) {
            const std::u16string_view after = here.substr(token.size());
            const std::u16string_view kept = after.substr(0, kNameUnits - 1);
            const std::size_t close = kept.rfind(u']');
            const std::size_t skip = close != std::u16string_view::npos ? close + 1 : kept.size();
            // A name may hold "] /S", be cut to 39 units before its own
            // closing bracket, or run on without one: a switch between its
            // first "]" (or where the name rule cuts it) and any later "]"
            // may be the name's, and is refused rather than taken.
            const std::size_t first = kept.find(u']');
            const std::size_t start = first != std::u16string_view::npos ? first + 1 : skip;
            const std::size_t last = after.rfind(u']');
            if (last != std::u16string_view::npos && last >= start &&
                holds_switch(after.substr(start, last - start))) {
                found.bad = std::u16string(here.substr(0, token.size() + last + 1));
                break;
            }
            at += token.size() + skip;
            continue;
        }
        // "file=" and all after it are the path of the started program.
        if (here.substr(0, kFileToken.size()) == kFileToken) break;
        if (at != 0 && !is_space(arguments[at - 1])) {
            ++at;
            continue;
        }
        if (here[0] != u'/' && here[0] != u'-') {
            ++at;
            continue;
        }
        const Match match = match_switch(here);
        std::size_t word = 0;
        while (word < here.size() && !is_space(here[word])) ++word;
        if (match.kind == Switch::none || match.malformed) {
            found.bad = std::u16string(here.substr(0, word));
            break;
        }
        const std::size_t limit =
            match.kind == Switch::owner || match.kind == Switch::company ? kUserValueUnits : kSwitchValueUnits;
        if ((match.kind == Switch::log || match.kind == Switch::dir || match.kind == Switch::owner ||
             match.kind == Switch::company) &&
            (match.value.empty() || match.value.size() > limit)) {
            found.bad = std::u16string(here.substr(0, match.length));
            break;
        }
        switch (match.kind) {
        case Switch::silent: found.silent = true; break;
        case Switch::accept_licence: found.accept_licence = true; break;
        case Switch::end_holders: found.end_holders = true; break;
        case Switch::help: found.help = true; break;
        case Switch::log: found.log_path = std::u16string(match.value); break;
        case Switch::dir: found.install_dir = std::u16string(match.value); break;
        case Switch::owner: found.owner = std::u16string(match.value); break;
        case Switch::company: found.company = std::u16string(match.value); break;
        case Switch::none: break;
        }
        for (std::size_t i = 0; i < match.length; ++i) found.rest[at + i] = u' ';
        at += match.length;
    }
    return found;
}

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

std::u16string run_lock_name(std::u16string_view product_name) {
    // FNV-1a over the name's units, 64 bits.
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char16_t unit : product_name) {
        hash ^= static_cast<std::uint64_t>(unit);
        hash *= 0x100000001b3ull;
    }
    std::u16string name = u"ZinzinImeSetup-";
    for (int shift = 60; shift >= 0; shift -= 4) name.push_back(u"0123456789abcdef"[(hash >> shift) & 0xF]);
    return name;
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
