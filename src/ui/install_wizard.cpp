#include "ui/install_wizard.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "app/background_unpack.h"
#include "app/process_records.h"
#include "support/format_bounded.h"
#include "support/wide.h"
#include "ui/join_worker.h"
#include "ui/licence_page.h"
#include "ui/minimised_icon.h"
#include "ui/wizard_texts.h"

namespace ui {
namespace {

constexpr int kTabWidth = 100;
constexpr int kTabHeight = 30;
// Where the licence link's text starts inside its button, and its colour
// (blue: the colour value 0xff0000, red in the low byte).
constexpr int kLinkTextX = 5;
constexpr int kLinkTextY = 2;
constexpr COLORREF kLinkColour = 0xff0000;

const wchar_t* display_name() {
    const package::InstallInfo* info = app::install_info();
    return info != nullptr ? support::as_wide(info->display_name) : L"";
}

void insert_tab(HWND tabs, int index, const wchar_t* text) {
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<wchar_t*>(text);
    SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&tab));
}

}  // namespace

CZZ_Install_BaseDlg::CZZ_Install_BaseDlg()
    : Dialog(kWizardTemplate), icon_(program_icon()) {}

CZZ_Install_BaseDlg::~CZZ_Install_BaseDlg() {
    join_worker(worker_, WhileWaiting::dispatch_all);
    destroy();
}

BOOL CZZ_Install_BaseDlg::on_init() {
    set_icon(icon_);
    wchar_t title[260];
    support::format_slot(title, kWizardTitleFormat, display_name());
    set_title(title);

    CheckRadioButton(hwnd(), kAcceptRadioId, kRefuseRadioId, kRefuseRadioId);
    set_item_text(kInstallButtonId, kInstallNowText);
    enable_item(kInstallButtonId, false);

    create_pages();
    set_up_tabs();
    show_pages_for_tab();
    watch_unpack();
    return TRUE;
}

// The bar lies over the etched line above the buttons (7, 169 to 256, 173
// in dialog units), which shows again once it has gone.
void CZZ_Install_BaseDlg::watch_unpack() {
    if (app::unpack_ready()) return;
    RECT place{7, 169, 256, 173};
    MapDialogRect(hwnd(), &place);
    unpack_bar_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, hwnd(),
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kUnpackBarId)), nullptr, nullptr);
    SendMessageW(unpack_bar_, PBM_SETRANGE32, 0, 1000);
    SetTimer(hwnd(), kUnpackTimerId, kUnpackTimerMs, nullptr);
    on_unpack_timer();
}

void CZZ_Install_BaseDlg::on_unpack_timer() {
    const app::BackgroundUnpack* unpack = app::background_unpack();
    const auto state = unpack != nullptr ? unpack->state() : app::BackgroundUnpack::State::done;
    if (state == app::BackgroundUnpack::State::running) {
        const std::uint64_t size = unpack->package_size();
        const std::uint64_t read = std::min(unpack->bytes_read(), size);
        SendMessageW(unpack_bar_, PBM_SETPOS, size != 0 ? static_cast<WPARAM>(read * 1000 / size) : 0, 0);
        return;
    }
    KillTimer(hwnd(), kUnpackTimerId);
    if (unpack_bar_ != nullptr) DestroyWindow(unpack_bar_);
    unpack_bar_ = nullptr;
    if (state != app::BackgroundUnpack::State::done) {
        // Nothing can be installed from a part of the package.
        end(IDABORT);
        return;
    }
    if (!running_ && is_checked(kAcceptRadioId)) enable_item(kInstallButtonId, true);
}

// The pages fill the frame 1021, above it and in the tab order right
// after the tab control, in the order progress, user, directory.
void CZZ_Install_BaseDlg::create_pages() {
    HWND frame = item(kPageFrameId);
    RECT place{};
    GetWindowRect(frame, &place);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&place), 2);
    HWND before = GetWindow(frame, GW_HWNDPREV);
    for (Page* page : {static_cast<Page*>(&progress_), static_cast<Page*>(&user_), static_cast<Page*>(&directory_)}) {
        HWND window = page->create_modeless(hwnd());
        if (window == nullptr) continue;
        SetWindowPos(window, before != nullptr ? before : HWND_TOP, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOACTIVATE);
        before = window;
    }
}

void CZZ_Install_BaseDlg::set_up_tabs() {
    HWND tabs = item(kTabControlId);
    SendMessageW(tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(kTabWidth, kTabHeight));
    insert_tab(tabs, kDirectoryTab, kDirectoryTabText);
    insert_tab(tabs, kUserTab, kUserTabText);
    SendMessageW(tabs, TCM_SETMINTABWIDTH, 0, kTabWidth);
    SendMessageW(tabs, TCM_SETCURSEL, kDirectoryTab, 0);
}

void CZZ_Install_BaseDlg::show_pages_for_tab() {
    const auto tab = static_cast<int>(send_item(kTabControlId, TCM_GETCURSEL));
    ShowWindow(progress_.hwnd(), SW_HIDE);
    ShowWindow(directory_.hwnd(), tab == kDirectoryTab ? SW_SHOW : SW_HIDE);
    ShowWindow(user_.hwnd(), tab == kUserTab ? SW_SHOW : SW_HIDE);
}

bool CZZ_Install_BaseDlg::on_command(int id, int code, HWND control) {
    switch (id) {
    case kInstallButtonId:
        on_install_button();
        return true;
    case kLicenceLinkId: {
        // An owner-drawn button also reports double clicks: one page.
        if (code != BN_CLICKED) return true;
        // The licence is one of the package's files: it must be out.
        if (!app::unpack_ready()) {
            const HCURSOR before = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            app::BackgroundUnpack* unpack = app::background_unpack();
            const bool out = unpack == nullptr || unpack->wait();
            SetCursor(before);
            on_unpack_timer();
            if (!out) return true;
        }
        CZZ_Install_Licence licence;
        licence.run_modal(hwnd());
        return true;
    }
    case kAcceptRadioId:
        // Not while the worker owns the button, nor before every file is out.
        if (!running_ && app::unpack_ready()) enable_item(kInstallButtonId, true);
        return true;
    case kRefuseRadioId:
        if (!running_) enable_item(kInstallButtonId, false);
        return true;
    default:
        return Dialog::on_command(id, code, control);
    }
}

bool CZZ_Install_BaseDlg::on_notify(int id, NMHDR& header, LRESULT& /*result*/) {
    if (id != kTabControlId || header.code != TCN_SELCHANGE) return false;
    show_pages_for_tab();
    return true;
}

void CZZ_Install_BaseDlg::on_cancel() {
    if (running_) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    Dialog::on_cancel();
}

bool CZZ_Install_BaseDlg::on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) {
    switch (message) {
    case WM_PAINT:
    case WM_QUERYDRAGICON:
        return handle_minimised_icon(hwnd(), icon_, message, result);
    case WM_DRAWITEM:
        if (!draw_licence_link(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) return false;
        set_message_result(TRUE);
        result = TRUE;
        return true;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wparam) != item(kLicenceLinkId)) return false;
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        set_message_result(TRUE);
        result = TRUE;
        return true;
    case kWorkerFinishedMessage:
        worker_finished();
        result = TRUE;
        return true;
    case WM_TIMER:
        if (wparam != kUnpackTimerId) return false;
        on_unpack_timer();
        result = TRUE;
        return true;
    default:
        return false;
    }
}

// The licence link looks like a link: blue text on the dialog's face, a
// focus frame when it has the keyboard.
bool CZZ_Install_BaseDlg::draw_licence_link(const DRAWITEMSTRUCT& item) {
    if (item.CtlID != static_cast<UINT>(kLicenceLinkId)) return false;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    const auto font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
    const HGDIOBJ old_font = font != nullptr ? SelectObject(item.hDC, font) : nullptr;
    SetTextColor(item.hDC, kLinkColour);
    SetBkMode(item.hDC, TRANSPARENT);
    TextOutW(item.hDC, kLinkTextX, kLinkTextY, kLicenceLinkText, static_cast<int>(std::size(kLicenceLinkText) - 1));
    if (old_font != nullptr) SelectObject(item.hDC, old_font);
    if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(item.hDC, &item.rcItem);
    return true;
}

}  // namespace ui
