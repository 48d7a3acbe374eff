#pragma once
// The uninstall dialog CCZZ_Uninstall, the whole user interface of the
// uninstall mode: the step list, the progress bar and one button. Pressed
// as "卸载(&U)" it checks that no process holds the IME file and runs the
// uninstall on this thread, logging the steps; it then reads "完成(&O)"
// and closes the dialog when pressed again. The title bar's close box and
// Escape cancel (result IDCANCEL) before or after the run.

#include <windows.h>

#include "ui/dialog.h"

namespace ui {

inline constexpr int kUninstallTemplate = 133;
inline constexpr int kUninstallButtonId = IDOK;
inline constexpr wchar_t kUninstallTitleSuffix[] = L" - 卸载程序";
inline constexpr wchar_t kUninstallColumnText[] = L"卸载详细信息";
inline constexpr wchar_t kUninstallCaption[] = L"卸载(&U)";
inline constexpr wchar_t kUninstallDoneCaption[] = L"完成(&O)";

// The dialog's result when the user kept a process holding the IME file:
// nothing was removed, and the program is to end with exit code 1.
inline constexpr INT_PTR kUninstallAbandoned = 0;

class CCZZ_Uninstall : public Dialog {
public:
    CCZZ_Uninstall();

    // True once the loaded-IME check was cancelled (the dialog then ended
    // with kUninstallAbandoned).
    bool abandoned() const noexcept { return abandoned_; }
    // True once the uninstall run has started.
    bool uninstalled() const noexcept { return uninstalled_; }

protected:
    BOOL on_init() override;
    // Button 1 (and Enter): what it does depends on its caption.
    void on_ok() override;

private:
    void start_uninstall();

    HICON icon_;
    bool abandoned_ = false;
    bool uninstalled_ = false;
    bool running_ = false;
};

}  // namespace ui
