// The meter: every 40 ms the level, the SNR and the searching sign are
// composed off screen from the clean face, then copied to the window in one
// piece, so the window never shows a half-drawn meter.
#include "app/app.h"
#include "feedback/feedback.h"
#include "feedback/meter_spinner.h"

constexpr int FRAME_MS = 40;
constexpr int AREA_X = 160, AREA_Y = 75, AREA_W = 190, AREA_H = 100;
constexpr int BUTTON_X = 335, BUTTON_Y = 174, BUTTON_W = 80, BUTTON_H = 82;
constexpr POINT GREEN_BUTTON = {592, 85};
constexpr int LOCK_MARK_X = 300, LOCK_MARK_Y = 115;
constexpr COLORREF LOCK_MARK_COLOUR = RGB(0, 200, 0);
constexpr RECT SPINNER_BOX = {300, 90, 320, 110};
constexpr UINT LEVEL_FORMAT = DT_WORDBREAK | DT_LEFT | DT_TOP;
// One line, right-aligned on the rectangle's right edge: with word breaking a
// wide font would wrap "SNR 12.34" and push the figure out of the meter.
constexpr UINT SNR_FORMAT = DT_SINGLELINE | DT_RIGHT | DT_BOTTOM | DT_NOCLIP;

static Spinner LoadSpinner() {
    return {AppState.spinnerStartX, AppState.spinnerStartY, AppState.spinnerEndX, AppState.spinnerEndY,
            AppState.spinnerPhase};
}

static void StoreSpinner(const Spinner& s) {
    AppState.spinnerStartX = s.startX;
    AppState.spinnerStartY = s.startY;
    AppState.spinnerEndX = s.endX;
    AppState.spinnerEndY = s.endY;
    AppState.spinnerPhase = s.phase;
}

static void DrawSearchingSign(HDC dc) {
    if (AppState.lockSeen.load()) {
        SelectObject(dc, AppState.textFont);
        SetTextColor(dc, LOCK_MARK_COLOUR);
        TextOutA(dc, LOCK_MARK_X, LOCK_MARK_Y, "S", 1);
        SetTextColor(dc, TEXT_COLOUR);
    }
    SelectObject(dc, AppState.bigFont);
    DrawTextA(dc, "0%", -1, &AppState.meterLevelRect, LEVEL_FORMAT);
    Spinner spinner = LoadSpinner();
    Arc(dc, SPINNER_BOX.left, SPINNER_BOX.top, SPINNER_BOX.right, SPINNER_BOX.bottom, spinner.startX, spinner.startY,
        spinner.endX, spinner.endY);
    AdvanceSpinner(&spinner);
    StoreSpinner(spinner);
}

// What a frame with a signal shows. Without a signal the spinner turns, so
// every frame differs.
struct ShownFrame {
    uint32_t level;  // 0: no frame with a signal on screen
    float snr;
};

// Composes a frame and copies it to the window, unless it would only repeat
// the frame on screen: a steady level then costs no drawing at all. A paint
// of the window marks the meter stale, since it covers the meter with the
// clean face.
static void DrawMeterFrame(ShownFrame* shown) {
    uint32_t level = AppState.signalPercent.load();
    float snrValue = AppState.signalToNoise.load();
    bool stale = AppState.meterStale.exchange(0);
    if (level && !stale && shown->level == level && shown->snr == snrValue) return;
    *shown = {level, snrValue};

    HDC dc = AppState.memoryDc;
    CopyBaseImage(dc, AREA_X, AREA_Y, AREA_W, AREA_H);
    // The level is read afresh at each use: the poller may move on mid-frame.
    bool signal = AppState.signalPercent.load() != 0;
    if (signal) {
        char level[8];
        SelectObject(dc, AppState.bigFont);
        if (FormatLevel(level, sizeof level, (int32_t)AppState.signalPercent.load()))
            DrawTextA(dc, level, -1, &AppState.meterLevelRect, LEVEL_FORMAT);
    } else {
        DrawSearchingSign(dc);
    }
    char snr[16];
    SelectObject(dc, AppState.textFont);
    if (FormatSnr(snr, sizeof snr, AppState.signalToNoise.load()))
        DrawTextA(dc, snr, -1, &AppState.meterSnrRect, SNR_FORMAT);

    // Only these two copies touch the window, under the window drawing lock:
    // a paint of the main thread can never land between or inside them.
    BeginWindowDrawing();
    if (signal)
        CopySkinPiece(AppState.windowDc, BUTTON_X, BUTTON_Y, BUTTON_W, BUTTON_H, GREEN_BUTTON.x, GREEN_BUTTON.y);
    else
        CopyBaseImage(AppState.windowDc, BUTTON_X, BUTTON_Y, BUTTON_W, BUTTON_H);
    BitBlt(AppState.windowDc, AREA_X, AREA_Y, AREA_W, AREA_H, dc, AREA_X, AREA_Y, SRCCOPY);
    EndWindowDrawing();
}

DWORD WINAPI MeterThread(LPVOID) {
    AppState.meterThreadAlive.store(1);
    // The main window starts this thread only after the poller has raised its
    // flag, so a 0 here really means the poller has already gone.
    ShownFrame shown = {};
    while (AppState.pollerAlive.load(std::memory_order_acquire)) {
        DrawMeterFrame(&shown);
        // A message wait, not a sleep: under Wine the frame reaches the screen
        // only at this thread's next message wait, and it should show now.
        HoldOnScreen(FRAME_MS);
    }
    AppState.meterThreadAlive.store(0, std::memory_order_release);
    return 0;
}
