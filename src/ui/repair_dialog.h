#pragma once
// The repair dialog CZZ_Repair, the whole user interface of the repair
// mode: the step list, the progress bar and one button. At start it makes
// sure that the package kept in the install folder is usable; when it
// isn't, the user is told and the dialog ends refused (the program then
// ends with exit code 1). Pressed as "修复(&R)" the button checks that no
// process holds the IME file and runs the install again from that package
// on this thread, logging its rows; it then reads "完成(&O)" and closes the
// dialog when pressed again. The close box and Escape cancel (IDCANCEL).

#include <windows.h>

#include "ui/dialog.h"

namespace ui {

inline constexpr int kRepairTemplate = 137;
inline constexpr int kRepairButtonId = IDOK;
inline constexpr wchar_t kRepairTitleSuffix[] = L" - 修复程序";
inline constexpr wchar_t kRepairColumnText[] = L"安装详细信息";
inline constexpr wchar_t kRepairCaption[] = L"修复(&R)";
inline constexpr wchar_t kRepairDoneCaption[] = L"完成(&O)";
inline constexpr wchar_t kBackupUnusableText[] = L"安装数据文件不存在或者已经损坏,修复程序无法运行.";
inline constexpr wchar_t kBackupUnusableCaption[] = L"无法执行的操作";

class CZZ_Repair : public Dialog {
public:
    CZZ_Repair();

    // The kept package was missing or unusable: the dialog ended at once,
    // after the box, and nothing was changed.
    bool refused() const noexcept { return refused_; }
    // A repair was started and didn't complete: the kept package turned
    // out unusable, or the install run failed (and undid its work).
    bool failed() const noexcept { return failed_; }
    // A repair was started (whatever came of it).
    bool repaired() const noexcept { return repaired_; }

protected:
    BOOL on_init() override;
    // Button 1 (and Enter): what it does depends on its caption.
    void on_ok() override;

private:
    void start_repair();
    void report_unusable_backup() const;

    HICON icon_;
    bool refused_ = false;
    bool failed_ = false;
    bool repaired_ = false;
    bool running_ = false;
};

}  // namespace ui
