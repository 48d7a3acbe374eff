#include "actions.h"

#include "driver_error.h"
#include "list_read.h"
#include "poll.h"
#include "remote_memory.h"
#include "window_query.h"

#include <commctrl.h>

#include <functional>
#include <optional>

namespace uidriver {

namespace {

std::wstring describe(HWND control) {
    return class_of(control) + L" " + std::to_wstring(GetDlgCtrlID(control)) + L" \"" +
           title_of(control) + L"\"";
}

void must_post(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (!PostMessageW(window, message, wparam, lparam))
        fail(L"can't post to " + describe(window) + L" (error " +
             std::to_wstring(GetLastError()) + L")");
}

}  // namespace

void click(HWND control, bool force) {
    if (!force && !usable(control))
        fail(L"can't click " + describe(control) + L": it is " + state_words(control) +
             (IsWindowEnabled(control) && IsWindowVisible(control)
                  ? L", but its window is disabled (is a modal dialog open?)"
                  : L""));
    must_post(control, BM_CLICK, 0, 0);
}

void set_check(HWND control, bool on, const Options& options) {
    if (!is_button_with_check(control))
        fail(describe(control) + L" is not a check box or radio button");
    const auto is_checked = [&]() -> std::optional<bool> {
        auto check = send(control, BM_GETCHECK, 0, 0, 1000);
        if (!check) return std::nullopt;
        return *check == BST_CHECKED;
    };
    if (is_checked() == on) return;
    const LONG_PTR type = GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK;
    if (!on && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON))
        fail(L"a radio button is unchecked by checking another one of its group");
    click(control, false);
    auto done = poll_until(options.timeout_ms, [&]() -> std::optional<bool> {
        if (is_checked() == on) return true;
        return std::nullopt;
    });
    if (!done)
        fail_timeout(L"time-out: " + describe(control) + L" did not become " +
                     (on ? L"checked" : L"unchecked"));
}

void type_text(HWND edit, const std::wstring& text, bool keys, const Options& options) {
    if (!usable(edit)) fail(L"can't type into " + describe(edit) + L": it is " + state_words(edit));
    if (keys) {
        if (!send(edit, EM_SETSEL, 0, -1)) fail(L"the edit's program doesn't answer");
        for (wchar_t unit : text) must_post(edit, WM_CHAR, unit, 1);
    } else if (!send(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()))) {
        fail(L"the edit's program doesn't answer");
    }
    auto done = poll_until(options.timeout_ms, [&]() -> std::optional<bool> {
        if (text_of(edit, 1000) == text) return true;
        return std::nullopt;
    });
    if (!done)
        fail_timeout(L"time-out: " + describe(edit) + L" reads \"" + text_of(edit, 1000) +
                     L"\" instead of the typed text");
}

void select_tab(HWND tab, int index, const Options& options) {
    if (!usable(tab)) fail(L"can't select a tab of " + describe(tab) + L": it is " + state_words(tab));
    const auto count = send(tab, TCM_GETITEMCOUNT, 0, 0);
    if (!count) fail(L"the tab control's program doesn't answer");
    if (index < 0 || index >= *count)
        fail(L"tab " + std::to_wstring(index) + L" doesn't exist (" + std::to_wstring(*count) +
             L" tabs)");
    // Sent with a time-out: the owner's change handler runs inside the call.
    send(tab, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0, options.timeout_ms);
    auto done = poll_until(options.timeout_ms, [&]() -> std::optional<bool> {
        auto current = send(tab, TCM_GETCURSEL, 0, 0, 1000);
        if (current && *current == index) return true;
        return std::nullopt;
    });
    if (!done) fail_timeout(L"time-out: tab " + std::to_wstring(index) + L" did not become current");
}

namespace {

// LVM_SETITEMSTATE takes a pointer: the item goes through the list view's
// own process.
void set_list_view_state(HWND list, int index, UINT state, UINT mask) {
    RemoteMemory remote(list, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = mask;
    item.state = state;
    remote.write(0, &item, sizeof item);
    if (!send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index),
              reinterpret_cast<LPARAM>(remote.at(0))))
        fail(L"the list view's program doesn't answer");
}

void check_row_index(HWND control, int index) {
    const auto count = item_count(control);
    if (!count) fail(L"the control's program doesn't answer");
    if (index < 0 || index >= *count)
        fail(L"row " + std::to_wstring(index) + L" doesn't exist (" + std::to_wstring(*count) +
             L" rows)");
}

void wait_until(const Options& options, const std::wstring& what,
                const std::function<bool()>& done) {
    auto reached = poll_until(options.timeout_ms, [&]() -> std::optional<bool> {
        if (done()) return true;
        return std::nullopt;
    });
    if (!reached) fail_timeout(L"time-out: " + what);
}

}  // namespace

void select_row(HWND control, int index, const Options& options) {
    if (!usable(control)) fail(L"can't select in " + describe(control) + L": it is " + state_words(control));
    check_row_index(control, index);
    const WPARAM row = static_cast<WPARAM>(index);
    switch (list_kind(control)) {
    case ListKind::ListView:
        set_list_view_state(control, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        send(control, LVM_ENSUREVISIBLE, row, FALSE);
        wait_until(options, L"row " + std::to_wstring(index) + L" did not become selected", [&] {
            auto state = send(control, LVM_GETITEMSTATE, row, LVIS_SELECTED, 1000);
            return state && (*state & LVIS_SELECTED) != 0;
        });
        return;
    case ListKind::ListBox:
    case ListKind::ComboBox: {
        const bool box = list_kind(control) == ListKind::ListBox;
        if (!send(control, box ? LB_SETCURSEL : CB_SETCURSEL, row, 0))
            fail(L"the control's program doesn't answer");
        const WORD code = box ? LBN_SELCHANGE : CBN_SELCHANGE;
        must_post(GetParent(control), WM_COMMAND,
                  MAKEWPARAM(GetDlgCtrlID(control), code), reinterpret_cast<LPARAM>(control));
        wait_until(options, L"row " + std::to_wstring(index) + L" did not become selected", [&] {
            auto current = send(control, box ? LB_GETCURSEL : CB_GETCURSEL, 0, 0, 1000);
            return current && *current == index;
        });
        return;
    }
    default:
        fail(describe(control) + L" has no rows to select");
    }
}

void check_row(HWND list_view, int index, bool on, const Options& options) {
    if (list_kind(list_view) != ListKind::ListView || !has_check_boxes(list_view))
        fail(describe(list_view) + L" is not a list view with check boxes");
    if (!usable(list_view)) fail(L"can't check in " + describe(list_view) + L": it is " + state_words(list_view));
    check_row_index(list_view, index);
    set_list_view_state(list_view, index, INDEXTOSTATEIMAGEMASK(on ? 2 : 1), LVIS_STATEIMAGEMASK);
    wait_until(options, L"row " + std::to_wstring(index) + L" did not become " +
                            (on ? L"checked" : L"unchecked"),
               [&] { return row_checked(list_view, index) == on; });
}

void close_window(HWND top) { must_post(top, WM_SYSCOMMAND, SC_CLOSE, 0); }

}  // namespace uidriver
