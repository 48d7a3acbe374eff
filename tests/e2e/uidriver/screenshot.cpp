#include "screenshot.h"

#include "driver_error.h"
#include "handles.h"
#include "poll.h"

#include <gdiplus.h>

#include <optional>
#include <vector>

namespace uidriver {

MemoryCanvas::MemoryCanvas(HDC reference, int width, int height)
    : dc_(CreateCompatibleDC(reference)),
      bitmap_(CreateCompatibleBitmap(reference, width, height)) {
    if (dc_ != nullptr && bitmap_ != nullptr) previous_ = SelectObject(dc_, bitmap_);
}

MemoryCanvas::~MemoryCanvas() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (dc_ != nullptr) DeleteDC(dc_);
}

namespace {

// GDI+ for the lifetime of one save.
class GdiplusSession {
public:
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (ok_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const { return ok_; }

private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

// The PNG encoder's class ID, the same on every Windows and in Wine.
const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

RECT area_of(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    // Only the part on the desktop can be copied from the screen.
    RECT desktop = {};
    GetWindowRect(GetDesktopWindow(), &desktop);
    RECT visible = {};
    IntersectRect(&visible, &rect, &desktop);
    return visible;
}

std::vector<std::uint32_t> pixels_of(const MemoryCanvas& canvas, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    GetDIBits(canvas.dc(), canvas.bitmap(), 0, static_cast<UINT>(height), pixels.data(), &info,
              DIB_RGB_COLORS);
    return pixels;
}

void capture(const RECT& area, const MemoryCanvas& canvas, HDC screen) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (!BitBlt(canvas.dc(), 0, 0, width, height, screen, area.left, area.top,
                       SRCCOPY | CAPTUREBLT)) {
        fail(L"can't copy from the screen (error " + std::to_wstring(GetLastError()) + L")");
    }
}

void save_png(HBITMAP bitmap, const std::wstring& path) {
    GdiplusSession gdiplus;
    if (!gdiplus.ok()) fail(L"GDI+ can't start");
    Gdiplus::GpBitmap* image = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) != Gdiplus::Ok)
        fail(L"GDI+ can't take the picture");
    const auto status = Gdiplus::DllExports::GdipSaveImageToFile(image, path.c_str(), &kPngEncoder,
                                                                 nullptr);
    Gdiplus::DllExports::GdipDisposeImage(image);
    if (status != Gdiplus::Ok)
        fail(L"can't write the PNG file " + path + L" (GDI+ status " +
             std::to_wstring(static_cast<int>(status)) + L")");
}

}  // namespace

ShotSize save_screenshot(HWND window, const std::wstring& path, const Options& options) {
    const RECT area = area_of(window);
    ShotSize size{area.right - area.left, area.bottom - area.top};
    if (size.width <= 0 || size.height <= 0) fail(L"the window has no visible area to picture");
    ScreenDc screen;
    MemoryCanvas canvas(screen.get(), size.width, size.height);
    if (!canvas.ok()) fail(L"can't create a bitmap of the window's size");

    // Two equal pictures in a row mean the window has finished painting.
    std::vector<std::uint32_t> previous;
    poll_until(options.timeout_ms, [&]() -> std::optional<bool> {
        capture(area, canvas, screen.get());
        auto pixels = pixels_of(canvas, size.width, size.height);
        const bool stable = pixels == previous;
        previous = std::move(pixels);
        if (stable) return true;
        Sleep(60);
        return std::nullopt;
    });
    save_png(canvas.bitmap(), path);
    return size;
}

}  // namespace uidriver
