#pragma once
// The update dialog (template 139), the window of update mode: shortly
// after it opens, a worker thread lists the IME's updatable components
// with their installed and available versions, updates each one whose
// available version is newer, writes every step into the message list and
// finally offers the skin packages to IMEs with the "colourful" skin
// driver. "重试更新(&R)" starts another run once one has ended.
//
// Closing ("退　出(&X)", Escape, the close box) while a run is active
// doesn't end the dialog at once: the worker still reports to its controls
// and uses its engine. The close is noted, the worker stops before its
// next item (the one being replaced is finished, never left half done) and
// the dialog closes when the worker has ended. The dialog's thread keeps
// dispatching messages all the while, so the worker's synchronous messages
// to the controls always get through.

#include <windows.h>

#include <atomic>

#include "support/text_slot.h"
#include "support/unique_handle.h"
#include "ui/dialog.h"
#include "update/ime_update.h"
#include "update/update_handlers.h"

namespace ui {

inline constexpr int kUpdateTemplate = 139;
inline constexpr int kRetryButtonId = IDOK;    // 1: "重试更新(&R)"
inline constexpr int kExitButtonId = IDCANCEL;  // 2: "退　出(&X)"
inline constexpr int kUpdateItemListId = 1011;
inline constexpr int kUpdateMessageListId = 1006;
// Fires once, 200 ms after the dialog opened: the first run starts.
inline constexpr UINT_PTR kUpdateStartTimerId = 1;
inline constexpr UINT kUpdateStartDelayMs = 200;
// Posted by the worker as its last act.
inline constexpr UINT kUpdateWorkerFinishedMessage = WM_APP + 21;

// The item list's columns, left to right.
inline constexpr int kStatusColumn = 0;
inline constexpr int kLocalVersionColumn = 1;
inline constexpr int kNewVersionColumn = 2;
inline constexpr int kTypeColumn = 3;
inline constexpr int kNameColumn = 4;

// The user-visible texts.
inline constexpr const wchar_t* kUpdateTitleFormat = L"%ls - 更新程序";
inline constexpr const wchar_t* kUpdateAttachFailedText = L"初始化ZZIMEUpdate发生错误";
inline constexpr const wchar_t* kItemPendingText = L"-";
inline constexpr const wchar_t* kItemDoneText = L"完成";
inline constexpr const wchar_t* kItemFailedText = L"失败";
inline constexpr const wchar_t* kUpdateFinishedText = L"更新完毕";
inline constexpr const wchar_t* kSkinQuestionText = L"是否检查服务器上的最新皮肤包？";
inline constexpr const wchar_t* kSkinQuestionCaption = L"colourful驱动更新";
// The skin driver whose IMEs are offered skin packages.
inline constexpr const wchar_t* kColourfulSkinDriver = L"colourful";
// The byte total in the status cell: bytes up to this many, above it KB.
inline constexpr int kLargestByteCount = 10240;
inline constexpr const wchar_t* kByteCountFormat = L"%d B";
inline constexpr const wchar_t* kKilobyteCountFormat = L"%d KB";

// The status cell's text for a byte total: "" for 0 (nothing to show),
// "%d B" up to 10240, else "%d KB" of the total divided by 1024.
support::TextSlot<10> byte_count_text(int total);

class CZZ_AutoUpdateDlg : public Dialog {
public:
    CZZ_AutoUpdateDlg();
    // Waits for a worker that still runs (dispatching this thread's
    // messages meanwhile): the worker never outlives the dialog.
    ~CZZ_AutoUpdateDlg() override;

    void set_ime_name(const wchar_t* ime_name) { ime_name_.assign(ime_name != nullptr ? ime_name : L""); }
    const wchar_t* ime_name() const noexcept { return ime_name_.c_str(); }
    // True while no run is active.
    bool idle() const noexcept { return idle_.load() != 0; }
    update::ZZIMEUpdate& engine() noexcept { return engine_; }

    // The worker thread's routine: takes the dialog, returns 0.
    static DWORD WINAPI update_worker(void* dialog);
    // The engine's handlers; `dialog` is the dialog they were attached with.
    static void on_progress(const update::UpdateNotice* notice, void* dialog);
    static void on_notice(const update::UpdateNotice* notice, void* dialog);

protected:
    BOOL on_init() override;
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;
    // "重试更新(&R)" and Enter: another run, only when none is active.
    void on_ok() override { start_run(); }
    // "退　出(&X)", Escape and the close box.
    void on_cancel() override;

private:
    void set_up_columns();
    void start_run();
    // The worker's body, on the worker thread.
    void run_worker();
    void list_candidates();
    void update_candidates();
    void offer_skin_packages();
    void select_row(int row) const;
    void set_cell(int row, int column, const wchar_t* text) const;
    // The worker's end, on the dialog thread.
    void worker_finished();
    // Waits for the worker, dispatching this thread's messages.
    void join_worker();

    HICON icon_;
    support::NameSlot ime_name_;
    std::atomic<int> idle_{1};
    // Set by a close during a run: the worker stops before its next item.
    std::atomic<bool> closing_{false};
    // The dialog window the worker reports to, fixed before it starts.
    HWND window_ = nullptr;
    update::ZZIMEUpdate engine_;
    support::UniqueHandle worker_;
};

}  // namespace ui
