// The preview window beside a parent window: where it goes and how big it
// gets for a picture, that a picture it can't read hides it, and what its
// pixels show: transparent areas the background, half-transparent ones a
// mix, palette pictures their own colours.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "dialog_helpers.h"
#include "png_writer.h"
#include "scratch.h"
#include "ui/png_show.h"
#include "ui/preview_picture.h"

namespace {

using wintest::Rgba;

// A hidden owner window at a known place.
struct Parent : wintest::HiddenParent {
    Parent() : HiddenParent(100, 60, 400, 300) {}
};

// Left third transparent, middle third opaque red, right third blue at
// half opacity; the bottom row green so a picture turned over shows.
Rgba layered(int x, int y) {
    if (y == 199) return {0, 255, 0, 255};
    if (x < 100) return {255, 255, 255, 0};
    if (x < 200) return {255, 0, 0, 255};
    return {0, 0, 255, 128};
}
Rgba white(int, int) { return {255, 255, 255, 255}; }
std::uint8_t stripes(int x, int) { return static_cast<std::uint8_t>(x < 10 ? 0 : 1); }

// An expected colour within a rounding step per channel.
::testing::AssertionResult close_to(COLORREF got, int r, int g, int b) {
    const int dr = GetRValue(got) - r, dg = GetGValue(got) - g, db = GetBValue(got) - b;
    if (dr * dr <= 4 && dg * dg <= 4 && db * db <= 4) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << int(GetRValue(got)) << "," << int(GetGValue(got)) << ","
                                         << int(GetBValue(got)) << ") expected (" << r << "," << g << "," << b << ")";
}

// A 32-bit memory surface filled with one colour, to draw pictures on.
class Surface {
public:
    Surface(int width, int height, COLORREF fill) : dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        const RECT all{0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(fill);
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    ~Surface() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

class PngShow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(wintest::write_png(layered_, wintest::rgba_png(300, 200, layered)));
        ASSERT_TRUE(wintest::write_png(small_, wintest::rgba_png(120, 80, white)));
        ASSERT_TRUE(wintest::write_png(palette_, wintest::palette_png(40, 20, {{0, 128, 0, 255}, {255, 255, 0, 255}}, stripes)));
        ASSERT_NE(preview_.create(parent_.get()), nullptr);
        ASSERT_FALSE(IsWindowVisible(preview_.hwnd()));
    }

    static RECT rect_of(HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        return r;
    }

    wintest::ScratchFolder folder_{L"pngshow"};
    std::wstring layered_ = folder_.file(L"layered.png");
    std::wstring small_ = folder_.file(L"small.png");
    std::wstring palette_ = folder_.file(L"palette.png");
    Parent parent_;
    ui::CZZ_PNGSHOW preview_;
};

TEST_F(PngShow, TheWindowIsHiddenToolWindowWithItsCaption) {
    wchar_t caption[32] = {};
    GetWindowTextW(preview_.hwnd(), caption, 32);
    EXPECT_STREQ(caption, L"图片御览");
    EXPECT_NE(GetWindowLongPtrW(preview_.hwnd(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(GetWindow(preview_.hwnd(), GW_OWNER), parent_.get());
}

TEST_F(PngShow, APictureSizesAndPlacesTheWindowBesideTheParentWithoutTakingTheFocus) {
    // The parent is on show and active, as the skin dialog is.
    ShowWindow(parent_.get(), SW_SHOW);
    SetActiveWindow(parent_.get());
    ASSERT_EQ(GetActiveWindow(), parent_.get());
    ASSERT_EQ(preview_.Show(layered_.c_str()), 1);
    EXPECT_TRUE(IsWindowVisible(preview_.hwnd()));
    const RECT r = rect_of(preview_.hwnd());
    EXPECT_EQ(r.left, 500 + 5);
    EXPECT_EQ(r.top, 60);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 225);
    EXPECT_EQ(GetActiveWindow(), parent_.get());
    EXPECT_EQ(std::wstring(preview_.path()), layered_);

    // The next picture replaces it, and the window takes its size.
    ASSERT_EQ(preview_.Show(small_.c_str()), 1);
    const RECT second = rect_of(preview_.hwnd());
    EXPECT_EQ(second.right - second.left, 120);
    EXPECT_EQ(second.bottom - second.top, 105);
    EXPECT_EQ(preview_.picture().width(), 120);
    EXPECT_EQ(std::wstring(preview_.path()), small_);

    // The parent moved: the next Show follows it.
    SetWindowPos(parent_.get(), nullptr, 10, 20, 200, 100, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(preview_.Show(layered_.c_str()), 1);
    EXPECT_EQ(rect_of(preview_.hwnd()).left, 215);
    EXPECT_EQ(rect_of(preview_.hwnd()).top, 20);
}

TEST_F(PngShow, APictureThatCannotBeReadHidesTheWindow) {
    ASSERT_EQ(preview_.Show(layered_.c_str()), 1);
    ASSERT_TRUE(IsWindowVisible(preview_.hwnd()));
    const std::wstring missing = folder_.file(L"missing.png");
    EXPECT_EQ(preview_.Show(missing.c_str()), 0);
    EXPECT_FALSE(IsWindowVisible(preview_.hwnd()));
    EXPECT_EQ(std::wstring(preview_.path()), missing);
    EXPECT_TRUE(preview_.picture().empty());

    // Not a picture at all, and a PNG cut short.
    ASSERT_EQ(preview_.Show(layered_.c_str()), 1);
    const std::wstring text = folder_.file(L"text.png");
    ASSERT_TRUE(wintest::write_file(text, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}));
    EXPECT_EQ(preview_.Show(text.c_str()), 0);
    EXPECT_FALSE(IsWindowVisible(preview_.hwnd()));
    auto cut = wintest::rgba_png(300, 200, layered);
    cut.resize(40);
    const std::wstring cut_file = folder_.file(L"cut.png");
    ASSERT_TRUE(wintest::write_file(cut_file, cut));
    EXPECT_EQ(preview_.Show(cut_file.c_str()), 0);
    EXPECT_FALSE(IsWindowVisible(preview_.hwnd()));
    // GDI+ is shut down again after every picture.
    EXPECT_EQ(ui::gdiplus_picture_count(), 0);
}

TEST_F(PngShow, TransparentAreasShowTheBackgroundAndHalfTransparentOnesAMix) {
    ui::PreviewPicture picture;
    ASSERT_TRUE(picture.load(layered_.c_str()));
    EXPECT_TRUE(picture.has_alpha());
    EXPECT_EQ(ui::gdiplus_picture_count(), 0);
    Surface surface(320, 220, RGB(40, 80, 160));
    picture.draw(surface.dc(), 10, 10);
    EXPECT_TRUE(close_to(GetPixel(surface.dc(), 5, 5), 40, 80, 160));     // outside: untouched
    EXPECT_TRUE(close_to(GetPixel(surface.dc(), 60, 60), 40, 80, 160));   // transparent
    EXPECT_TRUE(close_to(GetPixel(surface.dc(), 160, 60), 255, 0, 0));    // opaque red
    // Half blue over the background: 128/255 of blue plus the rest of it.
    EXPECT_TRUE(close_to(GetPixel(surface.dc(), 260, 60), 20, 40, 80 + 128));
    EXPECT_TRUE(close_to(GetPixel(surface.dc(), 60, 209), 0, 255, 0));    // the bottom row at the bottom
}

TEST_F(PngShow, TheWindowShowsItsBackgroundThroughTheTransparentAreas) {
    ASSERT_EQ(preview_.Show(layered_.c_str()), 1);
    UpdateWindow(preview_.hwnd());
    HDC dc = GetDC(preview_.hwnd());
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    const COLORREF clear = GetPixel(dc, 50, 50);
    const COLORREF red = GetPixel(dc, 150, 50);
    ReleaseDC(preview_.hwnd(), dc);
    EXPECT_TRUE(close_to(clear, GetRValue(face), GetGValue(face), GetBValue(face)));
    EXPECT_TRUE(close_to(red, 255, 0, 0));
}

TEST_F(PngShow, APalettePictureKeepsItsPalette) {
    ui::PreviewPicture picture;
    ASSERT_TRUE(picture.load(palette_.c_str()));
    EXPECT_TRUE(picture.has_palette());
    EXPECT_FALSE(picture.has_alpha());
    Surface surface(40, 20, RGB(1, 2, 3));
    picture.draw(surface.dc(), 0, 0);
    EXPECT_TRUE(close_to(GetPixel(surface.dc(), 5, 10), 0, 128, 0));
    EXPECT_TRUE(close_to(GetPixel(surface.dc(), 30, 10), 255, 255, 0));
}

}  // namespace
