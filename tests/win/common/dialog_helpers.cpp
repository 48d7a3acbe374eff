#include "dialog_helpers.h"

#include <vector>

namespace wintest {

bool pump_until(const std::function<bool()>& done, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void pump_for(DWORD milliseconds) {
    pump_until([] { return false; }, milliseconds);
}

namespace {

struct Search {
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<Search*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    if (std::wstring(class_name) != L"#32770") return TRUE;
    wchar_t title[512] = {};
    GetWindowTextW(window, title, 512);
    if (search.caption[0] != L'\0' && std::wstring(title) != search.caption) return TRUE;
    search.found = window;
    return FALSE;
}

std::wstring window_text(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    return text.data();
}

}  // namespace

HWND find_dialog(const wchar_t* caption) {
    Search search{caption, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DialogAnswer::DialogAnswer(const wchar_t* caption, int button, DWORD timeout_ms)
    : thread_(&DialogAnswer::run, this, std::wstring(caption), button, timeout_ms) {}

DialogAnswer::~DialogAnswer() {
    if (thread_.joinable()) thread_.join();
}

void DialogAnswer::run(std::wstring caption, int button, DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    while (GetTickCount64() < deadline) {
        if (HWND dialog = find_dialog(caption.c_str())) {
            // Let the box finish setting itself up before it is answered.
            Sleep(50);
            if (HWND message = GetDlgItem(dialog, 0xFFFF)) text_ = window_text(message);
            seen_ = true;
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
            break;
        }
        Sleep(20);
    }
    finished_ = true;
}

bool DialogAnswer::wait(DWORD timeout_ms) {
    pump_until([this] { return finished_.load(); }, timeout_ms);
    if (thread_.joinable() && finished_) thread_.join();
    return seen_;
}

std::wstring DialogAnswer::text() const { return finished_ ? text_ : std::wstring(); }

}  // namespace wintest
