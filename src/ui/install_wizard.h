#pragma once
// The install wizard (template 138): greets the user with the product's
// name, lets the licence be read and accepted, the directory and the user
// be chosen on two tabbed pages, and runs the install on a worker thread
// while the progress page shows the step rows.
//
// Button 1 is the whole flow: disabled until "接受协议" is chosen, then
// "立即安装(&S)" (check the IME isn't loaded, start the worker), and after
// the run "完成安装(&O)" or "退出安装(&O)", which closes the wizard. While
// the worker runs the wizard can't be closed: the worker works on its
// controls until the end.
//
// The wizard shows while the package is still being extracted behind it
// (app::background_unpack()): a thin bar over the line above the buttons
// shows how far it is, the install button stays disabled and the licence
// link waits for it. Once every file is out the bar goes and the wizard
// is the same as one shown after the extraction; an extraction that fails
// closes the wizard (the start-up then says so).

#include <windows.h>

#include <atomic>

#include "support/unique_handle.h"
#include "ui/dialog.h"
#include "ui/directory_page.h"
#include "ui/progress_page.h"
#include "ui/user_page.h"

namespace ui {

inline constexpr int kWizardTemplate = 138;
inline constexpr int kInstallButtonId = IDOK;  // 1
inline constexpr int kLicenceLinkId = 1002;
inline constexpr int kAcceptRadioId = 1012;
inline constexpr int kRefuseRadioId = 1013;
inline constexpr int kTabControlId = 1019;
inline constexpr int kPageFrameId = 1021;
inline constexpr int kDirectoryTab = 0;
inline constexpr int kUserTab = 1;
// Posted by the worker to the wizard as its last act.
inline constexpr UINT kWorkerFinishedMessage = WM_APP + 1;
// The extraction's bar, and the timer that looks at the extraction.
inline constexpr int kUnpackBarId = 1100;
inline constexpr UINT_PTR kUnpackTimerId = 1;
inline constexpr UINT kUnpackTimerMs = 50;

class CZZ_Install_BaseDlg : public Dialog {
public:
    CZZ_Install_BaseDlg();
    // Waits for a worker that still runs, then destroys the window (and
    // with it the pages).
    ~CZZ_Install_BaseDlg() override;

    CZZ_Install_Begain& progress_page() noexcept { return progress_; }
    CZZ_Install_SelectDir& directory_page() noexcept { return directory_; }
    CZZ_Install_User& user_page() noexcept { return user_; }
    // True from the moment the install button starts the worker until the
    // worker has ended.
    bool worker_running() const noexcept { return running_.load(); }
    // True once the worker has started the install run (whatever came of
    // it): a wizard closed before that was cancelled.
    bool install_ran() const noexcept { return install_ran_.load(); }

    // The worker thread's routine: takes the dialog, returns 0.
    static DWORD WINAPI install_worker(void* dialog);

protected:
    BOOL on_init() override;
    bool on_command(int id, int code, HWND control) override;
    bool on_notify(int id, NMHDR& header, LRESULT& result) override;
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;
    // Cancel, Escape and the close box; refused while the worker runs.
    void on_cancel() override;

private:
    void create_pages();
    void set_up_tabs();
    // Shows the page of the current tab and hides the others.
    void show_pages_for_tab();
    void on_install_button();
    void start_worker();
    // The worker's body (install_worker), on the worker thread.
    void run_worker();
    // The worker's end, on the dialog thread.
    void worker_finished();
    void report_not_created(const wchar_t* directory);
    bool draw_licence_link(const DRAWITEMSTRUCT& item);
    // The bar and the timer while the extraction runs.
    void watch_unpack();
    // On the timer: the bar moved on; at the extraction's end the bar
    // goes and the install button follows the licence choice again.
    void on_unpack_timer();

    CZZ_Install_Begain progress_;
    CZZ_Install_SelectDir directory_;
    CZZ_Install_User user_;
    HICON icon_;
    HWND unpack_bar_ = nullptr;
    support::UniqueHandle worker_;
    std::atomic<bool> running_{false};
    std::atomic<bool> install_ran_{false};
};

}  // namespace ui
