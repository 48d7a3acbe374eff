#pragma once
// INTERIM. A plain modal dialog that stands in for a mode's own dialog
// until that dialog is built: a caption, one line of text and a "取消"
// button that closes it. It blocks like the real dialog will, so the
// start-up's order (dialog, then clean-up) is already the final one.

namespace ui {

inline constexpr int kInterimDialogTemplate = 900;
inline constexpr int kInterimTextId = 1000;

// Runs the dialog modally with no owner; returns when it has closed
// (false when the template isn't in the program).
bool run_interim_dialog(const wchar_t* caption, const wchar_t* text);

// The product as the U, R and G dialogs name it: the uninstall entry's
// display name, or the product name when there is none.
const wchar_t* interim_product_label();

}  // namespace ui
