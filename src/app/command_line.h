#pragma once
// The installer's command-line grammar. The argument string carries at most
// one effective mode switch naming an installed product in square brackets
// ("-u name=[Zinzin IME]"), and the "file=" part that the executable adds to
// itself when it restarts from the temporary folder. Every token is found by
// a plain, case-sensitive substring search anywhere in the string, so
// spaces, quoting and order between tokens do not matter.

#include <cstddef>
#include <string>
#include <string_view>

#include "app/records.h"

namespace app {

// Registry key paths built from a product name are formatted into 80 units.
inline constexpr std::size_t kKeyPathUnits = 80;

// What the argument string names.
struct CommandArguments {
    char16_t mode = 0;             // u'U' uninstall, u'R' repair, u'G' update, 0 install
    std::u16string product_name;   // text of the winning switch's "name=[...]", at most 39 units
    std::u16string source_path;    // text after "file=", at most 259 units
};

// Reads the argument string as the running copy keeps it: only its first
// 259 units count (the rest never fits the run record's slot), and it ends
// at an embedded NUL. Never fails: what isn't recognised is ignored.
//
// A switch's name is the text after "name=[", cut to 39 units and then
// ended at the last "]" inside those units (kept whole when there is none).
// The "file=" path is ended at its last "]" the same way. The uninstall,
// repair and update families are tried in that order and a later one that
// is present wins; within a family the first spelling in the order
// "-x", "-X", "/x", "/X" that occurs anywhere is taken.
CommandArguments parse_arguments(std::u16string_view arguments);

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\<name>", cut to 79 units.
std::u16string uninstall_key_path(std::u16string_view product_name);
// "Software\marlix\<name>", cut to 79 units.
std::u16string vendor_key_path(std::u16string_view product_name);

}  // namespace app
