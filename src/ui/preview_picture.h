#pragma once
// A picture file read through GDI+ and held as a device-independent bitmap
// ready for drawing:
//   - a picture with an alpha channel as 32-bit pixels with premultiplied
//     alpha, drawn blended over what the target shows (transparent areas
//     show the background);
//   - a picture with a palette as an indexed bitmap with that palette;
//   - any other picture as 24-bit pixels, copied as they are.
//
// GDI+ is started, under a lock, before the first picture of the process
// is read and shut down when the last GDI+ picture object is gone; the
// bitmap kept here needs no GDI+.

#include <windows.h>

#include "support/unique_handle.h"

namespace ui {

namespace detail {
inline void delete_gdi_object(HBITMAP object) noexcept { DeleteObject(object); }
}  // namespace detail
using UniqueBitmap = support::UniqueOwner<HBITMAP, detail::delete_gdi_object>;

class PreviewPicture {
public:
    // Reads `path`; true on success. On failure the picture is empty.
    bool load(const wchar_t* path);
    void clear() noexcept;

    bool empty() const noexcept { return !bitmap_; }
    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    bool has_alpha() const noexcept { return alpha_; }
    bool has_palette() const noexcept { return palette_; }

    // Draws the picture at (x, y) with its own size, no scaling. Nothing
    // when it is empty.
    void draw(HDC target, int x, int y) const;

private:
    UniqueBitmap bitmap_;
    int width_ = 0;
    int height_ = 0;
    bool alpha_ = false;
    bool palette_ = false;
};

// How many GDI+ picture objects of this process exist right now (GDI+ runs
// exactly while this is above 0).
int gdiplus_picture_count() noexcept;

}  // namespace ui
