#pragma once
// The loaded-IME check: before the IME file is replaced or removed, every
// running process that has it loaded is found, and when there is any the
// dialog "输入法载入状态" lists them and offers to end them.
//
// Calling protocol (install wizard, uninstall, repair, update):
//
//   ui::CZZ_IMELoadStatus status;
//   if (ui::check_ime_loaded(file_name, status) > 0 && status.run_modal(owner) != 1)
//       ... give up the operation ...
//
// or, in one call, ui::confirm_ime_unloaded(ime_name, owner).

#include <windows.h>

#include <vector>

#include "remove/ime_holders.h"
#include "ui/dialog.h"

namespace ui {

inline constexpr int kImeLoadStatusTemplate = 140;
inline constexpr int kHolderListId = 1006;
inline constexpr int kEndProcessesId = 1015;
// The file name slot: room for the longest IME name (39 characters) with
// ".zin.ime", so that every IME file name is looked for whole; a longer
// text is cut to its first 47 characters.
inline constexpr int kImeFileNameUnits = 48;

// The exit code a process ended from the dialog gets: not 0, so that
// whoever waits for it doesn't take it for a normal end.
inline constexpr UINT kEndedProcessExitCode = 1;

// The rows of the holder list: the first fill, and the fills after
// "结束进程(&E)". The process ID is padded to five places.
inline constexpr wchar_t kFirstRowFormat[] = L"进程ID: %5u    进程名称: %ls";
inline constexpr wchar_t kRescanRowFormat[] = L"ID: %5u    NAME: %ls";

// The IME file as the system directory holds it: "<ime name>.zin.ime".
inline constexpr wchar_t kImeFileFormat[] = L"%ls.zin.ime";

class CZZ_IMELoadStatus : public Dialog {
public:
    CZZ_IMELoadStatus() noexcept : Dialog(kImeLoadStatusTemplate) {}

    // Stores `ime_file_name` (cut to 47 characters), forgets the earlier
    // holders and scans. The number of holders found; 0 also when the
    // process list can't be read. This program's own process is never
    // counted.
    int check(const wchar_t* ime_file_name);

    const wchar_t* ime_file_name() const noexcept { return file_name_; }
    const std::vector<removal::HolderProcess>& holders() const noexcept { return holders_; }

    // "结束进程(&E)": ends every holder it may, waits until they have gone
    // (a second at most), scans again and either ends the dialog with 1
    // (none left) or lists the survivors. Also callable before the window
    // exists.
    void end_processes();

protected:
    BOOL on_init() override;
    bool on_command(int id, int code, HWND control) override;
    // Enter means nothing here: only a scan that finds no holder ends the
    // dialog with 1.
    void on_ok() override {}

private:
    void fill_list(const wchar_t* row_format);

    wchar_t file_name_[kImeFileNameUnits] = {};
    std::vector<removal::HolderProcess> holders_;
};

// Check: `dialog` takes the name and scans; the number of holders.
int check_ime_loaded(const wchar_t* ime_file_name, CZZ_IMELoadStatus& dialog);

// The whole protocol for an IME name: forms "<ime_name>.zin.ime", checks,
// and when something holds the file shows the dialog owned by `owner`.
// True when the operation may go on (nothing held it, or the user ended
// every holder).
bool confirm_ime_unloaded(const wchar_t* ime_name, HWND owner);

}  // namespace ui
