#include "window_find.h"

#include "driver_error.h"
#include "poll.h"
#include "window_query.h"

#include <optional>

namespace uidriver {

namespace {

BOOL CALLBACK collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

bool starts_with(const std::wstring& text, const wchar_t* prefix, std::wstring& rest) {
    const std::wstring p(prefix);
    if (text.compare(0, p.size(), p) != 0) return false;
    rest = text.substr(p.size());
    return true;
}

bool owner_matches(HWND window, const Options& options) {
    if (options.pid == 0 && options.exe.empty()) return true;
    const DWORD pid = pid_of(window);
    if (options.pid != 0 && pid != options.pid) return false;
    return options.exe.empty() || same_text_ignoring_case(exe_of(pid), options.exe);
}

bool spec_matches(HWND window, const WindowSpec& spec) {
    switch (spec.kind) {
    case WindowSpec::Kind::Title:
        return title_of(window) == spec.value;
    case WindowSpec::Kind::Part:
        return title_of(window).find(spec.value) != std::wstring::npos;
    case WindowSpec::Kind::Class:
        return same_text_ignoring_case(class_of(window), spec.value);
    case WindowSpec::Kind::Handle:
    case WindowSpec::Kind::Desktop:
        return window == spec.handle;
    }
    return false;
}

}  // namespace

std::wstring WindowSpec::describe() const {
    switch (kind) {
    case Kind::Title: return L"window \"" + value + L"\"";
    case Kind::Part: return L"window with \"" + value + L"\" in its title";
    case Kind::Class: return L"window of class \"" + value + L"\"";
    case Kind::Handle: return L"window " + value;
    case Kind::Desktop: return L"the desktop";
    }
    return value;
}

WindowSpec parse_window_spec(const std::wstring& text) {
    WindowSpec spec;
    std::wstring rest;
    if (starts_with(text, L"title:", rest)) {
        spec.kind = WindowSpec::Kind::Title;
    } else if (starts_with(text, L"part:", rest)) {
        spec.kind = WindowSpec::Kind::Part;
    } else if (starts_with(text, L"class:", rest)) {
        spec.kind = WindowSpec::Kind::Class;
    } else if (starts_with(text, L"hwnd:", rest)) {
        spec.kind = WindowSpec::Kind::Handle;
        spec.handle = reinterpret_cast<HWND>(
            static_cast<intptr_t>(parse_number(rest, L"window handle")));
    } else if (text == L"desktop:") {
        spec.kind = WindowSpec::Kind::Desktop;
        spec.handle = GetDesktopWindow();
    } else {
        rest = text;
    }
    if (rest.empty() && spec.kind != WindowSpec::Kind::Desktop)
        fail_usage(L"an empty window name matches nothing: \"" + text + L"\"");
    spec.value = rest;
    return spec;
}

std::wstring ControlSpec::describe() const {
    std::wstring text = L"control " + std::to_wstring(id);
    if (!class_name.empty()) text += L" of class " + class_name;
    return text;
}

ControlSpec parse_control_spec(const std::wstring& text) {
    ControlSpec spec;
    const size_t colon = text.find(L':');
    const std::wstring number = text.substr(0, colon);
    const long long id = parse_number(number, L"control ID");
    if (id < -1 || id > 0xFFFF) fail_usage(L"control ID out of range: " + number);
    spec.id = id == -1 ? 0xFFFF : static_cast<int>(id);
    if (colon != std::wstring::npos) spec.class_name = text.substr(colon + 1);
    return spec;
}

std::vector<HWND> all_top_level_windows() {
    std::vector<HWND> windows;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> all_descendants(HWND top) {
    std::vector<HWND> windows;
    EnumChildWindows(top, collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

std::vector<HWND> find_windows(const WindowSpec& spec, const Options& options) {
    std::vector<HWND> found;
    if (spec.kind == WindowSpec::Kind::Desktop) {
        found.push_back(spec.handle);
        return found;
    }
    if (spec.kind == WindowSpec::Kind::Handle) {
        if (IsWindow(spec.handle) && (options.hidden || IsWindowVisible(spec.handle)) &&
            owner_matches(spec.handle, options))
            found.push_back(spec.handle);
        return found;
    }
    for (HWND window : all_top_level_windows()) {
        if (!options.hidden && !IsWindowVisible(window)) continue;
        if (!owner_matches(window, options)) continue;
        if (spec_matches(window, spec)) found.push_back(window);
    }
    return found;
}

HWND wait_window(const WindowSpec& spec, const Options& options) {
    auto found = poll_until(options.timeout_ms, [&]() -> std::optional<HWND> {
        auto windows = find_windows(spec, options);
        if (windows.empty()) return std::nullopt;
        return windows.front();
    });
    if (!found)
        fail_timeout(L"time-out after " + std::to_wstring(options.timeout_ms) +
                     L" ms waiting for " + spec.describe());
    return *found;
}

void wait_window_gone(const WindowSpec& spec, const Options& options) {
    auto gone = poll_until(options.timeout_ms, [&]() -> std::optional<bool> {
        if (find_windows(spec, options).empty()) return true;
        return std::nullopt;
    });
    if (!gone)
        fail_timeout(L"time-out after " + std::to_wstring(options.timeout_ms) + L" ms: " +
                     spec.describe() + L" is still there");
}

HWND find_control(HWND top, const ControlSpec& spec) {
    HWND hidden_match = nullptr;
    for (HWND child : all_descendants(top)) {
        // Templates store "-1" (IDC_STATIC) as 0xFFFF or as 0xFFFFFFFF.
        if ((GetDlgCtrlID(child) & 0xFFFF) != spec.id) continue;
        if (!spec.class_name.empty() && !same_text_ignoring_case(class_of(child), spec.class_name))
            continue;
        if (IsWindowVisible(child)) return child;
        if (hidden_match == nullptr) hidden_match = child;
    }
    return hidden_match;
}

HWND wait_control(const WindowSpec& window, const ControlSpec& control, const Options& options) {
    const HWND top = wait_window(window, options);
    auto found = poll_until(options.timeout_ms, [&]() -> std::optional<HWND> {
        HWND child = find_control(top, control);
        if (child == nullptr) return std::nullopt;
        return child;
    });
    if (!found)
        fail_timeout(L"time-out after " + std::to_wstring(options.timeout_ms) +
                     L" ms waiting for " + control.describe() + L" in " + window.describe());
    return *found;
}

}  // namespace uidriver
