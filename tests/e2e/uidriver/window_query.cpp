#include "window_query.h"

#include "handles.h"

#include <vector>

namespace uidriver {

std::optional<LRESULT> send(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                            UINT timeout_ms) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, timeout_ms,
                             &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

std::wstring class_of(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring text_of(HWND window, UINT timeout_ms) {
    if (auto length = send(window, WM_GETTEXTLENGTH, 0, 0, timeout_ms)) {
        std::vector<wchar_t> buffer(static_cast<size_t>(*length) + 2, L'\0');
        if (auto copied = send(window, WM_GETTEXT, buffer.size(),
                               reinterpret_cast<LPARAM>(buffer.data()), timeout_ms))
            return std::wstring(buffer.data(), static_cast<size_t>(*copied));
    }
    return title_of(window);
}

std::wstring title_of(HWND window) {
    wchar_t stored[1024] = {};
    const int length = InternalGetWindowText(window, stored, 1024);
    return std::wstring(stored, length > 0 ? static_cast<size_t>(length) : 0);
}

DWORD pid_of(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::wstring exe_of(DWORD pid) {
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
    std::wstring full(path, size);
    const size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

bool is_button_with_check(HWND window) {
    if (!same_text_ignoring_case(class_of(window), L"Button")) return false;
    switch (GetWindowLongPtrW(window, GWL_STYLE) & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        return true;
    default:
        return false;
    }
}

std::wstring state_words(HWND window) {
    std::wstring words = IsWindowEnabled(window) ? L"enabled" : L"disabled";
    words += IsWindowVisible(window) ? L" visible" : L" hidden";
    if (is_button_with_check(window)) {
        const auto check = send(window, BM_GETCHECK, 0, 0);
        if (!check)
            words += L" unknown";
        else if (*check == BST_CHECKED)
            words += L" checked";
        else if (*check == BST_INDETERMINATE)
            words += L" indeterminate";
        else
            words += L" unchecked";
    }
    return words;
}

bool usable(HWND window) {
    for (HWND w = window; w != nullptr; w = GetAncestor(w, GA_PARENT)) {
        if (w == GetDesktopWindow()) break;
        if (!IsWindowEnabled(w)) return false;
    }
    return IsWindowVisible(window) != FALSE;
}

bool same_text_ignoring_case(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace uidriver
