// The program's own framed dialog for every short message that needs an
// answer: About, the user guide, transponder results, the driver notice.
#include "app/app.h"
#include "version.h"
#include <cstring>

constexpr int DIALOG_WIDTH = 512;
constexpr int DIALOG_HEIGHT = 196;
constexpr int DIALOG_TOP_OFFSET = 160;
constexpr int BUTTON_WIDTH = 80;
constexpr int BUTTON_HEIGHT = 25;
constexpr int BUTTON_TOP_FROM_BOTTOM = 45, TEXT_BUTTON_GAP = 8;
constexpr int FIRST_TWO_BUTTON_KIND = 100;

static const char ABOUT_TEXT[] =
    "Orvalis - satellite dish pointing tool\r\n"
    "Version " ORVALIS_VERSION
    "\r\n"
    "Signal meter, spoken level and look-angle calculator.\r\n"
    "Free software under the MIT licence (LICENSE.txt).";
static const char GUIDE_TEXT[] = "The User Guide is available online at\r\n";

// Returns the text of the current kind, or nullptr for a kind without text.
static const char* MessageText(char* buffer, size_t size) {
    switch (AppState.messageKind) {
        case MESSAGE_ABOUT:
            return ABOUT_TEXT;
        case MESSAGE_ALREADY_EXISTS:
            return "A transponder with the parameters\r\nyou specified already exists.";
        case MESSAGE_ADDED:
            return "Transponder is successfuly added.";
        case MESSAGE_DRIVER_MISSING:
            return "Cannot load B2C2 MPEG-2 Source Filter.\r\n"
                   "This filter is installed as part of the normal\r\n"
                   "SS2 driver installation (with Setup4PC).";
        case MESSAGE_CONFIRM_DELETE:
            return "Delete the current transponder from ini file?";
        case MESSAGE_USER_GUIDE: {
            // The second line is the page that OK opens.
            size_t first = strlen(GUIDE_TEXT);
            if (first >= size) return nullptr;
            memcpy(buffer, GUIDE_TEXT, first);
            return UserGuidePath(buffer + first, size - first) ? nullptr : buffer;
        }
        default:
            return nullptr;
    }
}

static HWND CreatePushButton(HWND dialog, const char* label, int id, int left, int top) {
    return CreateWindowExA(0, "BUTTON", label, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, left, top,
                           BUTTON_WIDTH, BUTTON_HEIGHT, dialog, (HMENU)(INT_PTR)id, AppState.instance, nullptr);
}

static void OnMessageDialogInit(HWND dialog) {
    RECT main;
    GetWindowRect(AppState.mainWindow, &main);
    MoveWindow(dialog, main.left, main.top + DIALOG_TOP_OFFSET, DIALOG_WIDTH, DIALOG_HEIGHT, FALSE);
    RECT client;
    GetClientRect(dialog, &client);
    SetWindowRgn(dialog, CreateRoundRectRgn(client.left, client.top, client.right, client.bottom, 15, 15), TRUE);
    int buttonTop = client.bottom - BUTTON_TOP_FROM_BOTTOM;
    int half = client.right / 2;
    if (AppState.messageKind < FIRST_TWO_BUTTON_KIND) {
        AppState.dialogButton = CreatePushButton(dialog, "OK", ID_OK, half - 40, buttonTop);
        AppState.messageCancelButton = nullptr;
    } else {
        AppState.dialogButton = CreatePushButton(dialog, "OK", ID_OK, half - 100, buttonTop);
        AppState.messageCancelButton = CreatePushButton(dialog, "CANCEL", ID_CANCEL, half + 20, buttonTop);
    }
    for (HWND button : {AppState.dialogButton, AppState.messageCancelButton})
        if (button) SendMessageA(button, WM_SETFONT, (WPARAM)AppState.textFont, FALSE);
}

static void OnMessageDialogPaint(HWND dialog) {
    if (!GetUpdateRect(dialog, nullptr, FALSE)) return;
    RECT client;
    GetClientRect(dialog, &client);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    HGDIOBJ oldFont = SelectObject(dc, AppState.textFont);
    DrawBevelBox(dc, client.left, client.top, client.right, client.bottom, 1, 0, AppState.panelBrush);
    SetBkMode(dc, TRANSPARENT);
    RECT textRect = client;
    textRect.top = client.bottom / 2 - 25;
    char buffer[sizeof GUIDE_TEXT + MAX_PATH];
    if (const char* text = MessageText(buffer, sizeof buffer)) {
        // A text too tall to end above the buttons starts higher.
        RECT measured = textRect;
        DrawTextA(dc, text, -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
        int lowest = client.bottom - BUTTON_TOP_FROM_BOTTOM - TEXT_BUTTON_GAP;
        if (measured.bottom > lowest) OffsetRect(&textRect, 0, lowest - measured.bottom);
        DrawTextA(dc, text, -1, &textRect, DT_CENTER | DT_WORDBREAK);
    }
    SelectObject(dc, oldFont);
    EndPaint(dialog, &paint);
}

INT_PTR CALLBACK MessageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnMessageDialogInit(dialog);
            return TRUE;
        case WM_PAINT:
            OnMessageDialogPaint(dialog);
            return TRUE;
        case WM_LBUTTONDOWN:
            // Dragging the body moves the dialog, as a caption would.
            SendMessageA(dialog, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == ID_OK || LOWORD(wParam) == ID_CANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;  // Enter and Escape (1 and 2) leave the dialog open
    }
    return FALSE;
}

INT_PTR ShowMessageDialog(uint32_t kind) {
    AppState.messageKind = kind;
    return DialogBoxParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow, MessageDialogProc, 0);
}
