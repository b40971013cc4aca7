// The status box: one red message over the lower part of the face, drawn
// straight onto the window; it stays until the next repaint. Here too the
// wait that keeps any message on screen long enough to be read.
#include "app/app.h"
#include "tuner/transponder_text.h"

constexpr int STATUS_BOX_HEIGHT = 60;
constexpr COLORREF STATUS_TEXT_COLOUR = RGB(255, 0, 0);
constexpr DWORD STATUS_SHOWN_MS = 2000;

void DrawStatusText(int message, int left, int top, int width) {
    RECT box = {left, top, left + width, top + STATUS_BOX_HEIGHT};
    BeginWindowDrawing();
    HDC dc = AppState.windowDc;
    DrawBevelBox(dc, box.left, box.top, box.right, box.bottom, 1, 48, AppState.panelBrush);
    if (const char* text = StatusMessageText(message)) {
        HGDIOBJ oldFont = SelectObject(dc, AppState.textFont);
        SetTextColor(dc, STATUS_TEXT_COLOUR);
        DrawTextA(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SetTextColor(dc, TEXT_COLOUR);
        SelectObject(dc, oldFont);
    }
    EndWindowDrawing();
}

void ShowStatusMessage(int message) {
    DrawStatusText(message, 64, 320, 384);
    HoldOnScreen(STATUS_SHOWN_MS);
    InvalidateRect(AppState.mainWindow, nullptr, TRUE);
}

void HoldOnScreen(DWORD milliseconds) {
    // No wake mask: no input ends the wait early, and none is taken from the queue.
    DWORD start = GetTickCount();
    for (DWORD waited = 0; waited < milliseconds; waited = GetTickCount() - start)
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - waited, 0);
}
