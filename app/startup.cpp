// Start-up: fills the AppState from the settings file, the resources and the
// platform, in the order the rest of the program relies on.
#include "app/app.h"
#include "feedback/feedback.h"
#include "feedback/sound_schedule.h"
#include "transponders/transponders.h"
#include <commctrl.h>
#include <objbase.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char* const DISEQC_NAMES[] = {"None", "Simple A", "Simple B", "LNB1", "LNB2", "LNB3", "LNB4"};

static const void* LockClip(const char* name) {
    HRSRC found = FindResourceA(AppState.instance, name, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(AppState.instance, found);
    return loaded ? LockResource(loaded) : nullptr;
}

// The clips stay locked in the module for the life of the process; a missing
// one leaves its pointer null and is simply never played.
static void LoadSoundClips() {
    char name[8];
    for (int clip = 0; clip < SOUND_CLIP_COUNT; ++clip) {
        const void** slot = SoundClipSlot(clip);
        if (slot && SoundClipName(clip, name, sizeof name)) *slot = LockClip(name);
    }
}

static HWND CreateCombo(int id, DWORD style, int x, int y, int w, int h) {
    return CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | style, x, y, w, h,
                           AppState.mainWindow, (HMENU)(INT_PTR)id, AppState.instance, nullptr);
}

static const char WINDOW_CLASS[] = "107";
static const char WINDOW_TITLE[] = "Orvalis";

int CreateMainWindow(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(ICON_ID));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(NULL_BRUSH);  // the system erases nothing
    windowClass.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassExA(&windowClass)) return 1;

    AppState.instance = instance;
    AppState.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    AppState.screenHeight = GetSystemMetrics(SM_CYSCREEN);

    // Centred; on a screen smaller than the window the position goes negative.
    AppState.mainWindow = CreateWindowExA(0, WINDOW_CLASS, WINDOW_TITLE, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                          AppState.screenWidth / 2 - 256, AppState.screenHeight / 2 - 256, FACE_SIZE,
                                          FACE_SIZE, nullptr, nullptr, instance, nullptr);
    if (!AppState.mainWindow) return 1;
    AppState.windowDc = GetDC(AppState.mainWindow);
    return 0;
}

int InitApplication() {
    // First: the lists below already reach the program folder through these.
    AppState.calls = {.showStatusMessage = ShowStatusMessage,
                      .showMessageDialog = ShowMessageDialog,
                      .setProgramFolder = SetProgramFolderAsWorkingDirectory};
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    InitializeCriticalSection(&AppState.stateLock);
    InitializeCriticalSection(&AppState.windowDrawLock);

    ReadSettingsFile();

    AppState.memoryDc = CreateCompatibleDC(AppState.windowDc);
    AppState.memoryBitmap = CreateCompatibleBitmap(AppState.windowDc, FACE_SIZE, FACE_SIZE / 2);
    SelectObject(AppState.memoryDc, AppState.memoryBitmap);

    LoadSkin();  // without a skin the program still works, it just looks bare
    CreateWindowRegions();

    AppState.diseqcCombo = CreateCombo(ID_DISEQC_COMBO, CBS_DROPDOWNLIST, 10, 200, 90, 200);
    AppState.satelliteCombo = CreateCombo(ID_SATELLITE_COMBO, CBS_DROPDOWNLIST | CBS_SORT, 100, 200, 225, 200);
    AppState.transponderCombo = CreateCombo(ID_TRANSPONDER_COMBO, CBS_DROPDOWN, 200, 290, 225, 200);

    AppState.textFont = CreateSkinFont(17);
    AppState.bigFont = CreateLevelFont(AppState.memoryDc);

    AppState.redPen = CreatePen(PS_SOLID, 5, RGB(200, 0, 0));
    AppState.darkPen = CreatePen(PS_SOLID, 3, RGB(70, 70, 70));
    AppState.greyPen = CreatePen(PS_SOLID, 3, RGB(140, 140, 150));
    AppState.panelBrush = CreateSolidBrush(PANEL_COLOUR);
    AppState.blackBrush = (HBRUSH)GetStockObject(BLACK_BRUSH);
    SelectObject(AppState.memoryDc, AppState.redPen);
    for (HDC dc : {AppState.windowDc, AppState.memoryDc}) {
        SetTextColor(dc, TEXT_COLOUR);
        SetBkMode(dc, TRANSPARENT);
    }

    for (HWND combo : {AppState.diseqcCombo, AppState.satelliteCombo, AppState.transponderCombo})
        SendMessageA(combo, WM_SETFONT, (WPARAM)AppState.textFont, TRUE);

    for (const char* name : DISEQC_NAMES) SendMessageA(AppState.diseqcCombo, CB_ADDSTRING, 0, (LPARAM)name);
    // A value outside the list leaves the box empty; the value itself stays.
    if (AppState.settings.diseqc < 7) SendMessageA(AppState.diseqcCombo, CB_SETCURSEL, AppState.settings.diseqc, 0);

    ListSatellites();
    LoadTransponderList();
    CreateTooltips();

    AppState.meterLevelRect = METER_LEVEL_RECT;
    AppState.meterSnrRect = {256, 150, 337, 170};
    AppState.hintRect = {160, 90, 350, 170};
    AppState.spinnerStartX = 300;
    AppState.spinnerStartY = 90;
    AppState.spinnerEndX = 320;
    AppState.spinnerEndY = 110;

    LoadSoundClips();
    return 0;
}
