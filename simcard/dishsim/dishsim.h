#pragma once
// dishsim.exe: the hands on the virtual dish. A person turns it with the mouse
// or the arrow keys while Orvalis speaks the level; the pointing goes to the
// simulated card through the shared block of simcard/dish_link.h.
#include <windows.h>
#include "simcard/dish_link.h"
#include "simcard/dish_signal.h"
#include "simcard/scenario.h"

// Client geometry: the sky view on top, the readouts and the step buttons below.
constexpr int CLIENT_W = 480, CLIENT_H = 548;
constexpr RECT SKY_VIEW = {10, 10, 470, 290};
constexpr double VIEW_HALF_AZIMUTH = 20;  // degrees either side of the target
constexpr double VIEW_HALF_ELEVATION =
    VIEW_HALF_AZIMUTH * (SKY_VIEW.bottom - SKY_VIEW.top) / (SKY_VIEW.right - SKY_VIEW.left);
constexpr int BUTTON_ROW_Y = 418, BUTTON_ROW_H = 26, BUTTON_W = 52;
constexpr int BUTTON_X[4] = {110, 166, 312, 368};  // -1, -0.1, +0.1, +1 degree
constexpr double BUTTON_STEP[4] = {-1, -0.1, 0.1, 1};
constexpr double FINE_STEP = 0.1, COARSE_STEP = 1;

struct DishSimState {
    HWND window;
    Scenario scenario;  // only its [dish] section matters here
    Sky* sky;
    char skyFolder[MAX_PATH];
    Pointing pointing;  // where the person has turned the dish
    Pointing target;    // right on the dish's own satellite
    HANDLE mapping;
    DishLink* link;
    HeardReport heard;
    bool dragging;
    HFONT font, bold;
};

extern DishSimState DishSim;

// The sky view's pixel of an azimuth and elevation, and back.
POINT SkyViewPoint(double azimuth, double elevation);
void SkyViewAngles(int x, int y, double* azimuth, double* elevation);

// The whole face, into a memory surface first.
void PaintDishSim(HDC dc);
