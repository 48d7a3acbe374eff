#pragma once
// The program's icon drawn in place of a dialog that is minimised: what
// WM_PAINT shows then, and what WM_QUERYDRAGICON hands out. Shared by the
// dialogs that can be minimised.

#include <windows.h>

namespace ui {

// WM_PAINT: when `dialog` is minimised, paints `icon` centred in it and
// returns true; otherwise leaves the message to the default handling.
bool paint_minimised_icon(HWND dialog, HICON icon);

}  // namespace ui
