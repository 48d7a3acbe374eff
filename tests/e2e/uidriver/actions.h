#pragma once
// What a person does to controls, done with window messages. Clicks are
// posted, never sent: the handler behind a button may run a modal message
// box or a long task, and the driver must stay free to answer or watch it.

#include "options.h"

#include <windows.h>

#include <string>

namespace uidriver {

// Posts BM_CLICK. Refused (exit code 1) when the control or one of its
// parents is disabled or hidden, unless `force`.
void click(HWND control, bool force);
// Clicks a check box or radio button until its check state is `on`, then
// waits for the state. A radio button can't be unchecked by a click.
void set_check(HWND control, bool on, const Options& options);
// Replaces an edit's text: WM_SETTEXT, or with `keys` one WM_CHAR per
// UTF-16 unit after selecting everything; then waits until the edit reads
// `text`.
void type_text(HWND edit, const std::wstring& text, bool keys, const Options& options);
// Moves a tab control to tab `index` with TCM_SETCURFOCUS, which sends the
// owner the same change notifications as a click on the tab.
void select_tab(HWND tab, int index, const Options& options);
// Selects row `index` as a click on it would: a list view row gets the
// selected and focused state (the control notifies its owner with
// LVN_ITEMCHANGED); a list box or combo box gets the selection and its
// owner the LBN_SELCHANGE / CBN_SELCHANGE a click sends. Waits until the
// row reads as selected.
void select_row(HWND control, int index, const Options& options);
// Ticks or clears the check box of list-view row `index` (the control
// notifies its owner with LVN_ITEMCHANGED) and waits for the new state.
void check_row(HWND list_view, int index, bool on, const Options& options);
// The close box: WM_SYSCOMMAND with SC_CLOSE.
void close_window(HWND top);

}  // namespace uidriver
