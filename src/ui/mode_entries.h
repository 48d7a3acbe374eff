#pragma once
// The four modes' entries that the program hands the start-up
// (app::set_mode_entries): each runs its dialog, or in a silent run its
// engine without a window, and sets the exit code the mode ends with.

#include "app/mode_entries.h"

namespace ui {

app::ModeEntries mode_entries() noexcept;

}  // namespace ui
