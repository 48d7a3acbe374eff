#pragma once
// The skin package dialog "colourful皮肤驱动更新" (template 141), opened by
// the update dialog for IMEs with the colourful skin driver.
//
// Shortly after it opens, a worker thread has the skin engine load the
// server's skin list, lists every skin with a check box, then downloads
// each skin's package and preview picture into the temporary directory
// (the selected row's third column counts the bytes). Moving to another
// row shows that row's preview picture beside the dialog. "安装选中皮肤"
// copies the checked packages into the IME's install directory and closes
// the dialog; neither it nor "取消" does anything but say "请稍候..."
// while the worker runs.
//
// The dialog runs modally on the calling thread (the update dialog's
// worker). Its worker sends to the dialog's controls, so the dialog's
// thread keeps pumping until the worker has ended whichever way the
// dialog goes.

#include <windows.h>

#include <atomic>

#include "support/text_slot.h"
#include "support/unique_handle.h"
#include "ui/dialog.h"
#include "ui/png_show.h"
#include "update/skin_update.h"

namespace ui {

// Shows the skin package dialog modally over `parent` for the IME
// `ime_name`. Returns IDOK when "安装选中皮肤" closed it (after copying the
// checked packages), IDCANCEL when it was cancelled, -1 when it could not
// be created.
int run_skin_zip_update_dialog(HWND parent, const wchar_t* ime_name);

inline constexpr int kSkinZipTemplate = 141;
inline constexpr int kSkinInstallButtonId = IDOK;    // 1: "安装选中皮肤"
inline constexpr int kSkinCancelButtonId = IDCANCEL;  // 2: "取消"
inline constexpr int kSkinListId = 1006;
// Fires once, 10 ms after the dialog opened: the run starts.
inline constexpr UINT_PTR kSkinStartTimerId = 100;
inline constexpr UINT kSkinStartDelayMs = 10;
// Posted by the worker as its last act.
inline constexpr UINT kSkinWorkerFinishedMessage = WM_APP + 11;

// The user-visible texts.
inline constexpr const wchar_t* kSkinAttachFailedText = L"初始化ZZIMEUpdate发生错误";
inline constexpr const wchar_t* kSkinBusyText = L"更新进程正在运行，请稍候重试！";
inline constexpr const wchar_t* kSkinBusyCaption = L"请稍候...";
inline constexpr const wchar_t* kSkinCopyFailedText = L"替换目标文件失败，是否重试？";
inline constexpr const wchar_t* kSkinCopyFailedCaption = L"皮肤包更新错误";

class CZZ_SkinZipUpdateDlg : public Dialog {
public:
    CZZ_SkinZipUpdateDlg() noexcept : Dialog(kSkinZipTemplate) {}
    // Waits for a worker that still runs (dispatching this thread's
    // messages meanwhile), so the worker never outlives the dialog.
    ~CZZ_SkinZipUpdateDlg() override;

    void set_ime_name(const wchar_t* ime_name) { ime_name_.assign(ime_name != nullptr ? ime_name : L""); }
    const wchar_t* ime_name() const noexcept { return ime_name_.c_str(); }

    // True from the start timer until the worker's run has ended.
    bool running() const noexcept { return idle_.load() == 0; }
    update::ZZSKINZIPUpdate& engine() noexcept { return engine_; }
    CZZ_PNGSHOW& preview() noexcept { return preview_; }

    // The worker thread's routine: takes the dialog, returns 0.
    static DWORD WINAPI skin_worker(void* dialog);
    // The engine's progress handler: the byte total into the third column
    // of the first selected row.
    static void on_progress(const update::UpdateNotice* notice, void* dialog);

protected:
    BOOL on_init() override;
    bool on_notify(int id, NMHDR& header, LRESULT& result) override;
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;
    void on_ok() override;
    void on_cancel() override;
    void on_destroy() override;

private:
    void set_up_columns();
    void start_worker();
    void run_worker();
    void list_candidates();
    void download_candidates();
    void select_row(int row);
    void preview_row(int row);
    void install_checked();
    void copy_package(const update::UpdateEntry& candidate);
    // Waits for the worker, dispatching this thread's messages.
    void join_worker();

    support::NameSlot ime_name_;
    std::atomic<int> idle_{1};
    // Set when the window goes: the worker stops before its next download.
    std::atomic<bool> stopping_{false};
    bool run_started_ = false;
    // The dialog window the worker reports to, fixed before it starts.
    HWND window_ = nullptr;
    update::ZZSKINZIPUpdate engine_;
    CZZ_PNGSHOW preview_;
    support::UniqueHandle worker_;
};

// The row whose preview was shown last, in this process: -1 until the
// first preview, never reset (the same row is not loaded twice in a row).
int last_previewed_skin_row() noexcept;

}  // namespace ui
