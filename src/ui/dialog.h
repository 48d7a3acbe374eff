#pragma once
// The program's small dialog class over the system's dialog manager: a
// template from the executable's resources, run modally (DialogBoxParamW)
// or created modeless as a window or a child page (CreateDialogParamW),
// with the dialog procedure's messages handed to virtual handlers. Every
// dialog of the program (wizard, pages, loaded-IME check, uninstall,
// repair, update) derives from it.
//
// Handlers run on the thread that owns the window. The object must outlive
// its window: a modeless window still open when the object goes is
// destroyed by the destructor.

#include <windows.h>

#include <cstddef>
#include <string>

namespace ui {

class Dialog {
public:
    explicit Dialog(int template_id) noexcept : template_id_(template_id) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally and returns its result (the value given to
    // end()), or -1 when the window couldn't be made (template missing).
    INT_PTR run_modal(HWND owner);
    // Creates the window modeless, as a child page when the template says
    // WS_CHILD. Shown only when the template says WS_VISIBLE. Null on
    // failure.
    HWND create_modeless(HWND parent);
    // Destroys a modeless window (nothing when there is none).
    void destroy() noexcept;

    // Ends the dialog with `result`: a modal one returns it from
    // run_modal; a modeless one is hidden and keeps it for result().
    void end(INT_PTR result);
    bool ended() const noexcept { return ended_; }
    INT_PTR result() const noexcept { return result_; }

    HWND hwnd() const noexcept { return hwnd_; }
    int template_id() const noexcept { return template_id_; }
    HWND item(int id) const noexcept { return GetDlgItem(hwnd_, id); }

    // Control helpers; they work from any thread (the system sends the
    // messages to the window's own thread).
    void set_title(const wchar_t* text) const { SetWindowTextW(hwnd_, text); }
    void set_item_text(int id, const wchar_t* text) const { SetDlgItemTextW(hwnd_, id, text); }
    // The control's text cut to the buffer (always terminated).
    template <std::size_t N>
    void item_text(int id, wchar_t (&buffer)[N]) const {
        item_text(id, static_cast<wchar_t*>(buffer), N);
    }
    void item_text(int id, wchar_t* buffer, std::size_t units) const;
    std::wstring item_text(int id) const;
    void enable_item(int id, bool enabled) const { EnableWindow(item(id), enabled ? TRUE : FALSE); }
    void show_item(int id, bool shown) const { ShowWindow(item(id), shown ? SW_SHOW : SW_HIDE); }
    bool is_checked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
    LRESULT send_item(int id, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
        return SendDlgItemMessageW(hwnd_, id, message, wparam, lparam);
    }
    // The window's big and small icon.
    void set_icon(HICON icon) const;

protected:
    // WM_INITDIALOG. TRUE lets the system give the first control the focus.
    virtual BOOL on_init() { return TRUE; }
    // WM_COMMAND. The default ends the dialog on IDOK (on_ok) and IDCANCEL
    // (on_cancel), which come from Enter, Escape and the close box too.
    // True when handled.
    virtual bool on_command(int id, int code, HWND control);
    virtual void on_ok() { end(IDOK); }
    virtual void on_cancel() { end(IDCANCEL); }
    // WM_NOTIFY from a control; `result` becomes the message's answer.
    virtual bool on_notify(int /*id*/, NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
    // WM_DESTROY: release what lives in child windows before they go.
    virtual void on_destroy() {}
    // Any other message. True when handled, with `result` the dialog
    // procedure's return value (messages that answer through
    // DWLP_MSGRESULT set it with set_message_result).
    virtual bool on_message(UINT /*message*/, WPARAM /*wparam*/, LPARAM /*lparam*/, INT_PTR& /*result*/) {
        return false;
    }
    void set_message_result(LRESULT value) const { SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, value); }

private:
    static INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR dispatch(UINT message, WPARAM wparam, LPARAM lparam);

    int template_id_;
    HWND hwnd_ = nullptr;
    bool modal_ = false;
    bool ended_ = false;
    INT_PTR result_ = 0;
};

// A child page placed inside another dialog (created with create_modeless
// and the dialog as parent). Enter and Escape belong to the dialog around
// it: a page never ends itself on IDOK or IDCANCEL.
class Page : public Dialog {
public:
    using Dialog::Dialog;

protected:
    void on_ok() override {}
    void on_cancel() override {}
};

// The module whose resources hold the dialog templates: the executable.
HINSTANCE resource_module() noexcept;
// The program's icon (resource 1 of the executable), as every dialog of
// the program shows it; null when the executable has none.
HICON program_icon() noexcept;

}  // namespace ui
