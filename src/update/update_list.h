#pragma once
// Reading the lines of an update list into entries.
//
// A list holds one item per line, each line a row of tags:
//
//   <TYPE=ZME_DRIVE><NAME=abc><VERSION=2.5.0.1153><CABURL=http://host/abc.cab>
//
// - Lines are separated by any run of CR and LF (a zero unit counts as a
//   separator too), so blank lines vanish. A line is at most 512
//   characters; a longer one is cut there and the rest is the next line.
// - A line starts only while at least 4 characters of the text remain, so a
//   final fragment of 3 characters or fewer is not read.
// - A tag runs from "<" to the next ">"; text outside tags is ignored and
//   the line ends where no complete tag follows. The key is the text before
//   the first "=" (cut at 127 characters), the value the text after it (cut
//   at 511); a tag without "=" has the value "auto".
// - Keys, matched without regard to case: TYPE (through the item-type
//   table, also case-blind), NAME, VERSION (support::ParseVersion),
//   SAVEPATH, CABURL, and SHA256 and PNGSHA256 (the package's and a skin
//   preview's digests, kept as text; update/update_signature.h). A repeated key overwrites; a missing one leaves its
//   field zero. Any other key posts kUnknownKeyMessage once per tag and the
//   rest of the line is still read.
// - Every line gives one entry, also a line without tags (type 0, empty).

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "update/update_entry.h"

namespace update {

inline constexpr std::size_t kMaxLineUnits = 512;
inline constexpr std::size_t kMaxKeyUnits = 127;
inline constexpr std::size_t kMaxValueUnits = 511;

inline constexpr std::u16string_view kUnknownKeyMessage = u"未知的更新标识！";

// Where the reader posts its messages (the engine's message handler).
using ListMessageSink = std::function<void(std::u16string_view message)>;

// The entry of one line (which holds no line break).
UpdateEntry parse_update_line(std::u16string_view line, const ListMessageSink& post = {});

// The entries of a whole list text, in line order. `text` is the decoded
// list (decode_list_text); its size is the length the 4-character rule
// counts against.
std::vector<UpdateEntry> parse_update_list(std::u16string_view text, const ListMessageSink& post = {});

}  // namespace update
