#include "ui/dialog.h"

#include <vector>

namespace ui {

HINSTANCE resource_module() noexcept { return GetModuleHandleW(nullptr); }

HICON program_icon() noexcept { return LoadIconW(resource_module(), MAKEINTRESOURCEW(1)); }

Dialog::~Dialog() { destroy(); }

INT_PTR Dialog::run_modal(HWND owner) {
    modal_ = true;
    ended_ = false;
    return DialogBoxParamW(resource_module(), MAKEINTRESOURCEW(template_id_), owner, dialog_proc,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::create_modeless(HWND parent) {
    modal_ = false;
    ended_ = false;
    return CreateDialogParamW(resource_module(), MAKEINTRESOURCEW(template_id_), parent, dialog_proc,
                              reinterpret_cast<LPARAM>(this));
}

void Dialog::destroy() noexcept {
    if (hwnd_ != nullptr && !modal_) DestroyWindow(hwnd_);
}

void Dialog::end(INT_PTR result) {
    result_ = result;
    ended_ = true;
    if (hwnd_ == nullptr) return;
    if (modal_) EndDialog(hwnd_, result);
    else ShowWindow(hwnd_, SW_HIDE);
}

void Dialog::item_text(int id, wchar_t* buffer, std::size_t units) const {
    if (units == 0) return;
    buffer[0] = L'\0';
    GetDlgItemTextW(hwnd_, id, buffer, static_cast<int>(units));
    buffer[units - 1] = L'\0';
}

std::wstring Dialog::item_text(int id) const {
    HWND control = item(id);
    const int length = GetWindowTextLengthW(control);
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(control, text.data(), length + 1);
    return text.data();
}

void Dialog::set_icon(HICON icon) const {
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

bool Dialog::on_command(int id, int /*code*/, HWND /*control*/) {
    switch (id) {
    case IDOK:
        on_ok();
        return true;
    case IDCANCEL:
        on_cancel();
        return true;
    default:
        return false;
    }
}

INT_PTR CALLBACK Dialog::dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        // The object comes with the creation call; keep it with the window.
        self = reinterpret_cast<Dialog*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        self->hwnd_ = window;
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) and after WM_NCDESTROY
    // have no object: the system's default handling.
    if (self == nullptr) return FALSE;
    const INT_PTR result = self->dispatch(message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR Dialog::dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        return on_init();
    case WM_COMMAND:
        return on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)) ? TRUE : FALSE;
    case WM_NOTIFY: {
        auto& header = *reinterpret_cast<NMHDR*>(lparam);
        LRESULT answer = 0;
        if (!on_notify(static_cast<int>(header.idFrom), header, answer)) return FALSE;
        set_message_result(answer);
        return TRUE;
    }
    case WM_DESTROY:
        on_destroy();
        return FALSE;
    default: {
        INT_PTR result = FALSE;
        return on_message(message, wparam, lparam, result) ? result : FALSE;
    }
    }
}

}  // namespace ui
