#pragma once
// The program's icon drawn in place of a dialog that is minimised: what
// WM_PAINT shows then, and what WM_QUERYDRAGICON hands out. Shared by the
// dialogs that can be minimised.

#include <windows.h>

namespace ui {

// WM_PAINT: when `dialog` is minimised, paints `icon` centred in it and
// returns true; otherwise leaves the message to the default handling.
bool paint_minimised_icon(HWND dialog, HICON icon);

// WM_PAINT and WM_QUERYDRAGICON for a dialog that can be minimised: true
// when `message` was one of them and has been answered (`result` is the
// dialog procedure's return value); false leaves it to the default.
bool handle_minimised_icon(HWND dialog, HICON icon, UINT message, INT_PTR& result);

}  // namespace ui
