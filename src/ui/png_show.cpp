#include "ui/png_show.h"

namespace ui {

int CZZ_PNGSHOW::Show(const wchar_t* path) {
    path_.assign(path != nullptr ? path : L"");
    if (!picture_.load(path_.c_str())) {
        if (hwnd() != nullptr) ShowWindow(hwnd(), SW_HIDE);
        return 0;
    }
    if (hwnd() == nullptr) return 0;
    place_beside_parent(picture_.width(), picture_.height());
    // The skin dialog keeps the focus and the keyboard.
    ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
    draw();
    return 1;
}

void CZZ_PNGSHOW::place_beside_parent(int width, int height) const {
    HWND parent = GetWindow(hwnd(), GW_OWNER);
    if (parent == nullptr) parent = GetParent(hwnd());
    RECT beside{};
    if (parent != nullptr) GetWindowRect(parent, &beside);
    MoveWindow(hwnd(), beside.right + kPreviewGap, beside.top, width, height + kPreviewExtraHeight, TRUE);
}

void CZZ_PNGSHOW::draw() const {
    HDC dc = GetDC(hwnd());
    if (dc == nullptr) return;
    picture_.draw(dc, 0, 0);
    ReleaseDC(hwnd(), dc);
}

// The picture is drawn again whenever the window is uncovered, over the
// background the dialog has just erased.
bool CZZ_PNGSHOW::on_message(UINT message, WPARAM /*wparam*/, LPARAM /*lparam*/, INT_PTR& result) {
    if (message != WM_PAINT || picture_.empty()) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd(), &paint);
    picture_.draw(dc, 0, 0);
    EndPaint(hwnd(), &paint);
    result = TRUE;
    return true;
}

}  // namespace ui
