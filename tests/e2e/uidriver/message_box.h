#pragma once
// Message boxes: dialogs of class "#32770" found by caption, whose text is
// the static control 0xFFFF and whose buttons carry the IDOK... IDs.

#include "options.h"

#include <windows.h>

#include <string>

namespace uidriver {

HWND wait_message_box(const std::wstring& caption, const Options& options);
std::wstring message_box_text(HWND box);
// "ok", "cancel", "abort", "retry", "ignore", "yes", "no", "close", "help",
// "tryagain", "continue" or a number; a usage error otherwise.
int button_id(const std::wstring& name);
// Clicks the button and waits until the box has closed.
void answer_message_box(HWND box, int button, const Options& options);

}  // namespace uidriver
