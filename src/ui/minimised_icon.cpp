#include "ui/minimised_icon.h"

namespace ui {

bool paint_minimised_icon(HWND dialog, HICON icon) {
    if (!IsIconic(dialog)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    GetClientRect(dialog, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(dialog, &paint);
    return true;
}

bool handle_minimised_icon(HWND dialog, HICON icon, UINT message, INT_PTR& result) {
    if (message == WM_QUERYDRAGICON) {
        result = reinterpret_cast<INT_PTR>(icon);
        return true;
    }
    if (message != WM_PAINT || !paint_minimised_icon(dialog, icon)) return false;
    result = TRUE;
    return true;
}

}  // namespace ui
