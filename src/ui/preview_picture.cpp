#include "ui/preview_picture.h"

#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace ui {
namespace {

namespace gp = Gdiplus;
namespace flat = Gdiplus::DllExports;

// GDI+ runs while at least one picture object exists: the first one starts
// it, the last one shuts it down. Threads may load pictures at once, so
// the count and the token are kept under one lock.
std::mutex gdiplus_lock;
int gdiplus_users = 0;
ULONG_PTR gdiplus_token = 0;

bool acquire_gdiplus() {
    std::lock_guard<std::mutex> guard(gdiplus_lock);
    if (gdiplus_users == 0) {
        gp::GdiplusStartupInput input;
        if (gp::GdiplusStartup(&gdiplus_token, &input, nullptr) != gp::Ok) return false;
    }
    ++gdiplus_users;
    return true;
}

void release_gdiplus() {
    std::lock_guard<std::mutex> guard(gdiplus_lock);
    if (--gdiplus_users == 0) gp::GdiplusShutdown(gdiplus_token);
}

// One GDI+ bitmap read from a file; GDI+ lives at least as long.
class GdiplusPicture {
public:
    explicit GdiplusPicture(const wchar_t* path) {
        if (!acquire_gdiplus()) return;
        started_ = true;
        if (flat::GdipCreateBitmapFromFile(path, &bitmap_) != gp::Ok) bitmap_ = nullptr;
    }
    ~GdiplusPicture() {
        if (bitmap_ != nullptr) flat::GdipDisposeImage(bitmap_);
        if (started_) release_gdiplus();
    }
    GdiplusPicture(const GdiplusPicture&) = delete;
    GdiplusPicture& operator=(const GdiplusPicture&) = delete;

    gp::GpBitmap* get() const noexcept { return bitmap_; }

private:
    bool started_ = false;
    gp::GpBitmap* bitmap_ = nullptr;
};

// The bitmap's pixels locked for reading in `format`; unlocked when the
// object goes.
class LockedPixels {
public:
    LockedPixels(gp::GpBitmap* bitmap, int width, int height, gp::PixelFormat format) : bitmap_(bitmap) {
        const gp::GpRect all{0, 0, width, height};
        locked_ = flat::GdipBitmapLockBits(bitmap, &all, gp::ImageLockModeRead, format, &data_) == gp::Ok;
    }
    ~LockedPixels() {
        if (locked_) flat::GdipBitmapUnlockBits(bitmap_, &data_);
    }
    LockedPixels(const LockedPixels&) = delete;
    LockedPixels& operator=(const LockedPixels&) = delete;

    bool locked() const noexcept { return locked_; }
    const std::uint8_t* row(int y) const {
        return static_cast<const std::uint8_t*>(data_.Scan0) + static_cast<std::ptrdiff_t>(y) * data_.Stride;
    }

private:
    gp::GpBitmap* bitmap_;
    gp::BitmapData data_{};
    bool locked_ = false;
};

// Rows of a device-independent bitmap start on 4-byte boundaries.
std::size_t dib_stride(int width, int bits) {
    return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
}

// A top-down DIB section of `bits` per pixel with `colours` palette entries.
// `pixels` receives the address of its first row.
HBITMAP make_dib(int width, int height, int bits, const std::vector<RGBQUAD>& colours, void** pixels) {
    std::vector<std::uint8_t> storage(sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * std::max<std::size_t>(colours.size(), 1));
    auto* info = reinterpret_cast<BITMAPINFO*>(storage.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = -height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = static_cast<WORD>(bits);
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biClrUsed = static_cast<DWORD>(colours.size());
    if (!colours.empty()) std::memcpy(info->bmiColors, colours.data(), sizeof(RGBQUAD) * colours.size());
    return CreateDIBSection(nullptr, info, DIB_RGB_COLORS, pixels, nullptr, 0);
}

// Straight alpha becomes premultiplied alpha: what per-pixel blending takes.
// Pixels are B, G, R, A bytes in both.
void premultiply_row(const std::uint8_t* from, std::uint8_t* to, int width) {
    for (int x = 0; x < width; ++x, from += 4, to += 4) {
        const unsigned alpha = from[3];
        for (int c = 0; c < 3; ++c) to[c] = static_cast<std::uint8_t>((from[c] * alpha + 127) / 255);
        to[3] = static_cast<std::uint8_t>(alpha);
    }
}

// The picture's palette as a DIB colour table (at most 2^bits entries).
std::vector<RGBQUAD> palette_of(gp::GpBitmap* bitmap, int bits) {
    INT size = 0;
    if (flat::GdipGetImagePaletteSize(bitmap, &size) != gp::Ok || size < static_cast<INT>(sizeof(gp::ColorPalette)))
        return {};
    std::vector<std::uint8_t> storage(static_cast<std::size_t>(size));
    auto* palette = reinterpret_cast<gp::ColorPalette*>(storage.data());
    if (flat::GdipGetImagePalette(bitmap, palette, size) != gp::Ok) return {};
    const std::size_t room = (storage.size() - offsetof(gp::ColorPalette, Entries)) / sizeof(gp::ARGB);
    const std::size_t count = std::min<std::size_t>({palette->Count, room, std::size_t{1} << bits});
    std::vector<RGBQUAD> colours(count);
    for (std::size_t i = 0; i < count; ++i) {
        const gp::ARGB argb = palette->Entries[i];
        colours[i] = RGBQUAD{static_cast<BYTE>(argb), static_cast<BYTE>(argb >> 8), static_cast<BYTE>(argb >> 16), 0};
    }
    return colours;
}

}  // namespace

int gdiplus_picture_count() noexcept {
    std::lock_guard<std::mutex> guard(gdiplus_lock);
    return gdiplus_users;
}

void PreviewPicture::clear() noexcept {
    bitmap_.reset();
    width_ = height_ = 0;
    alpha_ = palette_ = false;
}

bool PreviewPicture::load(const wchar_t* path) {
    clear();
    GdiplusPicture picture(path);
    if (picture.get() == nullptr) return false;
    UINT width = 0;
    UINT height = 0;
    gp::PixelFormat format = 0;
    if (flat::GdipGetImageWidth(picture.get(), &width) != gp::Ok ||
        flat::GdipGetImageHeight(picture.get(), &height) != gp::Ok ||
        flat::GdipGetImagePixelFormat(picture.get(), &format) != gp::Ok || width == 0 || height == 0 ||
        width > 0x7FFF || height > 0x7FFF)
        return false;

    const bool alpha = (format & PixelFormatAlpha) != 0;
    const bool indexed = !alpha && (format & PixelFormatIndexed) != 0;
    const int bits = alpha ? 32 : indexed ? static_cast<int>(gp::GetPixelFormatSize(format)) : 24;
    const gp::PixelFormat wanted = alpha ? PixelFormat32bppARGB : indexed ? format : PixelFormat24bppRGB;
    const std::vector<RGBQUAD> colours = indexed ? palette_of(picture.get(), bits) : std::vector<RGBQUAD>{};
    if (indexed && colours.empty()) return false;

    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    LockedPixels pixels(picture.get(), w, h, wanted);
    if (!pixels.locked()) return false;
    void* dib_pixels = nullptr;
    UniqueBitmap bitmap(make_dib(w, h, bits, colours, &dib_pixels));
    if (!bitmap || dib_pixels == nullptr) return false;

    const std::size_t stride = dib_stride(w, bits);
    const std::size_t row_bytes = (static_cast<std::size_t>(w) * static_cast<std::size_t>(bits) + 7) / 8;
    for (int y = 0; y < h; ++y) {
        auto* to = static_cast<std::uint8_t*>(dib_pixels) + static_cast<std::size_t>(y) * stride;
        if (alpha) premultiply_row(pixels.row(y), to, w);
        else std::memcpy(to, pixels.row(y), row_bytes);
    }
    GdiFlush();

    bitmap_ = std::move(bitmap);
    width_ = w;
    height_ = h;
    alpha_ = alpha;
    palette_ = indexed;
    return true;
}

void PreviewPicture::draw(HDC target, int x, int y) const {
    if (empty() || target == nullptr) return;
    HDC source = CreateCompatibleDC(target);
    if (source == nullptr) return;
    const HGDIOBJ old = SelectObject(source, bitmap_.get());
    if (alpha_) {
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        GdiAlphaBlend(target, x, y, width_, height_, source, 0, 0, width_, height_, blend);
    } else {
        BitBlt(target, x, y, width_, height_, source, 0, 0, SRCCOPY);
    }
    SelectObject(source, old);
    DeleteDC(source);
}

}  // namespace ui
