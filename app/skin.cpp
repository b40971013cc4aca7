// The skin atlas, the window's round shape and the button hit regions, and
// the bevelled box every status message and dialog is framed with.
#include "app/app.h"
#include <ole2.h>
#include <olectl.h>
#include <cstdio>
#include <cstring>

static const char TEMP_SKIN_FILE[] = "orvss2099.dat";
constexpr int INVALID_PARAMETER = 87;  // what GetDIBits reports for a bad request

// Writes the JPEG to a file beside the exe for a moment: the system's picture
// loader takes a path, not memory.
static int WriteTemporarySkinFile(const void* bytes, DWORD size) {
    SetProgramFolderAsWorkingDirectory();
    HANDLE file = CreateFileA(TEMP_SKIN_FILE, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, bytes, size, &written, nullptr);
    CloseHandle(file);
    return 0;
}

static void TemporarySkinPath(WCHAR* wide, int wideCount) {
    char path[512];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length >= sizeof path) length = sizeof path - 1;
    path[length] = 0;
    char* slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    char full[512];
    // A path that does not fit is cut at the buffer; the loader then fails.
    snprintf(full, sizeof full, "%s\\%s", path, TEMP_SKIN_FILE);
    MultiByteToWideChar(CP_ACP, 0, full, -1, wide, wideCount);
}

HRESULT LoadSkin() {
    CoInitialize(nullptr);
    HRSRC found = FindResourceA(AppState.instance, "IMGRES", MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(AppState.instance, found) : nullptr;
    DWORD size = found ? SizeofResource(AppState.instance, found) : 0;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || WriteTemporarySkinFile(bytes, size)) return E_FAIL;

    WCHAR widePath[512];
    TemporarySkinPath(widePath, 512);
    IPicture* picture = nullptr;
    if (FAILED(OleLoadPicturePath(widePath, nullptr, 0, 0, IID_IPicture, (void**)&picture)) || !picture) return E_FAIL;
    SetProgramFolderAsWorkingDirectory();
    DeleteFileA(TEMP_SKIN_FILE);

    OLE_HANDLE handle = 0;
    if (FAILED(picture->get_Handle(&handle))) {
        picture->Release();
        return E_FAIL;
    }
    HBITMAP bitmap = (HBITMAP)(UINT_PTR)handle;

    AppState.skinPixels = (uint8_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, SKIN_BYTES);
    BITMAPINFOHEADER& header = AppState.skinBitmapInfo.bmiHeader;
    memset(&AppState.skinBitmapInfo, 0, sizeof AppState.skinBitmapInfo);
    header.biSize = sizeof(BITMAPINFOHEADER);
    int lines = GetDIBits(AppState.memoryDc, bitmap, 0, SKIN_HEIGHT, nullptr, (BITMAPINFO*)&AppState.skinBitmapInfo,
                          DIB_RGB_COLORS);
    // The buffer is sized for exactly 768 x 512: any other picture is refused.
    if (lines == INVALID_PARAMETER || lines == 0 || header.biWidth != SKIN_WIDTH || !AppState.skinPixels) {
        picture->Release();
        return E_FAIL;
    }
    header.biBitCount = 32;
    header.biHeight = -SKIN_HEIGHT;
    header.biCompression = BI_RGB;  // no colour masks: the record has room for one entry only
    lines = GetDIBits(AppState.memoryDc, bitmap, 0, SKIN_HEIGHT, AppState.skinPixels,
                      (BITMAPINFO*)&AppState.skinBitmapInfo, DIB_RGB_COLORS);
    picture->Release();
    if (lines == INVALID_PARAMETER || lines == 0) return E_FAIL;
    CoUninitialize();
    return S_OK;
}

struct RoundRegion {
    HRGN* field;
    int left, top, right, bottom, ellipseW, ellipseH;
};

void CreateWindowRegions() {
    AppState.windowRegion = CreateRoundRectRgn(0, 0, 512, 512, 512, 512);
    SetWindowRgn(AppState.mainWindow, AppState.windowRegion, TRUE);
    const RoundRegion regions[] = {
        {&AppState.closeButtonRegion, 355, 40, 386, 74, 31, 34},
        {&AppState.minimizeButtonRegion, 390, 70, 422, 101, 32, 31},
        {&AppState.startButtonRegion, 342, 181, 409, 248, 67, 67},
        {&AppState.transponderEditRegion, 106, 273, 172, 340, 66, 67},
        {&AppState.languageButtonRegion, 50, 365, 80, 395, 30, 30},
        {&AppState.soundButtonRegion, 91, 412, 121, 442, 30, 30},
        {&AppState.helpButtonRegion, 144, 448, 174, 478, 30, 30},
        {&AppState.aboutButtonRegion, 220, 467, 294, 486, 0, 0},
        {&AppState.sortButtonRegion, 100, 170, 130, 200, 30, 30},
        {&AppState.reservedButtonRegionA, 460, 310, 490, 340, 30, 30},
        {&AppState.reservedButtonRegionB, 432, 365, 462, 395, 30, 30},
        {&AppState.mobileButtonRegion, 393, 414, 423, 444, 30, 30},
        {&AppState.satCalcButtonRegion, 340, 450, 370, 480, 30, 30},
    };
    for (const RoundRegion& r : regions) {
        *r.field = r.ellipseW ? CreateRoundRectRgn(r.left, r.top, r.right, r.bottom, r.ellipseW, r.ellipseH)
                              : CreateRectRgn(r.left, r.top, r.right, r.bottom);
    }
}

// The DIB stretch call measures the source rectangle of this top-down atlas
// from its bottom edge, hence the flipped source y.
void CopySkinPiece(HDC dc, int x, int y, int w, int h, int srcX, int srcY) {
    if (!AppState.skinPixels) return;
    StretchDIBits(dc, x, y, w, h, srcX, SKIN_HEIGHT - srcY - h, w, h, AppState.skinPixels,
                  (const BITMAPINFO*)&AppState.skinBitmapInfo, DIB_RGB_COLORS, SRCCOPY);
}

void CopyBaseImage(HDC dc, int x, int y, int w, int h) { CopySkinPiece(dc, x, y, w, h, x, y); }

void DrawBevelBox(HDC dc, int left, int top, int right, int bottom, int style, int cornerSize, HBRUSH fillBrush) {
    HGDIOBJ previousBrush = SelectObject(dc, fillBrush);
    for (int i = 0; i < 16; ++i) {
        COLORREF colour =
            style == 0 ? RGB(160 - 10 * i, 170 - 10 * i, 180 - 10 * i) : RGB(45 + 10 * i, 45 + 10 * i, 53 + 10 * i);
        HPEN pen = CreatePen(PS_SOLID, 2, colour);
        HGDIOBJ previousPen = SelectObject(dc, pen);
        RoundRect(dc, left + i, top + i, right - i, bottom - i, cornerSize - i, cornerSize - i);
        SelectObject(dc, previousPen);
        DeleteObject(pen);
    }
    SelectObject(dc, previousBrush);
}

void TextAt(HDC dc, int x, int y, const char* text) { TextOutA(dc, x, y, text, lstrlenA(text)); }

// The off-screen surfaces of the signal log or the dish dialog, each object
// once, its field cleared. A DC goes before its bitmap: a bitmap or pen still
// selected into a DC cannot be deleted.
void ReleaseDialogSurface() {
    for (HDC* dc : {&AppState.dialogMemoryDc, &AppState.dialogBackDc}) {
        if (*dc) DeleteDC(*dc);
        *dc = nullptr;
    }
    for (HBITMAP* bitmap : {&AppState.dialogBitmap, &AppState.dialogBackBitmap}) {
        if (*bitmap) DeleteObject(*bitmap);
        *bitmap = nullptr;
    }
}

void BeginWindowDrawing() { EnterCriticalSection(&AppState.windowDrawLock); }
void EndWindowDrawing() { LeaveCriticalSection(&AppState.windowDrawLock); }
