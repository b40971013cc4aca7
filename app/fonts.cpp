// The two fonts of the face: the 17-pixel text and the meter's large figures.
#include "app/app.h"

HFONT CreateSkinFont(int height) { return CreateFontA(height, 0, 0, 0, 600, 0, 0, 0, 0, 0, 0, 0, 0, nullptr); }

// The meter's figures at the largest height up to 72 at which the ink of
// "100%", the widest of them, ends 2 px inside the level rectangle. Arial,
// the face the system gives for no name, fits at 71; a wider face (a stand-in
// for Arial under Wine) gets smaller figures rather than a cut "%".
constexpr int BIG_FONT_HEIGHT = 72, SMALLEST_BIG_FONT = 40, LEVEL_MARGIN = 2;

HFONT CreateLevelFont(HDC dc) {
    for (int height = BIG_FONT_HEIGHT;; --height) {
        HFONT font = CreateSkinFont(height);
        HGDIOBJ previous = SelectObject(dc, font);
        SIZE size = {};
        GetTextExtentPoint32A(dc, "100%", 4, &size);
        ABC percent = {};  // the blank right of the "%" holds no ink
        GetCharABCWidthsA(dc, '%', '%', &percent);
        SelectObject(dc, previous);
        if (size.cx - percent.abcC <= METER_LEVEL_RECT.right - METER_LEVEL_RECT.left - LEVEL_MARGIN ||
            height == SMALLEST_BIG_FONT)
            return font;
        DeleteObject(font);
    }
}
