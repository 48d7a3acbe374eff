#include "message_box.h"

#include "actions.h"
#include "driver_error.h"
#include "poll.h"
#include "window_find.h"
#include "window_query.h"

#include <optional>
#include <utility>

namespace uidriver {

namespace {

constexpr int kTextControlId = 0xFFFF;

const std::pair<const wchar_t*, int> kButtons[] = {
    {L"ok", IDOK},       {L"cancel", IDCANCEL}, {L"abort", IDABORT},       {L"retry", IDRETRY},
    {L"ignore", IDIGNORE}, {L"yes", IDYES},     {L"no", IDNO},             {L"close", IDCLOSE},
    {L"help", IDHELP},   {L"tryagain", IDTRYAGAIN}, {L"continue", IDCONTINUE},
};

std::wstring button_names_of(HWND box) {
    std::wstring names;
    for (HWND child : all_descendants(box)) {
        if (!same_text_ignoring_case(class_of(child), L"Button")) continue;
        if (!names.empty()) names += L", ";
        names += std::to_wstring(GetDlgCtrlID(child)) + L" \"" + title_of(child) + L"\"";
    }
    return names.empty() ? L"none" : names;
}

}  // namespace

HWND wait_message_box(const std::wstring& caption, const Options& options) {
    const auto spec = parse_window_spec(caption);
    auto found = poll_until(options.timeout_ms, [&]() -> std::optional<HWND> {
        for (HWND window : find_windows(spec, options))
            if (class_of(window) == L"#32770") return window;
        return std::nullopt;
    });
    if (!found)
        fail_timeout(L"time-out after " + std::to_wstring(options.timeout_ms) +
                     L" ms waiting for a message box \"" + caption + L"\"");
    return *found;
}

std::wstring message_box_text(HWND box) {
    if (HWND text = GetDlgItem(box, kTextControlId)) return text_of(text);
    // Not a system message box: the first static with text stands in.
    for (HWND child : all_descendants(box)) {
        if (!same_text_ignoring_case(class_of(child), L"Static")) continue;
        std::wstring text = text_of(child);
        if (!text.empty()) return text;
    }
    return {};
}

int button_id(const std::wstring& name) {
    for (const auto& [word, id] : kButtons)
        if (same_text_ignoring_case(name, word)) return id;
    const bool numeric = !name.empty() && name.find_first_not_of(L"0123456789") == std::wstring::npos;
    const long long id = numeric ? parse_number(name, L"message box button") : 0;
    if (id <= 0 || id > 0xFFFF)
        fail_usage(L"no such message box button: " + name +
                   L" (ok, cancel, abort, retry, ignore, yes, no, close, help, tryagain, "
                   L"continue or an ID)");
    return static_cast<int>(id);
}

void answer_message_box(HWND box, int button, const Options& options) {
    HWND control = GetDlgItem(box, button);
    if (control == nullptr)
        fail(L"the message box \"" + title_of(box) + L"\" has no button " +
             std::to_wstring(button) + L" (buttons: " + button_names_of(box) + L")");
    click(control, false);
    auto gone = poll_until(options.timeout_ms, [&]() -> std::optional<bool> {
        if (!IsWindow(box) || !IsWindowVisible(box)) return true;
        return std::nullopt;
    });
    if (!gone) fail_timeout(L"time-out: the message box did not close after the click");
}

}  // namespace uidriver
