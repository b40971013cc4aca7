// The dish alignment dialog: an ellipse over the main window with the user's
// position, a copy of the satellite list and the dish size, and the look
// angles drawn off screen and copied to the face in one piece.
#include "app/app.h"
#include "calculator/calculator.h"
#include "calculator/look_angles.h"
#include <cstdio>

constexpr int DISH_DIALOG_WIDTH = 512, DISH_DIALOG_HEIGHT = 450;
constexpr int DISH_DIALOG_TOP_OFFSET = 56;  // below the main window's top edge
constexpr int FACE_CORNER = 450;

constexpr int ID_LONGITUDE_DEGREES = 121, ID_LONGITUDE_MINUTES = 122;
constexpr int ID_LATITUDE_DEGREES = 123, ID_LATITUDE_MINUTES = 124;
constexpr int ID_DISH_SATELLITE = 125, ID_DISH_WIDTH = 126, ID_DISH_HEIGHT = 127;

constexpr int LIST_DROPPED_HEIGHT = 200;
constexpr int DISH_BOX_LIMIT = 10;  // characters
constexpr uint32_t DEFAULT_DISH_WIDTH = 1000, DEFAULT_DISH_HEIGHT = 1200;

constexpr COLORREF HEADING_COLOUR = RGB(180, 30, 0);
constexpr COLORREF LABEL_COLOUR = RGB(90, 100, 130);
constexpr COLORREF WARNING_COLOUR = RGB(200, 0, 0);
constexpr COLORREF VALUE_COLOUR = RGB(0, 0, 0);

// The azimuth mark: a line from the compass centre and an arc back to north.
constexpr int COMPASS_X = 100, COMPASS_Y = 270, COMPASS_RADIUS = 45;

struct SkinPicture {
    int x, y, w, h, srcX, srcY;
};
constexpr SkinPicture ELEVATION_PICTURE = {215, 230, 100, 100, 512, 312};
constexpr SkinPicture COMPASS_ROSE = {60, 230, 80, 80, 612, 412};
constexpr SkinPicture POLARIZATION_PICTURE = {370, 220, 100, 100, 512, 412};
constexpr SkinPicture TURN_RIGHT_HALF = {416, 266, 17, 20, 630, 492};
constexpr SkinPicture TURN_LEFT_HALF = {398, 266, 18, 20, 612, 492};

static void CopyPicture(HDC dc, const SkinPicture& p) { CopySkinPiece(dc, p.x, p.y, p.w, p.h, p.srcX, p.srcY); }

static HWND CreateList(HWND dialog, int id, int x, int y, int w) {
    return CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, x, y,
                           w, LIST_DROPPED_HEIGHT, dialog, (HMENU)(INT_PTR)id, AppState.instance, nullptr);
}

// Created hidden: the boxes show only while the satellite is visible.
static HWND CreateDishBox(HWND dialog, int id, int y) {
    HWND box = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_TABSTOP | ES_NUMBER, 260, y, 60, 15, dialog,
                               (HMENU)(INT_PTR)id, AppState.instance, nullptr);
    SendMessageA(box, EM_LIMITTEXT, DISH_BOX_LIMIT, 0);
    return box;
}

static void AddEntry(HWND list, const char* text, int32_t value) {
    LRESULT index = SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)text);
    if (index >= 0) SendMessageA(list, CB_SETITEMDATA, (WPARAM)index, (LPARAM)value);
}

// "90°n" .. "1°n", "0°", "1°s" .. "90°s", or the same with e and w up to 180.
static void FillDegreeList(HWND list, int largest, const char* positive, const char* negative) {
    SendMessageA(list, CB_INITSTORAGE, 2 * largest + 1, 8 * (2 * largest + 1));
    char text[6];
    for (int d = largest; d >= 1; --d) {
        snprintf(text, sizeof text, positive, d);
        AddEntry(list, text, d);
    }
    AddEntry(list, "0\xB0", 0);
    for (int d = 1; d <= largest; ++d) {
        snprintf(text, sizeof text, negative, d);
        AddEntry(list, text, -d);
    }
}

// The main window's satellite list, entry by entry in its order; an entry
// whose text cannot be read is left out.
static void CopySatelliteList() {
    HWND from = AppState.satelliteCombo, to = AppState.dishSatelliteCombo;
    LRESULT count = SendMessageA(from, CB_GETCOUNT, 0, 0);
    SendMessageA(to, CB_INITSTORAGE, count > 0 ? count : 0, 48 * (count > 0 ? count : 0));
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendMessageA(from, CB_GETLBTEXTLEN, (WPARAM)i, 0);
        if (length == CB_ERR) continue;
        char* text = (char*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)length + 1);
        if (!text) continue;
        SendMessageA(from, CB_GETLBTEXT, (WPARAM)i, (LPARAM)text);
        text[length] = 0;
        SendMessageA(to, CB_ADDSTRING, 0, (LPARAM)text);
        HeapFree(GetProcessHeap(), 0, text);
    }
    SendMessageA(to, CB_SETCURSEL, (WPARAM)SendMessageA(from, CB_GETCURSEL, 0, 0), 0);
}

static void PutNumber(HWND box, uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%d", (int)value);
    SetWindowTextA(box, text);
}

static void OnDishDialogInit(HWND dialog) {
    SetWindowLongA(dialog, GWL_STYLE, GetWindowLongA(dialog, GWL_STYLE) | WS_CLIPCHILDREN);
    RECT main;
    GetWindowRect(AppState.mainWindow, &main);
    MoveWindow(dialog, main.left, main.top + DISH_DIALOG_TOP_OFFSET, DISH_DIALOG_WIDTH, DISH_DIALOG_HEIGHT, TRUE);

    RECT client;
    GetClientRect(dialog, &client);
    AppState.dialogDc = GetDC(dialog);
    AppState.dialogMemoryDc = CreateCompatibleDC(AppState.dialogDc);
    AppState.dialogBitmap = CreateCompatibleBitmap(AppState.dialogDc, client.right, client.bottom);
    SelectObject(AppState.dialogMemoryDc, AppState.dialogBitmap);
    // The bevel's sixteen filled outlines cost most of a redraw under Wine:
    // drawn once here, each change copies them.
    AppState.dialogBackDc = CreateCompatibleDC(AppState.dialogDc);
    AppState.dialogBackBitmap = CreateCompatibleBitmap(AppState.dialogDc, client.right, client.bottom);
    SelectObject(AppState.dialogBackDc, AppState.dialogBackBitmap);
    DrawBevelBox(AppState.dialogBackDc, client.left, client.top, client.right, client.bottom, 1, FACE_CORNER,
                 AppState.panelBrush);
    ReleaseDC(dialog, AppState.dialogDc);
    // A corner ellipse as large as the client area rounds it into an ellipse.
    SetWindowRgn(
        dialog,
        CreateRoundRectRgn(client.left, client.top, client.right, client.bottom, DISH_DIALOG_WIDTH, DISH_DIALOG_HEIGHT),
        TRUE);

    AppState.dishSatelliteCombo = CreateList(dialog, ID_DISH_SATELLITE, 100, 125, 300);
    CopySatelliteList();

    AppState.latitudeDegreeCombo = CreateList(dialog, ID_LATITUDE_DEGREES, 100, 65, 75);
    AppState.latitudeMinuteCombo = CreateList(dialog, ID_LATITUDE_MINUTES, 170, 65, 70);
    FillDegreeList(AppState.latitudeDegreeCombo, 90, "%d\xB0n", "%d\xB0s");
    SendMessageA(AppState.latitudeDegreeCombo, CB_SETCURSEL, AppState.settings.latitudeDegreeIndex, 0);

    AppState.longitudeDegreeCombo = CreateList(dialog, ID_LONGITUDE_DEGREES, 260, 65, 75);
    AppState.longitudeMinuteCombo = CreateList(dialog, ID_LONGITUDE_MINUTES, 330, 65, 70);
    FillDegreeList(AppState.longitudeDegreeCombo, 180,
                   "%d\xB0"
                   "e",
                   "%d\xB0w");
    SendMessageA(AppState.longitudeDegreeCombo, CB_SETCURSEL, AppState.settings.longitudeDegreeIndex, 0);

    char minute[4];
    for (int m = 0; m < 60; ++m) {
        snprintf(minute, sizeof minute, "%d'", m);
        AddEntry(AppState.latitudeMinuteCombo, minute, m);
        AddEntry(AppState.longitudeMinuteCombo, minute, m);
    }
    SendMessageA(AppState.latitudeMinuteCombo, CB_SETCURSEL, AppState.settings.latitudeMinuteIndex, 0);
    SendMessageA(AppState.longitudeMinuteCombo, CB_SETCURSEL, AppState.settings.longitudeMinuteIndex, 0);

    AppState.dishWidthEdit = CreateDishBox(dialog, ID_DISH_WIDTH, 360);
    AppState.dishHeightEdit = CreateDishBox(dialog, ID_DISH_HEIGHT, 380);
    if (AppState.settings.dishWidth == 0) AppState.settings.dishWidth = DEFAULT_DISH_WIDTH;
    if (AppState.settings.dishHeight == 0) AppState.settings.dishHeight = DEFAULT_DISH_HEIGHT;
    // Their change notifications come while the dialog is not ready yet, and
    // are ignored: the one computation follows below.
    PutNumber(AppState.dishWidthEdit, AppState.settings.dishWidth);
    PutNumber(AppState.dishHeightEdit, AppState.settings.dishHeight);

    AppState.dialogButton =
        CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, client.right / 2 - 30,
                        client.bottom - 35, 60, 20, dialog, (HMENU)(INT_PTR)ID_OK, AppState.instance, nullptr);

    for (HWND list : {AppState.dishSatelliteCombo, AppState.latitudeDegreeCombo, AppState.longitudeDegreeCombo})
        SendMessageA(list, WM_SETFONT, (WPARAM)AppState.textFont, TRUE);

    AppState.dishDialogReady = 1;
    ComputeLookAngles();
}

// The mark from north clockwise to the azimuth: a line from the centre out
// to the azimuth, then the arc back up to north.
static void DrawAzimuthMark(HDC dc) {
    MoveToEx(dc, COMPASS_X, COMPASS_Y, nullptr);
    AngleArc(dc, COMPASS_X, COMPASS_Y, COMPASS_RADIUS, (float)(90 - AppState.azimuth), (float)AppState.azimuth);
}

void DrawDishDialog(HWND dialog) {
    HDC dc = GetDC(dialog);
    RECT client;
    GetClientRect(dialog, &client);
    HDC face = AppState.dialogMemoryDc;
    HGDIOBJ oldFont = SelectObject(face, AppState.textFont);
    BitBlt(face, 0, 0, client.right, client.bottom, AppState.dialogBackDc, 0, 0, SRCCOPY);

    SetBkMode(face, TRANSPARENT);
    SetTextColor(face, HEADING_COLOUR);
    TextAt(face, 175, 25, "Select Your position:");
    TextAt(face, 165, 105, "Select satellite position:");
    SetTextColor(face, LABEL_COLOUR);
    TextAt(face, 145, 45, "Latitude");
    TextAt(face, 295, 45, "Longitude");

    if (!SatelliteVisible(AppState.elevation)) {
        SetTextColor(face, WARNING_COLOUR);
        TextAt(face, 215, 155, "Warning!");
        TextAt(face, 140, 175, "Satellite out of the visibility range!");
    } else {
        TextAt(face, 70, 165, "Azimuth");
        TextAt(face, 215, 175, "Elevation");
        TextAt(face, 370, 165, "Polarization");
        SetTextColor(face, VALUE_COLOUR);
        LookResults results = {};
        results.elevation = AppState.elevation;
        results.azimuth = AppState.azimuth;
        results.polarizationAngle = AppState.polarizationAngle;
        results.offsetAngle = AppState.offsetAngle;
        LookTexts texts;
        FormatLookTexts(results, &texts);
        TextAt(face, 185, 195, texts.primeFocus);
        TextAt(face, 185, 340, texts.offsetDish);
        TextAt(face, 70, 185, texts.azimuth);
        TextAt(face, 395, 185, texts.polarization);
        TextAt(face, 185, 360, "width :");
        TextAt(face, 185, 380, "height:");

        CopyPicture(face, ELEVATION_PICTURE);
        CopyPicture(face, COMPASS_ROSE);
        // Grey and wide first, then the thin black default pen along its middle.
        HGDIOBJ oldPen = SelectObject(face, AppState.greyPen);
        DrawAzimuthMark(face);
        SelectObject(face, oldPen);
        DrawAzimuthMark(face);
        CopyPicture(face, POLARIZATION_PICTURE);
        if (AppState.polarizationAngle > 0) CopyPicture(face, TURN_RIGHT_HALF);
        if (AppState.polarizationAngle < 0) CopyPicture(face, TURN_LEFT_HALF);
    }

    SelectObject(face, oldFont);
    BitBlt(dc, 0, 0, DISH_DIALOG_WIDTH, DISH_DIALOG_HEIGHT, face, 0, 0, SRCCOPY);
    ReleaseDC(dialog, dc);
}

static void OnDishDialogPaint(HWND dialog) {
    if (!GetUpdateRect(dialog, nullptr, FALSE)) return;
    PAINTSTRUCT paint;
    BeginPaint(dialog, &paint);
    DrawDishDialog(dialog);
    EndPaint(dialog, &paint);
}

static INT_PTR OnDishDialogCommand(HWND dialog, int id, int code) {
    if (!AppState.dishDialogReady) return FALSE;
    if (id == ID_OK) {
        AppState.dishDialogReady = 0;
        ReleaseDialogSurface();
        EndDialog(dialog, code);
        return TRUE;
    }
    bool listChanged = id >= ID_LONGITUDE_DEGREES && id <= ID_DISH_SATELLITE && code == CBN_SELCHANGE;
    bool boxChanged = (id == ID_DISH_WIDTH || id == ID_DISH_HEIGHT) && code == EN_CHANGE;
    if (listChanged || boxChanged) {
        ComputeLookAngles();
        DrawDishDialog(dialog);
    }
    // Escape and the system menu's close come as IDCANCEL: only OK closes.
    return FALSE;
}

INT_PTR CALLBACK DishDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnDishDialogInit(dialog);
            return TRUE;
        case WM_PAINT:
            OnDishDialogPaint(dialog);
            return FALSE;
        case WM_COMMAND:
            return OnDishDialogCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        case WM_LBUTTONDOWN:
            // Any point of the face drags the dialog, as a caption would.
            SendMessageA(dialog, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            return FALSE;
    }
    return FALSE;
}
