#pragma once
// Fonts that the package brings in its "$fonts$" folder: copied into the
// Fonts folder, added to the system's font table and registered under
// HKLM "SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts", one REG_SZ
// value per file: "abc(TrueType)" for a name holding ".ttf" (cut at its
// first ".ttf"), "abc.ttc(TrueType-C)" for one holding ".ttc", with the
// bare file name as data. The match is case-sensitive and anywhere in the
// name: "x.ttf.bak" is a font, "FONT.TTF" is not.

#include <cstddef>

#include "support/run_report.h"

namespace install {

class InstallJournal;
struct InstallRun;

inline constexpr wchar_t kFontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
// Units of a font value name, with its NUL.
inline constexpr std::size_t kFontValueUnits = 64;

// The value name for font file `file_name` into `value_name`; false (and
// an empty name) when the file name holds neither ".ttf" nor ".ttc".
bool font_value_name(const wchar_t* file_name, wchar_t (&value_name)[kFontValueUnits]);

// Copies the fonts at the top level of `folder` into the Fonts folder
// (replacing, through place_file: a font in use is replaced at the next
// restart), adds each to the font table and writes its value. Then tells
// every top-level window that the fonts changed. 1 when every font was
// placed or staged; 0 at the first that couldn't be (the later ones are
// left alone) or when the Fonts folder can't be found. With `journal`,
// each copy, font and value is recorded.
int install_fonts(const wchar_t* folder, InstallJournal* journal = nullptr);
// The same within an install run: its journal, its report and its
// restart-needed flag; the font files are moved out of `folder`.
int install_fonts(const wchar_t* folder, InstallRun& run);

// Sets the Fonts key's value `value_name` to `file_name` (REG_SZ, the data
// length not counting the NUL). 1, or 0 when the key can't be opened with
// full access or the value can't be written (or, with `journal`, its old
// state can't be kept).
int write_font_value(const wchar_t* file_name, const wchar_t* value_name, InstallJournal* journal = nullptr);

}  // namespace install
