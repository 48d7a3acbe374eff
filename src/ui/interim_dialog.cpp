#include "ui/interim_dialog.h"

#include <windows.h>

#include "app/process_records.h"

namespace ui {
namespace {

struct InterimTexts {
    const wchar_t* caption;
    const wchar_t* text;
};

INT_PTR CALLBACK interim_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* texts = reinterpret_cast<const InterimTexts*>(lparam);
        SetWindowTextW(dialog, texts->caption);
        SetDlgItemTextW(dialog, kInterimTextId, texts->text);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

bool run_interim_dialog(const wchar_t* caption, const wchar_t* text) {
    InterimTexts texts{caption, text};
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kInterimDialogTemplate), nullptr,
                           interim_proc, reinterpret_cast<LPARAM>(&texts)) != -1;
}

const wchar_t* interim_product_label() {
    const app::CommandRecord* command = app::command_record();
    if (command == nullptr) return L"";
    return command->display_name[0] != L'\0' ? command->display_name : command->product_name;
}

}  // namespace ui
