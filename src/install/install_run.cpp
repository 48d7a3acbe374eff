#include "install/install_run.h"

#include <commctrl.h>

#include "app/process_records.h"

namespace install {

InstallRun make_install_run(HWND page, const package::InstallInfo* info, app::RunContext* context) {
    InstallRun run;
    run.page = page;
    if (page != nullptr) {
        run.step_list = GetDlgItem(page, kStepListId);
        run.progress_bar = GetDlgItem(page, kProgressBarId);
    }
    run.context = context != nullptr ? context : app::run_context();
    run.info = info;
    return run;
}

namespace {

// The list scrolls to its new last row as if the user had pressed End:
// the key's code goes in both message parameters.
constexpr WPARAM kEndKey = VK_END;

void append_row(HWND list, const wchar_t* text) {
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = count;
    item.pszText = const_cast<wchar_t*>(text);  // the list copies the text
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list, WM_KEYDOWN, kEndKey, static_cast<LPARAM>(kEndKey));
}

}  // namespace

void post_progress(InstallRun& run, int position, const wchar_t* text) {
    if (position >= 0) {
        run.progress_position = position;
        if (run.progress_bar != nullptr) SendMessageW(run.progress_bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    // A record without a list (a step called on its own) only keeps the position.
    if (text != nullptr && run.step_list != nullptr) append_row(run.step_list, text);
}

void report_failure(InstallRun& run, const wchar_t* what, unsigned long error) {
    if (run.report == nullptr) return;
    const DWORD last = GetLastError();
    run.report->failure(what != nullptr ? what : L"", error);
    SetLastError(last);
}

}  // namespace install
