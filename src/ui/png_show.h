#pragma once
// The preview window "图片御览" (template 142): a small tool window beside
// the skin package dialog that shows one skin's preview picture. It is
// created hidden with the skin dialog as its parent and goes with it.
//
// Show(path) sizes the window to the picture (its width, its height plus
// 25 for the caption), puts it 5 pixels right of the parent's right edge
// at the parent's top, shows it without taking the focus and draws the
// picture at the client area's top left corner. A picture that can't be
// read hides the window instead.

#include <windows.h>

#include "support/text_slot.h"
#include "ui/dialog.h"
#include "ui/preview_picture.h"

namespace ui {

inline constexpr int kPngShowTemplate = 142;
// Space between the parent's right edge and the preview.
inline constexpr int kPreviewGap = 5;
// Added to the picture's height for the window's outer height.
inline constexpr int kPreviewExtraHeight = 25;

class CZZ_PNGSHOW : public Dialog {
public:
    CZZ_PNGSHOW() noexcept : Dialog(kPngShowTemplate) {}

    // Creates the hidden window with `parent` as its owner. Null on failure.
    HWND create(HWND parent) { return create_modeless(parent); }

    // Shows the picture in `path` (any format GDI+ reads). 1 when it is
    // shown; 0 when it can't be read, the window then hidden.
    int Show(const wchar_t* path);

    // The path the last Show was given.
    const wchar_t* path() const noexcept { return path_.c_str(); }
    // The picture on show (empty after a failed Show).
    const PreviewPicture& picture() const noexcept { return picture_; }

protected:
    bool on_message(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;

private:
    void place_beside_parent(int width, int height) const;
    void draw() const;

    support::PathSlot path_;
    // Kept so that the window can draw it again when it is uncovered.
    PreviewPicture picture_;
};

}  // namespace ui
