// dishsim's face: a plain map of the sky around the dish's satellite
// (azimuth across, elevation up) with the geostationary arc, the satellites of
// the transponder files, the target, and the dish's half-power beam; below
// it, the numbers, what Orvalis hears, and the step buttons.
#include "simcard/dishsim/dishsim.h"
#include "driver/satellite_identity.h"
#include <cmath>
#include <cstdio>
#include <cstring>

constexpr COLORREF PANEL = RGB(236, 238, 242), INK = RGB(20, 24, 32), MUTED = RGB(96, 104, 120);
constexpr COLORREF NIGHT = RGB(14, 26, 50), GRID = RGB(38, 58, 92), GROUND = RGB(40, 52, 34);
constexpr COLORREF ARC = RGB(90, 120, 170), STAR = RGB(200, 210, 225), TARGET = RGB(235, 60, 50);
constexpr COLORREF HEARD = RGB(60, 210, 90), BEAM = RGB(250, 210, 60), BUTTON = RGB(214, 220, 230);
constexpr int LABEL_GAP = 34;             // pixels between two satellite labels
constexpr double DEFAULT_KHZ = 11700000;  // the beam drawn before Orvalis tunes
static const char* const DISEQC_NAMES[] = {"None", "Simple A", "Simple B", "LNB1", "LNB2", "LNB3", "LNB4"};
static const char* const AXIS_NAMES[AXIS_COUNT] = {"Azimuth", "Elevation", "Skew"};
static const char* const BUTTON_TEXT[4] = {"-1\xB0", "-0.1\xB0", "+0.1\xB0", "+1\xB0"};

static double ViewWidth() { return SKY_VIEW.right - SKY_VIEW.left; }
static double ViewHeight() { return SKY_VIEW.bottom - SKY_VIEW.top; }

POINT SkyViewPoint(double azimuth, double elevation) {
    double across = std::remainder(azimuth - DishSim.target.azimuth, 360.0) + VIEW_HALF_AZIMUTH;
    double up = elevation - DishSim.target.elevation + VIEW_HALF_ELEVATION;
    return {LONG(SKY_VIEW.left + across / (2 * VIEW_HALF_AZIMUTH) * ViewWidth()),
            LONG(SKY_VIEW.bottom - up / (2 * VIEW_HALF_ELEVATION) * ViewHeight())};
}

void SkyViewAngles(int x, int y, double* azimuth, double* elevation) {
    *azimuth = DishSim.target.azimuth - VIEW_HALF_AZIMUTH + (x - SKY_VIEW.left) * 2 * VIEW_HALF_AZIMUTH / ViewWidth();
    *elevation =
        DishSim.target.elevation - VIEW_HALF_ELEVATION + (SKY_VIEW.bottom - y) * 2 * VIEW_HALF_ELEVATION / ViewHeight();
}

static bool Inside(POINT p) {
    return p.x >= SKY_VIEW.left && p.x < SKY_VIEW.right && p.y >= SKY_VIEW.top && p.y < SKY_VIEW.bottom;
}

static void Fill(HDC dc, RECT r, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

static void Text(HDC dc, int x, int y, COLORREF colour, const char* text) {
    SetTextColor(dc, colour);
    TextOutA(dc, x, y, text, int(strlen(text)));
}

static void Ring(HDC dc, POINT c, int rx, int ry, COLORREF colour, int width) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ oldPen = SelectObject(dc, pen), oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, c.x - rx, c.y - ry, c.x + rx + 1, c.y + ry + 1);
    SelectObject(dc, oldBrush);
    DeleteObject(SelectObject(dc, oldPen));
}

static void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    DeleteObject(SelectObject(dc, old));
}

static void PositionText(uint32_t key, char* text, size_t size) {
    char padded[16];
    FormatPositionText(key, padded, sizeof padded);
    const char* start = padded;
    while (*start == ' ') ++start;
    snprintf(text, size, "%s", start);
}

// Grid lines every 5 degrees, the ground below the horizon, the arc.
static void DrawBackdrop(HDC dc, Site site) {
    Fill(dc, SKY_VIEW, NIGHT);
    POINT horizon = SkyViewPoint(DishSim.target.azimuth, 0);
    if (horizon.y < SKY_VIEW.bottom)
        Fill(dc,
             RECT{SKY_VIEW.left, horizon.y > SKY_VIEW.top ? horizon.y : SKY_VIEW.top, SKY_VIEW.right, SKY_VIEW.bottom},
             GROUND);
    double left = DishSim.target.azimuth - VIEW_HALF_AZIMUTH, bottom = DishSim.target.elevation - VIEW_HALF_ELEVATION;
    char label[16];
    for (double az = std::ceil(left / 5) * 5; az <= left + 2 * VIEW_HALF_AZIMUTH; az += 5) {
        POINT p = SkyViewPoint(az, 0);
        Line(dc, p.x, SKY_VIEW.top, p.x, SKY_VIEW.bottom, GRID);
        snprintf(label, sizeof label, "%.0f\xB0", std::fmod(az + 360, 360));
        if (p.x + LABEL_GAP < SKY_VIEW.right) Text(dc, p.x + 2, SKY_VIEW.bottom - 14, MUTED, label);
    }
    for (double el = std::ceil(bottom / 5) * 5; el <= bottom + 2 * VIEW_HALF_ELEVATION; el += 5) {
        POINT p = SkyViewPoint(DishSim.target.azimuth, el);
        Line(dc, SKY_VIEW.left, p.y, SKY_VIEW.right, p.y, GRID);
        snprintf(label, sizeof label, "%.0f\xB0", el);
        Text(dc, SKY_VIEW.left + 2, p.y - 14, MUTED, label);
    }
    HPEN pen = CreatePen(PS_SOLID, 1, ARC);
    HGDIOBJ old = SelectObject(dc, pen);
    bool drawing = false;
    for (double longitude = -180; longitude <= 180; longitude += 0.25) {
        Pointing at = SatelliteLookAngles(site, longitude);
        POINT p = SkyViewPoint(at.azimuth, at.elevation);
        bool in = Inside(p) && std::fabs(std::remainder(at.azimuth - DishSim.target.azimuth, 360.0)) < 90;
        if (in && drawing) LineTo(dc, p.x, p.y);
        if (in && !drawing) MoveToEx(dc, p.x, p.y, nullptr);
        drawing = in;
    }
    DeleteObject(SelectObject(dc, old));
}

// The satellites in view, each labelled unless a label is already near.
static void DrawSatellites(HDC dc, Site site) {
    LONG labelled[64];
    int labels = 0;
    char text[48];
    uint32_t targetKey = DishSim.scenario.dish.lnbs[0].satelliteKey;
    for (uint32_t i = 0; i < DishSim.sky->satelliteCount; ++i) {
        uint32_t key = DishSim.sky->satellites[i].key;
        Pointing at = SatelliteLookAngles(site, OrbitLongitude(key));
        POINT p = SkyViewPoint(at.azimuth, at.elevation);
        if (!Inside(p) || key == targetKey) continue;
        Fill(dc, RECT{p.x - 2, p.y - 2, p.x + 3, p.y + 3}, STAR);
        bool crowded = false;
        for (int j = 0; j < labels; ++j) crowded |= std::labs(labelled[j] - p.x) < LABEL_GAP;
        if (crowded || labels == 64) continue;
        labelled[labels++] = p.x;
        PositionText(key, text, sizeof text);
        Text(dc, p.x - 12, p.y - 18, STAR, text);
    }
    POINT t = SkyViewPoint(DishSim.target.azimuth, DishSim.target.elevation);
    Ring(dc, t, 7, 7, TARGET, 2);
    Fill(dc, RECT{t.x - 2, t.y - 2, t.x + 3, t.y + 3}, TARGET);
    PositionText(targetKey, text, sizeof text);
    Text(dc, t.x + 10, t.y + 6, TARGET, text);
    const HeardReport& heard = DishSim.heard;
    if (heard.count && heard.lock && heard.satelliteKey >= 0) {
        Pointing at = SatelliteLookAngles(site, OrbitLongitude(uint32_t(heard.satelliteKey)));
        Ring(dc, SkyViewPoint(at.azimuth, at.elevation), 11, 11, HEARD, 2);
    }
}

// The crosshair where the dish points and the half-power circle around it,
// wider across as the azimuth scale shrinks with the elevation.
static void DrawBeam(HDC dc, double khz) {
    const Pointing& p = DishSim.pointing;
    POINT c = SkyViewPoint(p.azimuth, p.elevation);
    if (!Inside(c)) return;
    double radius = HalfPowerBeamwidth(khz, DishSim.scenario.dish.diameter) / 2;
    double perDegreeX = ViewWidth() / (2 * VIEW_HALF_AZIMUTH), perDegreeY = ViewHeight() / (2 * VIEW_HALF_ELEVATION);
    int rx = int(radius / std::cos(p.elevation * 3.14159265 / 180) * perDegreeX), ry = int(radius * perDegreeY);
    Ring(dc, c, rx, ry, BEAM, 2);
    Line(dc, c.x - rx - 6, c.y, c.x + rx + 7, c.y, BEAM);
    Line(dc, c.x, c.y - ry - 6, c.x, c.y + ry + 7, BEAM);
}

// What the card read in the heard satellite's tables: what a real meter
// says, which may not be where the beam falls (a relayed stream).
static void DrawIdentity(HDC dc, const HeardReport& h) {
    char text[64], position[16];
    PositionText(h.identityKey, position, sizeof position);
    bool placed = h.identityState == IDENTITY_CONFIRMED || h.identityState == IDENTITY_TENTATIVE;
    if (placed)
        snprintf(text, sizeof text, "identified %s, %s", position,
                 h.identityState == IDENTITY_CONFIRMED ? "confirmed" : "tentative");
    else
        snprintf(text, sizeof text, "%s",
                 h.identityState == IDENTITY_NO_POSITION ? "identified: no position in the tables" : "identifying...");
    Text(dc, 10, 392, !placed ? MUTED : h.identityKey == uint32_t(h.satelliteKey) ? INK : TARGET, text);
}

static void DrawNumbers(HDC dc, Site site, double khz) {
    char text[160], position[16];
    const Pointing& p = DishSim.pointing;
    const Pointing& t = DishSim.target;
    const DishScenario& dish = DishSim.scenario.dish;
    SelectObject(dc, DishSim.bold);
    snprintf(text, sizeof text, "Dish   az %.2f\xB0   el %.2f\xB0   skew %.2f\xB0", p.azimuth, p.elevation, p.skew);
    Text(dc, 10, 298, INK, text);
    SelectObject(dc, DishSim.font);
    PositionText(dish.lnbs[0].satelliteKey, position, sizeof position);
    int index = FindSkySatellite(DishSim.sky, dish.lnbs[0].satelliteKey);
    snprintf(text, sizeof text, "Target %s %.24s   az %.2f\xB0  el %.2f\xB0  skew %.2f\xB0", position,
             index >= 0 ? DishSim.sky->satellites[index].name : "", t.azimuth, t.elevation, t.skew);
    Text(dc, 10, 318, INK, text);
    double off = AngleBetween(PointingDirection(p.azimuth, p.elevation), PointingDirection(t.azimuth, t.elevation));
    snprintf(text, sizeof text, "%.2f\xB0 off the target; half-power beam %.2f\xB0 (%.0f cm dish at %.2f, %.2f)", off,
             HalfPowerBeamwidth(khz, dish.diameter), dish.diameter * 100, site.latitude, site.longitude);
    Text(dc, 10, 336, MUTED, text);

    const HeardReport& h = DishSim.heard;
    if (!h.count) {
        Text(dc, 10, 356, MUTED, "Orvalis has not tuned the card yet.");
        return;
    }
    snprintf(text, sizeof text, "Orvalis tunes %lu %s %lu, DiSEqC %s", (unsigned long)(h.frequency / 1000),
             h.polarization ? "V" : "H", (unsigned long)h.symbolRate, h.diseqc < 7 ? DISEQC_NAMES[h.diseqc] : "none");
    Text(dc, 10, 356, INK, text);
    SelectObject(dc, DishSim.bold);
    if (h.lock && h.satelliteKey >= 0) {
        PositionText(uint32_t(h.satelliteKey), position, sizeof position);
        snprintf(text, sizeof text, "LOCK   level %ld %%   SNR %.1f dB   from %s%s", (long)h.level, double(h.snr),
                 position, uint32_t(h.satelliteKey) == dish.lnbs[0].satelliteKey ? "" : "  (not the target!)");
        Text(dc, 10, 374, RGB(20, 140, 50), text);
        DrawIdentity(dc, h);
    } else {
        Text(dc, 10, 374, TARGET, "no lock");
    }
}

static void DrawButtons(HDC dc) {
    char text[32];
    const double values[AXIS_COUNT] = {DishSim.pointing.azimuth, DishSim.pointing.elevation, DishSim.pointing.skew};
    SetTextAlign(dc, TA_CENTER);
    for (int axis = 0; axis < AXIS_COUNT; ++axis) {
        int top = BUTTON_ROW_Y + axis * (BUTTON_ROW_H + 4);
        SetTextAlign(dc, TA_LEFT);
        Text(dc, 10, top + 6, INK, AXIS_NAMES[axis]);
        SetTextAlign(dc, TA_CENTER);
        for (int i = 0; i < 4; ++i) {
            RECT r = {BUTTON_X[i], top, BUTTON_X[i] + BUTTON_W, top + BUTTON_ROW_H};
            Fill(dc, r, BUTTON);
            DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
            Text(dc, BUTTON_X[i] + BUTTON_W / 2, top + 6, INK, BUTTON_TEXT[i]);
        }
        snprintf(text, sizeof text, "%.2f\xB0", values[axis]);
        Text(dc, (BUTTON_X[1] + BUTTON_W + BUTTON_X[2]) / 2, top + 6, INK, text);
    }
    SetTextAlign(dc, TA_LEFT);
    Text(dc, 10, CLIENT_H - 36, MUTED, "Arrows: azimuth, elevation by 0.1\xB0 (Shift 1\xB0); PgUp/PgDn: skew");
    Text(dc, 10, CLIENT_H - 20, MUTED, "Drag in the sky or roll the wheel to turn; Esc quits.");
}

void PaintDishSim(HDC dc) {
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, CLIENT_W, CLIENT_H);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    HGDIOBJ oldFont = SelectObject(memory, DishSim.font);
    SetBkMode(memory, TRANSPARENT);
    Fill(memory, RECT{0, 0, CLIENT_W, CLIENT_H}, PANEL);
    Site site = {DishSim.scenario.dish.latitude, DishSim.scenario.dish.longitude};
    double khz = DishSim.heard.count && DishSim.heard.frequency ? DishSim.heard.frequency : DEFAULT_KHZ;
    DrawBackdrop(memory, site);
    if (DishSim.sky) DrawSatellites(memory, site);
    DrawBeam(memory, khz);
    DrawNumbers(memory, site, khz);
    DrawButtons(memory);
    BitBlt(dc, 0, 0, CLIENT_W, CLIENT_H, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldFont);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
}
