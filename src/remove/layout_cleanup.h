#pragma once
// Taking the product's input method out of the system on uninstall: its
// keyboard layout leaves the current user's preload list and the system's
// layout keys, is unloaded, every top-level window hears that the preload
// list changed, and the IME file leaves the system folder (at once, or at
// the next restart while a process still holds it).

#include <windows.h>

#include "support/run_report.h"

namespace removal {

// The text the setting-change broadcast names as the changed setting.
inline constexpr wchar_t kPreloadSetting[] = L"HKEY_CURRENT_USER\\Keyboard Layout\\Preload";

// How long the last broadcast waits for each window that still answers; a
// window that stopped answering is skipped at once.
inline constexpr UINT kPlainBroadcastWaitMs = 5000;

// The layout handle as its key and preload text: "%X" (E0200804).
void layout_text(HKL layout, wchar_t (&text)[20]);

// Deletes the first value of HKCU "Keyboard Layout\Preload" whose text
// equals `text` without regard to case; the other values keep their names.
// True when a value was deleted.
bool remove_preload_entry(const wchar_t* text);

// Deletes the subkey named `text` (case ignored) of HKLM `layouts_key`.
// True when one was deleted; false also when the key doesn't open.
bool remove_layout_key(const wchar_t* layouts_key, const wchar_t* text);

// Tells all top-level windows that the preload list changed: first with
// SMTO_NOTIMEOUTIFNOTHUNG, which waits for every window that keeps
// answering and gives up on a hung one after 100 ms; retried after an
// empty message box while
// the process-wide retry counter allows (five boxes at most per process),
// then once more, skipping hung windows and waiting at most
// kPlainBroadcastWaitMs for each other one. True when the last send
// reached every window.
bool broadcast_preload_change();

// Deletes `path`, or when that fails schedules its deletion at the next
// restart. True when it is deleted or scheduled.
bool delete_or_schedule(const wchar_t* path);

// The whole cleanup for the IME "<product_name>.zin.ime". Returns 1 when
// the IME's layout was found in the thread's layout list and the cleanup
// ran; 0 when there is none, or `product_name` isn't one plain file name
// that fits, and then nothing at all is touched. The layout's keys and
// the IME file removed (or left for the restart) go to `report` (when
// given).
int clean_up_ime_layout(const wchar_t* product_name, support::RunReport* report = nullptr);

}  // namespace removal
