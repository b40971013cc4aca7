// What the application core offers the other subsystems.
#pragma once
#include "app/app_state.h"

// Resource ids and names carried by the program
constexpr int DIALOG_TEMPLATE_ID = 117;
constexpr int ICON_ID = 118;
constexpr const char* DIALOG_TEMPLATE = "#117";
constexpr int ID_DISEQC_COMBO = 110;
constexpr int ID_SATELLITE_COMBO = 111;
constexpr int ID_TRANSPONDER_COMBO = 112;

// Skin atlas geometry
constexpr int SKIN_WIDTH = 768;
constexpr int SKIN_HEIGHT = 512;
constexpr int FACE_SIZE = 512;
constexpr size_t SKIN_BYTES = size_t(SKIN_WIDTH) * SKIN_HEIGHT * 4;

// Colours
constexpr COLORREF TEXT_COLOUR = RGB(190, 200, 210);
constexpr COLORREF PANEL_COLOUR = RGB(205, 205, 213);

// The user guide, one HTML page beside the exe (the build and the packages put it there)
constexpr const char* USER_GUIDE_FILE = "user-guide.html";

// start-up
int CreateMainWindow(HINSTANCE instance);
int InitApplication();
int SetProgramFolderAsWorkingDirectory();
int UserGuidePath(char* path, size_t size);  // its full path; 1 when it does not fit

void CreateTooltips();

// The face's fonts: weight 600, the system's default face. The level font is
// the largest up to 72 pixels whose "100%" fits the meter, measured on dc.
constexpr RECT METER_LEVEL_RECT = {175, 85, 337, 150};
HFONT CreateSkinFont(int height);
HFONT CreateLevelFont(HDC dc);

// skin and shape
HRESULT LoadSkin();
void CreateWindowRegions();
void CopySkinPiece(HDC dc, int x, int y, int w, int h, int srcX, int srcY);
void CopyBaseImage(HDC dc, int x, int y, int w, int h);
void DrawBevelBox(HDC dc, int left, int top, int right, int bottom, int style, int cornerSize, HBRUSH fillBrush);
void ReleaseDialogSurface();
void TextAt(HDC dc, int x, int y, const char* text);

// main window, dialogs, settings, clean-up
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MessageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR ShowMessageDialog(uint32_t kind);
void ReadSettingsFile();
int SaveSettings();
void CleanUp();
void WaitForWorkers();  // until all three workers have left

// The status box: one numbered message in red over the lower part of the face.
void DrawStatusText(int message, int left, int top, int width);
// A message in the status box for two seconds, the window taking no input
// meanwhile, then a repaint that takes it away.
void ShowStatusMessage(int message);

// Blocks the calling thread for a while without handling any input, so that a
// message stays on screen long enough to be read. Under Wine what a thread drew
// on a window's own DC reaches the screen only at its next message wait, so
// this waits for messages (and takes none) instead of sleeping.
void HoldOnScreen(DWORD milliseconds);

// The main thread and the meter thread both draw on the window's own DC;
// whoever draws there holds this, so no frame is ever mixed with a paint.
void BeginWindowDrawing();
void EndWindowDrawing();
