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

inline constexpr wchar_t kFontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
// Units of a font value name, with its NUL.
inline constexpr std::size_t kFontValueUnits = 64;

// The value name for font file `file_name` into `value_name`; false (and
// an empty name) when the file name holds neither ".ttf" nor ".ttc".
bool font_value_name(const wchar_t* file_name, wchar_t (&value_name)[kFontValueUnits]);

// Copies the fonts at the top level of `folder` into the Fonts folder
// (overwriting), adds each to the font table and writes its value; a font
// that can't be copied is neither added nor registered. Then tells every
// top-level window that the fonts changed. 1, or 0 when the Fonts folder
// can't be found. With `journal`, each copy, font and value is recorded.
// Every font copied goes to `report` (when given).
int install_fonts(const wchar_t* folder, InstallJournal* journal = nullptr, support::RunReport* report = nullptr);

// Sets the Fonts key's value `value_name` to `file_name` (REG_SZ, the data
// length not counting the NUL). 1, or 0 when the key can't be opened with
// full access or the value can't be written (or, with `journal`, its old
// state can't be kept).
int write_font_value(const wchar_t* file_name, const wchar_t* value_name, InstallJournal* journal = nullptr);

}  // namespace install
