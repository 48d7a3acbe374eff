#pragma once
// Taking back an IME layout that an install run registered and that the
// run then undoes.

#include <windows.h>

namespace install {

// The layout's key name under "Keyboard Layouts": its eight hex digits.
void layout_key_name(HKL layout, wchar_t (&name)[9]);

// Unloads `layout`, deletes HKLM "...\Keyboard Layouts\<layout>" when its
// "Ime File" names `ime_file_name` (file-name parts compared without
// regard to case: the key may hold a bare name or a full path) and takes
// the layout out of the current user's Preload list in place: each entry
// after it takes the number before its own (one value set at a time) and
// the last number goes; the entries before it and any value that isn't a
// list number stay untouched. Best effort.
void remove_ime_layout(HKL layout, const wchar_t* ime_file_name);

}  // namespace install
