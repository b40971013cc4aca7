// The round main window: painting from the skin, hover and pressed images of
// the painted buttons, clicks, the combo boxes, and start and stop of the
// finder. Everything here runs on the main thread.
#include "app/app.h"
#include "calculator/calculator.h"
#include "feedback/feedback.h"
#include "feedback/sound_schedule.h"
#include "server/server.h"
#include "transponders/transponders.h"
#include "tuner/tuner.h"
#include <shellapi.h>
#include <windowsx.h>

constexpr int LANGUAGE_FLAG_X = 130, LANGUAGE_FLAG_Y = 370, FLAG_W = 20, FLAG_H = 15;
constexpr int REMOVE_HOVER_FROM_Y = 305;  // the hover image switches to Remove here
constexpr int EDIT_SPLIT_Y = 308;         // a click above adds, from here on removes
constexpr int NOT_FOUND_MS = 1000;
constexpr int BIRD_PREVIEW_GAP_MS = 1000;

static const char HINT_TEXT[] = "To activate orvalis :\r\nselect the parameters\r\nand press red button.";

static const char* const LANGUAGE_NAMES[LANGUAGE_COUNT] = {"English", "German", "Russian",    "Italian", "Chinese",
                                                           "French",  "Polish", "Portuguese", "Turkish"};
static const POINT LANGUAGE_FLAGS[LANGUAGE_COUNT] = {{692, 70}, {672, 70}, {672, 55}, {692, 55}, {692, 40},
                                                     {672, 40}, {712, 70}, {712, 55}, {712, 40}};
static const char* const SOUND_MODE_NAMES[] = {"Auto", "Tone", "Voice", "Mute", "Birds", "0 Signal - Alarm"};
constexpr uint32_t SOUND_MODE_COUNT = 6;

// A button with a hover image: its region, its flag, where it sits on the
// window and where its hover image lies in the atlas.
struct HoverButton {
    HRGN* region;
    uint8_t* hot;
    int x, y, w, h, srcX, srcY;
};

constexpr int START_X = 335, START_Y = 174, START_W = 80, START_H = 82;
constexpr POINT RED_HOVER = {512, 85}, GREEN = {592, 85}, GREEN_HOVER = {672, 85};
constexpr POINT RED_PRESSED = {512, 212}, GREEN_PRESSED = {592, 212};
constexpr RECT ADD_HALF = {100, 265, 80, 43}, REMOVE_HALF = {100, 305, 80, 40};
constexpr POINT ADD_HOVER = {512, 42}, REMOVE_HOVER = {592, 45};

static bool Inside(HRGN region) { return region && PtInRegion(region, AppState.mouseX, AppState.mouseY); }

static void RepaintWindow() { InvalidateRect(AppState.mainWindow, nullptr, TRUE); }

static void CopyStartButton(POINT red, POINT green) {
    POINT src = AppState.signalPercent.load() ? green : red;
    CopySkinPiece(AppState.windowDc, START_X, START_Y, START_W, START_H, src.x, src.y);
}

static void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    AppState.windowDc = BeginPaint(window, &paint);
    CopyBaseImage(AppState.windowDc, 0, 0, FACE_SIZE, FACE_SIZE);
    AppState.savedFont = (HFONT)SelectObject(AppState.windowDc, AppState.textFont);
    if (!AppState.finderRunning.load()) {
        DrawTextA(AppState.windowDc, HINT_TEXT, -1, &AppState.hintRect, DT_LEFT | DT_TOP);
    }
    uint32_t language = AppState.settings.voiceLanguage;
    if (language < LANGUAGE_COUNT) {
        POINT flag = LANGUAGE_FLAGS[language];
        CopySkinPiece(AppState.windowDc, LANGUAGE_FLAG_X, LANGUAGE_FLAG_Y, FLAG_W, FLAG_H, flag.x, flag.y);
        TextAt(AppState.windowDc, 155, 368, LANGUAGE_NAMES[language]);
    }
    uint32_t mode = AppState.settings.soundMode;
    if (mode < SOUND_MODE_COUNT) TextAt(AppState.windowDc, 155, 390, SOUND_MODE_NAMES[mode]);
    SelectObject(AppState.windowDc, AppState.savedFont);
    EndPaint(window, &paint);
    AppState.meterStale.store(1);
}

static void OnKeyDown(HWND window, WPARAM key) {
    if (key == VK_ESCAPE) DestroyWindow(window);
}

static void OnComboClosed(int id) {
    if (id == ID_DISEQC_COMBO) {
        AppState.settings.diseqc = (uint32_t)SendMessageA(AppState.diseqcCombo, CB_GETCURSEL, 0, 0);
    } else if (id == ID_SATELLITE_COMBO) {
        SelectSatellite();  // on failure the list is filled for the position stored before
        LoadTransponderList();
    }
}

static void OnCommand(WPARAM wParam) {
    if (HIWORD(wParam) == CBN_CLOSEUP) OnComboClosed(LOWORD(wParam));
}

static void UpdateHover(const HoverButton& b) {
    bool inside = Inside(*b.region);
    if (inside && !*b.hot) {
        CopySkinPiece(AppState.windowDc, b.x, b.y, b.w, b.h, b.srcX, b.srcY);
        *b.hot = 1;
    } else if (!inside && *b.hot) {
        CopyBaseImage(AppState.windowDc, b.x, b.y, b.w, b.h);
        *b.hot = 0;
    }
}

static void UpdateStartHover() {
    bool inside = Inside(AppState.startButtonRegion);
    if (inside && !AppState.hotStart) {
        CopyStartButton(RED_HOVER, GREEN_HOVER);
        AppState.hotStart = 1;
    } else if (!inside && AppState.hotStart) {
        if (AppState.signalPercent.load())
            CopySkinPiece(AppState.windowDc, START_X, START_Y, START_W, START_H, GREEN.x, GREEN.y);
        else
            CopyBaseImage(AppState.windowDc, START_X, START_Y, START_W, START_H);
        AppState.hotStart = 0;
    }
}

static void CopyHalf(RECT half) { CopyBaseImage(AppState.windowDc, half.left, half.top, half.right, half.bottom); }

static void UpdateEditHover() {
    if (Inside(AppState.transponderEditRegion)) {
        if (AppState.mouseY < REMOVE_HOVER_FROM_Y) {
            if (!AppState.hotAdd) {
                CopyHalf(REMOVE_HALF);
                CopySkinPiece(AppState.windowDc, ADD_HALF.left, ADD_HALF.top, ADD_HALF.right, ADD_HALF.bottom,
                              ADD_HOVER.x, ADD_HOVER.y);
                AppState.hotAdd = 1;
                AppState.hotRemove = 0;
            }
        } else if (!AppState.hotRemove) {
            CopyHalf(ADD_HALF);
            CopySkinPiece(AppState.windowDc, REMOVE_HALF.left, REMOVE_HALF.top, REMOVE_HALF.right, REMOVE_HALF.bottom,
                          REMOVE_HOVER.x, REMOVE_HOVER.y);
            AppState.hotRemove = 1;
            AppState.hotAdd = 0;
        }
    } else if (AppState.hotAdd) {
        CopyHalf(ADD_HALF);
        AppState.hotAdd = 0;
    } else if (AppState.hotRemove) {
        CopyHalf(REMOVE_HALF);
        AppState.hotRemove = 0;
    }
}

static void OnMouseMove() {
    const HoverButton before[] = {
        {&AppState.closeButtonRegion, &AppState.hotClose, 350, 40, 40, 40, 632, 0},
        {&AppState.minimizeButtonRegion, &AppState.hotMinimize, 385, 65, 40, 40, 672, 0},
        {&AppState.aboutButtonRegion, &AppState.hotAbout, 205, 455, 105, 45, 572, 167},
        {&AppState.helpButtonRegion, &AppState.hotHelp, 137, 445, 40, 40, 592, 0},
    };
    const HoverButton middle[] = {
        {&AppState.soundButtonRegion, &AppState.hotSound, 85, 410, 40, 40, 552, 0},
        {&AppState.languageButtonRegion, &AppState.hotLanguage, 45, 360, 40, 40, 512, 0},
        {&AppState.sortButtonRegion, &AppState.hotSort, 100, 170, 30, 30, 512, 181},
    };
    const HoverButton after[] = {
        {&AppState.satCalcButtonRegion, &AppState.hotSatCalc, 337, 445, 37, 36, 712, 0},
        {&AppState.mobileButtonRegion, &AppState.hotMobile, 390, 409, 36, 37, 677, 175},
    };
    BeginWindowDrawing();
    for (const HoverButton& b : before) UpdateHover(b);
    UpdateStartHover();
    for (const HoverButton& b : middle) UpdateHover(b);
    UpdateEditHover();
    for (const HoverButton& b : after) UpdateHover(b);
    EndWindowDrawing();
}

static void EnableCombos(BOOL enable) {
    for (HWND combo : {AppState.transponderCombo, AppState.satelliteCombo, AppState.diseqcCombo})
        EnableWindow(combo, enable);
}

static bool StartDetached(LPTHREAD_START_ROUTINE routine) {
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (!thread) return false;
    CloseHandle(thread);
    return true;
}

static void StartFinder() {
    if (ReadTransponderParameters(1)) return;
    if (TuneTransponder()) return;  // the program is already closing
    AppState.finderRunning.store(1);
    EnableCombos(FALSE);
    if (!StartDetached(SignalPollerThread)) {
        AppState.finderRunning.store(0);
        EnableCombos(TRUE);
        return;
    }
    // The meter runs while the poller's flag is up: it must not look before
    // the poller has raised it, or it would end the run undrawn.
    while (!AppState.pollerAlive.load(std::memory_order_acquire)) Sleep(1);
    StartDetached(SoundFeedbackThread);
    StartDetached(MeterThread);
}

static void StopFinder() {
    AppState.finderRunning.store(0);
    DrawStatusText(STATUS_PLEASE_WAIT, 64, 320, 384);
    WaitForWorkers();
    EnableCombos(TRUE);
    RepaintWindow();
}

static void OnStartButton() {
    BeginWindowDrawing();
    CopyStartButton(RED_PRESSED, GREEN_PRESSED);
    EndWindowDrawing();
    if (!AppState.finderRunning.load())
        StartFinder();
    else
        StopFinder();
}

static void OnSoundButton() {
    EnterCriticalSection(&AppState.stateLock);
    uint32_t mode = AppState.settings.soundMode + 1;
    AppState.settings.soundMode = mode == SOUND_MODE_COUNT ? 0 : mode;
    AppState.soundCounter = 0;
    LeaveCriticalSection(&AppState.stateLock);
    if (!AppState.finderRunning.load()) {
        // A preview while idle; while running the sound thread takes the new mode itself.
        uint32_t language = AppState.settings.voiceLanguage;
        switch (AppState.settings.soundMode) {
            case 0:
            case 1:
                PlaySoundClip(TONE_CLIP);
                break;
            case 2:
                if (language < LANGUAGE_COUNT) PlaySoundClip(VoiceClip(language, 0));
                break;
            case 4:
                PlaySoundClip(FIRST_BIRD_CLIP);
                HoldOnScreen(BIRD_PREVIEW_GAP_MS);
                PlaySoundClip(FIRST_BIRD_CLIP + 1);
                break;
            case 5:
                PlaySoundClip(ALARM_CLIP);
                break;
        }
    }
    RepaintWindow();
}

static void ShowNotFound() {
    DrawStatusText(STATUS_NOT_FOUND, 64, 320, 384);
    HoldOnScreen(NOT_FOUND_MS);
    RepaintWindow();
}

static void OnLeftButtonDown(HWND window) {
    if (Inside(AppState.closeButtonRegion)) {
        DestroyWindow(window);
    } else if (Inside(AppState.languageButtonRegion)) {
        uint32_t next = AppState.settings.voiceLanguage + 1;
        AppState.settings.voiceLanguage = next == LANGUAGE_COUNT ? 0 : next;
        RepaintWindow();
    } else if (Inside(AppState.sortButtonRegion)) {
        AppState.sortByName ^= 1;
        SendMessageA(AppState.satelliteCombo, CB_RESETCONTENT, 0, 0);
        ListSatellites();
    } else if (Inside(AppState.startButtonRegion)) {
        OnStartButton();
    } else if (Inside(AppState.transponderEditRegion)) {
        int failed = AppState.mouseY < EDIT_SPLIT_Y ? AddTransponder() : RemoveTransponder();
        if (!failed) LoadTransponderList();
    } else if (Inside(AppState.helpButtonRegion)) {
        char guide[MAX_PATH];
        if (ShowMessageDialog(MESSAGE_USER_GUIDE) == ID_OK && !UserGuidePath(guide, sizeof guide))
            ShellExecuteA(nullptr, "open", guide, nullptr, nullptr, SW_SHOWNORMAL);
    } else if (Inside(AppState.aboutButtonRegion)) {
        ShowMessageDialog(MESSAGE_ABOUT);
    } else if (Inside(AppState.soundButtonRegion)) {
        OnSoundButton();
    } else if (Inside(AppState.minimizeButtonRegion)) {
        ShowWindow(window, SW_MINIMIZE);
    } else if (Inside(AppState.reservedButtonRegionA) || Inside(AppState.reservedButtonRegionB)) {
        ShowNotFound();
    } else if (Inside(AppState.mobileButtonRegion)) {
        DialogBoxParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow, ServerSettingsDialogProc, 0);
    } else if (Inside(AppState.satCalcButtonRegion)) {
        DialogBoxParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow, DishDialogProc, 0);
    } else {
        // Any spot that is no button drags the window, as a caption would.
        SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
}

static void OnLeftButtonUp() {
    if (!Inside(AppState.startButtonRegion)) return;
    BeginWindowDrawing();
    CopyStartButton(RED_HOVER, GREEN_HOVER);
    EndWindowDrawing();
}

static void TakeMousePosition(LPARAM lParam) {
    AppState.mouseX = GET_X_LPARAM(lParam);
    AppState.mouseY = GET_Y_LPARAM(lParam);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            CleanUp();
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            BeginWindowDrawing();
            OnPaint(window);
            EndWindowDrawing();
            return 0;
        case WM_KEYDOWN:
            OnKeyDown(window, wParam);
            return 0;
        case WM_COMMAND:
            OnCommand(wParam);
            return 0;
        case WM_MOUSEMOVE:
            TakeMousePosition(lParam);
            OnMouseMove();
            return 0;
        case WM_LBUTTONDOWN:
            TakeMousePosition(lParam);
            OnLeftButtonDown(window);
            return 0;
        case WM_LBUTTONUP:
            TakeMousePosition(lParam);
            OnLeftButtonUp();
            return 0;
        case WM_LBUTTONDBLCLK:
            // Anywhere on the window; the first click of the pair has already
            // been handled as a press.
            TakeMousePosition(lParam);
            if (AppState.finderRunning.load() == 1)
                DialogBoxParamA(AppState.instance, DIALOG_TEMPLATE, AppState.mainWindow, SignalLogDialogProc, 0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
