// The skin atlas, the window's shape, the hit regions and the bevelled box,
// checked by reading pixels back.
#include "app/app.h"
#include "tests/win/win_fixture.h"
#include <gtest/gtest.h>
#include <cstring>

namespace {

// A 32-bit top-down surface whose pixels the test can read directly.
struct Surface {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    uint32_t* pixels;
    int width, height;
};

Surface MakeSurface(int width, int height) {
    Surface s{};
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    s.dc = CreateCompatibleDC(nullptr);
    s.bitmap = CreateDIBSection(s.dc, &info, DIB_RGB_COLORS, (void**)&s.pixels, nullptr, 0);
    s.old = SelectObject(s.dc, s.bitmap);
    s.width = width;
    s.height = height;
    memset(s.pixels, 0x11, size_t(width) * height * 4);
    return s;
}

void FreeSurface(Surface& s) {
    SelectObject(s.dc, s.old);
    DeleteObject(s.bitmap);
    DeleteDC(s.dc);
}

uint32_t At(const Surface& s, int x, int y) { return s.pixels[y * s.width + x] & 0xFFFFFF; }
uint32_t Rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }
uint32_t Atlas(int x, int y) {
    return ((const uint32_t*)AppState.skinPixels)[y * SKIN_WIDTH + x] & 0xFFFFFF;
}

TEST(Skin, LoadsTheAtlasAndLeavesNoTemporaryFile) {
    ASSERT_NE(AppState.skinPixels, nullptr) << "the skin was not loaded at start-up";
    const BITMAPINFOHEADER& h = AppState.skinBitmapInfo.bmiHeader;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 768);
    EXPECT_EQ(h.biHeight, -512);
    EXPECT_EQ(h.biBitCount, 32);
    SetProgramFolderAsWorkingDirectory();
    EXPECT_EQ(GetFileAttributesA("orvss2099.dat"), INVALID_FILE_ATTRIBUTES)
        << "the temporary skin file was left beside the exe";
    // The face is dark in the middle and not one flat colour.
    uint32_t centre = Atlas(256, 300), ring = Atlas(256, 6);
    EXPECT_NE(centre, ring);
}

TEST(Skin, PiecesAreCopiedOneToOneFromTheirAtlasRectangle) {
    ASSERT_NE(AppState.skinPixels, nullptr);
    Surface s = MakeSurface(512, 512);
    // The red button's green image to its window place, and the base image.
    CopySkinPiece(s.dc, 335, 174, 80, 82, 592, 85);
    CopyBaseImage(s.dc, 10, 20, 30, 40);
    GdiFlush();
    for (int y = 0; y < 82; y += 9)
        for (int x = 0; x < 80; x += 7)
            ASSERT_EQ(At(s, 335 + x, 174 + y), Atlas(592 + x, 85 + y)) << x << "," << y;
    for (int y = 0; y < 40; y += 3)
        for (int x = 0; x < 30; x += 3) ASSERT_EQ(At(s, 10 + x, 20 + y), Atlas(10 + x, 20 + y));
    EXPECT_EQ(At(s, 9, 20), 0x111111u) << "drew outside the piece";
    EXPECT_EQ(At(s, 415, 174), 0x111111u) << "drew outside the piece";
    FreeSurface(s);
}

TEST(Shape, RegionsHitInsideTheRoundedShapeOnly) {
    struct Probe {
        HRGN region;
        int x, y;
        bool hit;
    } probes[] = {
        {AppState.startButtonRegion, 375, 214, true},   // centre of the red button
        {AppState.startButtonRegion, 343, 182, false},  // inside the box, outside the circle
        {AppState.closeButtonRegion, 370, 57, true},
        {AppState.transponderEditRegion, 139, 306, true},
        {AppState.transponderEditRegion, 107, 274, false},
        {AppState.aboutButtonRegion, 221, 468, true},   // a plain rectangle: corners hit
        {AppState.aboutButtonRegion, 294, 486, false},  // right and bottom edges excluded
        {AppState.mobileButtonRegion, 394, 415, false},
    };
    for (const Probe& p : probes) {
        ASSERT_NE(p.region, nullptr);
        EXPECT_EQ(PtInRegion(p.region, p.x, p.y) != 0, p.hit) << p.x << "," << p.y;
    }
}

TEST(Shape, TheWindowIsACentredCircle) {
    RECT r;
    GetWindowRect(AppState.mainWindow, &r);
    EXPECT_EQ(r.right - r.left, 512);
    EXPECT_EQ(r.bottom - r.top, 512);
    EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2 - 256);
    EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) / 2 - 256);
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(GetWindowRgn(AppState.mainWindow, shape), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(shape, 256, 256));
    EXPECT_TRUE(PtInRegion(shape, 256, 2));
    EXPECT_FALSE(PtInRegion(shape, 5, 5));
    EXPECT_FALSE(PtInRegion(shape, 507, 507));
    DeleteObject(shape);
}

// The outline index a colour belongs to, or -1 when it is no outline colour.
int OutlineIndex(uint32_t colour, int style) {
    for (int i = 0; i < 16; ++i) {
        uint32_t expected = style == 0 ? Rgb(160 - 10 * i, 170 - 10 * i, 180 - 10 * i)
                                       : Rgb(45 + 10 * i, 45 + 10 * i, 53 + 10 * i);
        if (colour == expected) return i;
    }
    return -1;
}

// Walks a row from one edge of a box inwards: every pixel up to the fill is an
// outline colour, the outlines step inwards in order, and all sixteen show
// (a 2-pixel pen may cover the outermost one on one side).
void ExpectOutlines(const Surface& s, int x, int step, int y, int style, uint32_t fill) {
    int last = -1, seen = 0;
    for (int n = 0; n < 2 && At(s, x, y) == 0x111111u; ++n) x += step;  // the edge pixel may stay bare
    for (int n = 0; n < 20; ++n, x += step) {
        uint32_t colour = At(s, x, y);
        if (colour == fill) break;
        int index = OutlineIndex(colour, style);
        ASSERT_GE(index, 0) << "pixel " << x << "," << y << " is " << std::hex << colour;
        ASSERT_GE(index, last) << "outlines out of order at " << x;
        if (index != last) ++seen;
        last = index;
    }
    EXPECT_EQ(last, 15) << "the innermost outline is missing";
    EXPECT_GE(seen, 15) << "outlines missing";
    EXPECT_EQ(At(s, x, y), fill) << "no fill inside the outlines";
}

TEST(BevelBox, SixteenOutlinesInTheStatedColours) {
    Surface s = MakeSurface(512, 512);
    DrawBevelBox(s.dc, 64, 320, 448, 380, 1, 48, AppState.panelBrush);
    GdiFlush();
    const uint32_t panel = Rgb(205, 205, 213);
    EXPECT_EQ(At(s, 62, 350), 0x111111u) << "drew left of the box";
    EXPECT_EQ(At(s, 449, 350), 0x111111u) << "drew right of the box";
    ExpectOutlines(s, 63, 1, 350, 1, panel);    // darkest outside, lightest inside
    ExpectOutlines(s, 448, -1, 350, 1, panel);
    EXPECT_EQ(At(s, 256, 350), panel);
    EXPECT_EQ(At(s, 64, 320), 0x111111u) << "the corner is not rounded";

    DrawBevelBox(s.dc, 2, 100, 100, 200, 0, 0, AppState.blackBrush);
    GdiFlush();
    ExpectOutlines(s, 1, 1, 150, 0, 0);  // lightest outside, darkest inside
    FreeSurface(s);
}

}  // namespace
