// The bevelled box, by reading pixels back. The skin's pieces, the window's shape and
// the buttons' regions, the e2e tests see in their screenshots and clicks.
#include "app/app.h"
#include <gtest/gtest.h>
#include <cstring>

namespace {

constexpr uint32_t BARE = 0x111111;  // what the surface holds before a drawing

// A 32-bit top-down surface whose pixels the test reads directly.
struct Surface {
    HDC dc = CreateCompatibleDC(nullptr);
    uint32_t* pixels = nullptr;
    HBITMAP bitmap;
    HGDIOBJ old;
    Surface() {
        BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), 512, -512, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, (void**)&pixels, nullptr, 0);
        old = SelectObject(dc, bitmap);
        memset(pixels, 0x11, 512 * 512 * 4);
    }
    ~Surface() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    uint32_t At(int x, int y) const { return pixels[y * 512 + x] & 0xFFFFFF; }
};

// From an edge of a box inwards, every pixel up to the fill is an outline's colour, in
// order, all sixteen (a 2-pixel pen may cover the outermost on one side, or leave the edge bare).
void ExpectOutlines(const Surface& s, int x, int step, int y, int style, uint32_t fill) {
    int last = -1, seen = 0;
    for (int n = 0; n < 2 && s.At(x, y) == BARE; ++n) x += step;
    for (int n = 0; n < 20 && s.At(x, y) != fill; ++n, x += step) {
        int i = 0;
        while (i < 16 && s.At(x, y) != (style ? 0x2D2D35u + 0x0A0A0Au * i : 0xA0AAB4u - 0x0A0A0Au * i)) ++i;
        ASSERT_TRUE(i < 16 && i >= last) << "pixel " << x << "," << y << " is " << std::hex << s.At(x, y);
        seen += i != last;
        last = i;
    }
    EXPECT_EQ(last, 15) << "the innermost outline is missing";
    EXPECT_GE(seen, 15) << "outlines missing";
    EXPECT_EQ(s.At(x, y), fill) << "no fill inside the outlines";
}

TEST(BevelBox, SixteenOutlinesInTheStatedColours) {
    Surface s;
    DrawBevelBox(s.dc, 64, 320, 448, 380, 1, 48, AppState.panelBrush);
    GdiFlush();
    const uint32_t panel = 0xCDCDD5;
    EXPECT_EQ(s.At(62, 350), BARE) << "drew left of the box";
    EXPECT_EQ(s.At(449, 350), BARE) << "drew right of the box";
    ExpectOutlines(s, 63, 1, 350, 1, panel);  // darkest outside, lightest inside
    ExpectOutlines(s, 448, -1, 350, 1, panel);
    EXPECT_EQ(s.At(256, 350), panel);
    EXPECT_EQ(s.At(64, 320), BARE) << "the corner is not rounded";
}

}  // namespace
