// Tooltips for the painted buttons: the tools are rectangles of the main
// window, so the tooltip control does all the work by subclassing.
#include "app/app.h"
#include <commctrl.h>

struct Tool {
    RECT rect;
    const char* text;
};

// The bounding boxes of the button regions, so a tip also shows over a corner
// of a box that lies outside the rounded button.
static const Tool MAIN_WINDOW_TOOLS[] = {
    {{106, 273, 172, 340}, "Add/Remove transponder from ini file"},
    {{50, 365, 80, 395}, "Click to change voice language"},
    {{91, 412, 121, 442}, "Click to select tone, voice or mute mode"},
    {{100, 170, 130, 200}, "Sort by Position/Name"},
};

void CreateTooltips() {
    INITCOMMONCONTROLSEX controls = {8, 0xFF};
    InitCommonControlsEx(&controls);
    HWND tooltip = CreateWindowExA(0, "tooltips_class32", nullptr, WS_POPUP | TTS_NOPREFIX, 0, 0, 0, 0,
                                   AppState.mainWindow, nullptr, AppState.instance, nullptr);

    // The 44-byte form of the record: no trailing application value.
    TOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hinst = AppState.instance;
    tool.hwnd = AppState.diseqcCombo;
    tool.uId = 0;
    tool.rect = {0, 0, 90, 25};
    tool.lpszText = (LPSTR) "Select DiSEqC";
    SendMessageA(tooltip, TTM_ADDTOOLA, 0, (LPARAM)&tool);

    tool.hwnd = AppState.mainWindow;
    for (const Tool& t : MAIN_WINDOW_TOOLS) {
        tool.rect = t.rect;
        tool.lpszText = (LPSTR)t.text;
        SendMessageA(tooltip, TTM_ADDTOOLA, 0, (LPARAM)&tool);
    }
}
