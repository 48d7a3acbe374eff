#pragma once
// Pictures of windows for the test reports, saved as PNG through GDI+.

#include "options.h"

#include <windows.h>

#include <string>

namespace uidriver {

struct ShotSize {
    int width = 0;
    int height = 0;
};

// Copies the window's rectangle from the screen: what a person sees,
// including a message box in front of it. (PrintWindow is no choice here:
// Wine's device contexts are private to their process, so another process
// can't draw into ours.) Waits, within the time-out, for two equal pictures
// in a row, so that a window still painting is not caught half drawn; then
// writes the PNG.
ShotSize save_screenshot(HWND window, const std::wstring& path, const Options& options);

}  // namespace uidriver
