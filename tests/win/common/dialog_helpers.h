#pragma once
// Driving dialogs from a test: pumping the test thread's messages while
// waiting (dialogs created on it answer only then), and a helper thread
// that waits for a dialog or message box of this process by its caption,
// reads its text and presses one of its buttons, as a user would.

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace wintest {

// Dispatches this thread's messages until `done` holds or `timeout_ms`
// has passed; true when it held.
bool pump_until(const std::function<bool()>& done, DWORD timeout_ms = 20000);
// Dispatches this thread's messages for `milliseconds`.
void pump_for(DWORD milliseconds);

// A top-level window of this process with that exact caption (class
// "#32770": dialogs and message boxes), or null. An empty caption matches
// any such window (for system dialogs whose caption follows the locale).
HWND find_dialog(const wchar_t* caption);

// A hidden pop-up window (a plain static: nothing in it answers messages)
// at a known place, for dialogs and pages that need a parent.
class HiddenParent {
public:
    HiddenParent(int x, int y, int width, int height)
        : window_(CreateWindowExW(0, L"STATIC", L"parent", WS_POPUP, x, y, width, height, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr)) {}
    ~HiddenParent() { DestroyWindow(window_); }
    HiddenParent(const HiddenParent&) = delete;
    HiddenParent& operator=(const HiddenParent&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

class DialogAnswer {
public:
    // Starts waiting (up to `timeout_ms`) for the dialog `caption`; when it
    // appears, keeps its text (a message box's message) and posts the
    // command `button` to it.
    DialogAnswer(const wchar_t* caption, int button, DWORD timeout_ms = 20000);
    ~DialogAnswer();
    DialogAnswer(const DialogAnswer&) = delete;
    DialogAnswer& operator=(const DialogAnswer&) = delete;

    // Waits for the answer (pumping this thread); true when it was given.
    bool wait(DWORD timeout_ms = 20000);
    bool seen() const { return seen_.load(); }
    // The message box's text (its static 0xFFFF), empty for other dialogs.
    std::wstring text() const;

private:
    void run(std::wstring caption, int button, DWORD timeout_ms);

    std::atomic<bool> seen_{false};
    std::atomic<bool> finished_{false};
    std::wstring text_;
    std::thread thread_;
};

}  // namespace wintest
