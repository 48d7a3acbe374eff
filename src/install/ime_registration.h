#pragma once
// The IME half of the run's second step: the product's IME file goes from
// the install folder into the system folder as "<ime name>.zin.ime" and is
// registered with the input-method manager; the registration is confirmed
// by finding its keyboard layout. The layout lookup also serves the
// removal, which must find the layout it unloads and deletes.

#include <windows.h>

#include "app/records.h"

namespace install {

struct InstallRun;

// The row added to the step list when the IME file can't be placed in the
// system folder; %ls is the installed IME file's path.
inline constexpr wchar_t kImeCopyFailedRow[] = L"复制IME文件到系统目录发生错误，复制文件路径：%ls";

// "<system folder>\<ime_name>.zin.ime" (no doubled backslash when the
// system folder is reported with one). false, with `path` empty, when
// `ime_name` isn't one plain file name or the path doesn't fit.
bool system_ime_path(wchar_t (&path)[app::kPathUnits], const wchar_t* ime_name);

// Moves "<install dir><ime_name>.ime" onto the system IME file (through
// place_file: never written in place; in use, replaced at the next
// restart) and registers the system file with
// its layout text. A layout already registered for that file name is kept:
// the file is registered again so that the layout text is current, and a
// second layout that Wine's manager makes for the same file is removed
// again (Windows' manager reuses the registration itself). Returns the layout
// found for "<ime_name>.zin.ime", or 0: after a failed copy (with the row
// kImeCopyFailedRow in the step list) or when no layout can be found.
// With a journal, the system IME file is recorded before it is written and
// a layout this call registered is recorded after it.
HKL register_ime(InstallRun& run);

// The first layout of the calling thread's keyboard-layout list whose IME
// file name, as the input-method manager reports it, has `ime_file_name`
// as its file-name part, compared without regard to case (Windows reports
// the bare file name, Wine the full path the file was registered with).
// 0 when there is none; a layout that is no IME never matches.
HKL find_ime_layout(const wchar_t* ime_file_name);

}  // namespace install
