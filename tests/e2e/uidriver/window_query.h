#pragma once
// Facts about windows of any process: class, title, owner, text, state.
// Messages to other processes go with a time-out, so that a program busy
// inside a long handler never hangs the driver.

#include <windows.h>

#include <optional>
#include <string>

namespace uidriver {

// The per-message time-out for windows of other processes.
inline constexpr UINT kSendTimeoutMs = 3000;

std::optional<LRESULT> send(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                            UINT timeout_ms = kSendTimeoutMs);

std::wstring class_of(HWND window);
// The text as the window's own procedure answers WM_GETTEXT (an edit's
// contents); the text the system keeps for the window when the owner
// doesn't answer in time.
std::wstring text_of(HWND window, UINT timeout_ms = kSendTimeoutMs);
// The title the system keeps for a window; never waits for its owner.
std::wstring title_of(HWND window);
DWORD pid_of(HWND window);
// The image file name ("imesetup.exe") of a process, empty if unknown.
std::wstring exe_of(DWORD pid);

bool is_button_with_check(HWND window);
// "enabled visible checked" and the like; "checked" / "unchecked" /
// "indeterminate" only for check boxes and radio buttons.
std::wstring state_words(HWND window);
// Enabled with all its parents: what a person can click.
bool usable(HWND window);

bool same_text_ignoring_case(const std::wstring& a, const std::wstring& b);

}  // namespace uidriver
