// dishsim.exe: the window, its input and the hand-over to the card.
//
//   dishsim.exe [/az=<deg>] [/el=<deg>] [/skew=<deg>]
//
// The dish is the [dish] section of the scenario named by SIMCARD_SCENARIO,
// the file the card reads too, or else of simcard.ini beside this program,
// where the card finds it when both sit beside orvalis.exe (an installed
// practice set); without either, the card's default dish.
#include "simcard/dishsim/dishsim.h"
#include "simcard/scenario_file.h"
#include "simcard/sky_folder.h"
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

DishSimState DishSim;

static const char WINDOW_CLASS[] = "OrvalisDishSim";
static const char WINDOW_TITLE[] = "Virtual dish";
constexpr UINT_PTR HEARD_TIMER = 1;
constexpr UINT HEARD_TIMER_MS = 100;
constexpr int GAP = 8;  // between Orvalis and this window

static void ReadScenario() {
    ReadProgramScenario(&DishSim.scenario);
    // A scenario without a dish still gets one to turn: the card's default.
    if (!DishSim.scenario.dish.present) DefaultDish(&DishSim.scenario.dish);
}

// "/az=181.5": true when the word is that option; value left alone otherwise.
static bool Option(const char* word, const char* name, double* value) {
    size_t length = strlen(name);
    if (strncmp(word, name, length) != 0) return false;
    *value = atof(word + length);
    return true;
}

static void ReadCommandLine(const char* line) {
    char copy[512];
    snprintf(copy, sizeof copy, "%s", line);
    for (char* word = strtok(copy, " \t"); word; word = strtok(nullptr, " \t")) {
        Option(word, "/az=", &DishSim.pointing.azimuth) || Option(word, "/el=", &DishSim.pointing.elevation) ||
            Option(word, "/skew=", &DishSim.pointing.skew);
    }
}

static void OpenLink() {
    DishSim.mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DishLink), DISH_LINK_NAME);
    if (!DishSim.mapping) return;
    DishSim.link =
        static_cast<DishLink*>(MapViewOfFile(DishSim.mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(DishLink)));
}

// Every turn goes to the card at once and is drawn.
static void Turn(double azimuth, double elevation, double skew) {
    Pointing* p = &DishSim.pointing;
    p->azimuth = std::fmod(azimuth + 360, 360);
    p->elevation = elevation < -10 ? -10 : elevation > 90 ? 90 : elevation;
    p->skew = skew < -90 ? -90 : skew > 90 ? 90 : skew;
    // Steps of 0.1 must not drift into 0.30000000004.
    p->azimuth = std::round(p->azimuth * 1000) / 1000;
    p->elevation = std::round(p->elevation * 1000) / 1000;
    p->skew = std::round(p->skew * 1000) / 1000;
    if (DishSim.link) PublishPointing(DishSim.link, *p);
    InvalidateRect(DishSim.window, nullptr, FALSE);
}

static void Step(int axis, double degrees) {
    Pointing p = DishSim.pointing;
    Turn(p.azimuth + (axis == AXIS_AZIMUTH ? degrees : 0), p.elevation + (axis == AXIS_ELEVATION ? degrees : 0),
         p.skew + (axis == AXIS_SKEW ? degrees : 0));
}

static void OnKeyDown(WPARAM key) {
    double step = GetKeyState(VK_SHIFT) < 0 ? COARSE_STEP : FINE_STEP;
    switch (key) {
        case VK_LEFT:
            Step(AXIS_AZIMUTH, -step);
            break;
        case VK_RIGHT:
            Step(AXIS_AZIMUTH, step);
            break;
        case VK_UP:
            Step(AXIS_ELEVATION, step);
            break;
        case VK_DOWN:
            Step(AXIS_ELEVATION, -step);
            break;
        case VK_PRIOR:
            Step(AXIS_SKEW, step);
            break;
        case VK_NEXT:
            Step(AXIS_SKEW, -step);
            break;
        case VK_ESCAPE:
            DestroyWindow(DishSim.window);
            break;
    }
}

static bool InSkyView(int x, int y) {
    return x >= SKY_VIEW.left && x < SKY_VIEW.right && y >= SKY_VIEW.top && y < SKY_VIEW.bottom;
}

static void PointAtMouse(int x, int y) {
    double azimuth, elevation;
    SkyViewAngles(x, y, &azimuth, &elevation);
    Turn(azimuth, elevation, DishSim.pointing.skew);
}

// The step buttons: three rows (azimuth, elevation, skew) of four.
static void OnLeftButtonDown(int x, int y) {
    if (InSkyView(x, y)) {
        DishSim.dragging = true;
        SetCapture(DishSim.window);
        PointAtMouse(x, y);
        return;
    }
    for (int axis = 0; axis < AXIS_COUNT; ++axis) {
        int top = BUTTON_ROW_Y + axis * (BUTTON_ROW_H + 4);
        if (y < top || y >= top + BUTTON_ROW_H) continue;
        for (int i = 0; i < 4; ++i)
            if (x >= BUTTON_X[i] && x < BUTTON_X[i] + BUTTON_W) Step(axis, BUTTON_STEP[i]);
    }
}

static void OnTimer() {
    if (!DishSim.link) return;
    HeardReport heard;
    ReadHeard(DishSim.link, &heard);
    if (heard.count == DishSim.heard.count) return;
    DishSim.heard = heard;
    InvalidateRect(DishSim.window, nullptr, FALSE);
}

static void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintDishSim(dc);
    EndPaint(window, &paint);
}

static LRESULT CALLBACK DishSimProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
    switch (message) {
        case WM_PAINT:
            OnPaint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers everything
        case WM_KEYDOWN:
            OnKeyDown(wParam);
            return 0;
        case WM_LBUTTONDOWN:
            OnLeftButtonDown(x, y);
            return 0;
        case WM_MOUSEMOVE:
            if (DishSim.dragging && InSkyView(x, y)) PointAtMouse(x, y);
            return 0;
        case WM_LBUTTONUP:
            DishSim.dragging = false;
            ReleaseCapture();
            return 0;
        case WM_MOUSEWHEEL: {
            double step = GetKeyState(VK_SHIFT) < 0 ? COARSE_STEP : FINE_STEP;
            Step(AXIS_AZIMUTH, GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? step : -step);
            return 0;
        }
        case WM_TIMER:
            OnTimer();
            return 0;
        case WM_DESTROY:
            // The card goes back to the scenario's pointing.
            if (DishSim.link) DishSim.link->live.store(0, std::memory_order_release);
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Beside Orvalis when it runs: to its right, and when the screen is too
// narrow for both, Orvalis moves left to make room, as a person would drag it.
static POINT PlaceBesideOrvalis(int width, int height) {
    int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    POINT place = {screenW - width, (screenH - height) / 2};
    HWND orvalis = FindWindowA(nullptr, "Orvalis");
    RECT face;
    if (!orvalis || !GetWindowRect(orvalis, &face)) return place;
    int faceW = face.right - face.left;
    if (face.right + GAP + width > screenW && faceW + GAP + width <= screenW) {
        int left = (screenW - faceW - GAP - width) / 2;
        SetWindowPos(orvalis, nullptr, left, face.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        face.right = left + faceW;
    }
    place.x = face.right + GAP < screenW - width ? face.right + GAP : screenW - width;
    place.y = face.top;
    return place;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    ReadScenario();
    DishSim.sky = static_cast<Sky*>(calloc(1, sizeof(Sky)));
    if (DishSim.sky) LoadSkyFolder(DishSim.scenario.dish.sky, DishSim.sky, DishSim.skyFolder, sizeof DishSim.skyFolder);
    DishSim.target = IdealPointing(&DishSim.scenario.dish);
    // Out of the box the dish looks somewhere near, not at the satellite.
    DishSim.pointing = {DishSim.target.azimuth - 12, DishSim.target.elevation - 4, 0};
    ReadCommandLine(commandLine);
    DishSim.heard.satelliteKey = -1;
    DishSim.font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma");
    DishSim.bold = CreateFontA(-13, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma");
    OpenLink();

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DishSimProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_CROSS);
    windowClass.lpszClassName = WINDOW_CLASS;
    RegisterClassA(&windowClass);
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = {0, 0, CLIENT_W, CLIENT_H};
    AdjustWindowRect(&frame, style, FALSE);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    POINT place = PlaceBesideOrvalis(width, height);
    DishSim.window = CreateWindowExA(0, WINDOW_CLASS, WINDOW_TITLE, style, place.x, place.y, width, height, nullptr,
                                     nullptr, instance, nullptr);
    if (!DishSim.window) return 1;
    Turn(DishSim.pointing.azimuth, DishSim.pointing.elevation, DishSim.pointing.skew);
    SetTimer(DishSim.window, HEARD_TIMER, HEARD_TIMER_MS, nullptr);
    ShowWindow(DishSim.window, show);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
