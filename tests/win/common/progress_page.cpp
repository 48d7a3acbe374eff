#include "progress_page.h"

#include <commctrl.h>

namespace wintest {

namespace {

constexpr int kStepListId = 1006;
constexpr int kProgressBarId = 1008;

}  // namespace

ProgressPage::ProgressPage() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    // A static window is enough of a parent: nothing here answers messages.
    window_ = CreateWindowExW(0, L"STATIC", L"progress", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_NOCOLUMNHEADER, 0, 0, 400, 250,
                                window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStepListId)),
                                GetModuleHandleW(nullptr), nullptr);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 380;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 260, 400, 20, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBarId)), GetModuleHandleW(nullptr),
                    nullptr);
    shown_ = std::make_unique<ui::StepLogReport>(window_);
    tee_ = std::make_unique<support::TeeReport>(*shown_, recorder_);
}

bool ReportRecorder::has(support::Touch kind, const std::wstring& what) const {
    for (const auto& [reported, path] : changes_)
        if (reported == kind && CompareStringOrdinal(path.c_str(), -1, what.c_str(), -1, TRUE) == CSTR_EQUAL)
            return true;
    return false;
}

ProgressPage::~ProgressPage() {
    if (window_ != nullptr) DestroyWindow(window_);
}

std::vector<std::wstring> ProgressPage::rows() const {
    HWND list = GetDlgItem(window_, kStepListId);
    std::vector<std::wstring> rows;
    const auto count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[1024] = {};
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = 1024;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        rows.emplace_back(text);
    }
    return rows;
}

int ProgressPage::position() const {
    return static_cast<int>(SendMessageW(GetDlgItem(window_, kProgressBarId), PBM_GETPOS, 0, 0));
}

}  // namespace wintest
