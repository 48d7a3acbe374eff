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

// The switches of a run without a person, read from the same argument
// string. Unlike the mode switches they are whole words: a switch starts
// where the string or a whitespace-separated word starts, with "/" or "-",
// its name in any case, and ends at whitespace or the string's end:
//   /S  /quiet  /silent        silent
//   /accepteula                the licence taken as accepted
//   /closeapplications         programs holding the IME may be ended
//   /log=[path] /dir=[path] /owner=[text] /company=[text]
//   /?  /help  -h  --help      the help text
// A value runs from "[" to the first "]" that is followed by whitespace or
// the string's end (so a value may hold spaces and "]" elsewhere), is never
// empty and at most kSwitchValueUnits units.
//
// Text that belongs to the other parts is never read for switches: a mode
// switch's "name=[...]" (as parse_arguments delimits it, wherever one of
// its spellings occurs) is passed over, and so is everything from "file="
// on. A switch that a name might hold is refused rather than guessed at:
// one after the end of a mode switch's name with another "]" anywhere
// after it. So switches go before the mode switch; after it, only where no
// bracket follows.
//
// Any other word that starts with "/" or "-" is an unknown switch; other
// words are ignored as before.
inline constexpr std::size_t kSwitchValueUnits = 259;
inline constexpr std::size_t kUserValueUnits = 255;

struct RunSwitches {
    bool silent = false;
    bool accept_licence = false;
    bool end_holders = false;
    bool help = false;
    std::u16string log_path;
    std::u16string install_dir;
    std::u16string owner;
    std::u16string company;
    // Empty when the string is well formed; else the offending word or
    // part, for the "bad switch" line.
    std::u16string bad;
    // The argument string with every recognised switch (value included)
    // turned into spaces, same length: what the mode grammar and the rest
    // of the program read.
    std::u16string rest;
};

RunSwitches scan_switches(std::u16string_view arguments);

// The name of the lock that lets one run at a time work on a product:
// "ZinzinImeSetup-" and 16 hexadecimal digits of a hash of the product's
// name, so that no name, however it is spelled, reaches the system's
// object namespace (a backslash, "Global\\" or a name too long).
std::u16string run_lock_name(std::u16string_view product_name);

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\<name>", cut to 79 units.
std::u16string uninstall_key_path(std::u16string_view product_name);
// "Software\marlix\<name>", cut to 79 units.
std::u16string vendor_key_path(std::u16string_view product_name);

}  // namespace app
