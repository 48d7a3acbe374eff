#pragma once
// Finding windows the way a test names them.
//
// A top-level window is named by its exact title ("安装程序提示信息"), or by
// a prefixed form: "title:TEXT", "part:TEXT" (title contains TEXT),
// "class:NAME", "hwnd:0x1A2B" or "desktop:" (the whole desktop).
// A control is named by its dialog ID, optionally with its class
// ("1005:Edit") where several controls share an ID on different pages; it is
// searched among all descendants, and a visible match wins over hidden ones.

#include "options.h"

#include <windows.h>

#include <string>
#include <vector>

namespace uidriver {

struct WindowSpec {
    enum class Kind { Title, Part, Class, Handle, Desktop };
    Kind kind = Kind::Title;
    std::wstring value;
    HWND handle = nullptr;

    std::wstring describe() const;
};
WindowSpec parse_window_spec(const std::wstring& text);

struct ControlSpec {
    int id = 0;
    std::wstring class_name;  // empty: any class

    std::wstring describe() const;
};
ControlSpec parse_control_spec(const std::wstring& text);

// Top-level windows matching now, front-most first.
std::vector<HWND> find_windows(const WindowSpec& spec, const Options& options);
// Waits for a match; a time-out fails with exit code 3.
HWND wait_window(const WindowSpec& spec, const Options& options);
// Waits until no window matches.
void wait_window_gone(const WindowSpec& spec, const Options& options);

HWND find_control(HWND top, const ControlSpec& spec);
// Waits for the window and for the control inside it (pages of a dialog
// may be created after the dialog itself).
HWND wait_control(const WindowSpec& window, const ControlSpec& control, const Options& options);

// Every top-level window / every descendant, in the system's order.
std::vector<HWND> all_top_level_windows();
std::vector<HWND> all_descendants(HWND top);

}  // namespace uidriver
