// The signal log: a full-screen dialog that samples the level once a second,
// plots the last five minutes as bars on a 0..100 % grid, and writes every
// second with a signal to signal_log.txt beside the program. The graph lives
// off screen and reaches the dialog only through the copy of each tick.
#include "app/app.h"
#include "feedback/feedback.h"
#include "feedback/signal_log_lines.h"
#include <cstdio>
#include <cstring>

constexpr UINT_PTR LOG_TIMER_ID = 115;
constexpr UINT LOG_TIMER_MS = 1000;
constexpr int ID_LOG_CLOSE = 113;
constexpr int CLOSE_W = 50, CLOSE_H = 20, CLOSE_FROM_BOTTOM = 40;
constexpr int TITLE_Y = 25;
constexpr int TRANSPONDER_X_OFFSET = 250;
constexpr int FILE_NOTE_X_OFFSET = 200;
constexpr int LEVEL_LABEL_RISE = 8;  // each level label sits this far above its line
constexpr int MINUTE_LABEL_SHIFT = 20;
constexpr COLORREF BAR_COLOUR = RGB(0, 100, 0);
constexpr INT_PTR NOT_OPENED = 1;  // the result when the dialog ends at once
static const char LOG_FILE_NAME[] = "signal_log.txt";
static const char FILE_NOTE[] = "Log file: signal_log.txt";
static const char* const MINUTE_LABELS[] = {"0min", "1 min", "2 min", "3 min", "4 min", "5 min"};

static UtcTime NowUtc() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

// Straight to the file, unbuffered: a crash loses at most the current second.
static void WriteLogLine(const char* line) {
    DWORD written;
    WriteFile(AppState.logFile, line, (DWORD)strlen(line), &written, nullptr);
}

static int GraphWidth() { return AppState.graphBarWidth * GRAPH_SAMPLE_COUNT; }
static int GraphHeight() { return AppState.graphRowHeight * GRAPH_ROWS; }

static void Line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

// Black with a line every 5 % and every minute.
static void DrawGraphGrid() {
    HDC dc = AppState.dialogMemoryDc;
    RECT whole = {0, 0, GraphWidth() + 1, GraphHeight() + 1};
    FillRect(dc, &whole, AppState.blackBrush);
    SelectObject(dc, AppState.darkPen);
    for (int i = 0; i <= GRAPH_ROWS; ++i)
        Line(dc, 0, AppState.graphRowHeight * i, GraphWidth(), AppState.graphRowHeight * i);
    for (int j = 0; j <= GRAPH_SAMPLE_COUNT; j += 60)
        Line(dc, AppState.graphBarWidth * j, 0, AppState.graphBarWidth * j, GraphHeight());
}

static void CopyGraph(DWORD rasterOperation) {
    BitBlt(AppState.dialogDc, AppState.graphLeft, GRAPH_TOP, GraphWidth() + 1, GraphHeight() + 1,
           AppState.dialogMemoryDc, 0, 0, rasterOperation);
}

// Each object once, and its field cleared, so the clean-up at exit finds
// nothing of the dialog's left to delete.
static void ReleaseSignalLog(HWND dialog) {
    if (AppState.logFile) {
        CloseHandle(AppState.logFile);
        AppState.logFile = nullptr;
    }
    ReleaseDialogSurface();
    if (AppState.graphPen) {
        DeleteObject(AppState.graphPen);
        AppState.graphPen = nullptr;
    }
    if (AppState.dialogDc) {
        ReleaseDC(dialog, AppState.dialogDc);
        AppState.dialogDc = nullptr;
    }
    if (AppState.graphSamples) {
        HeapFree(GetProcessHeap(), 0, AppState.graphSamples);
        AppState.graphSamples = nullptr;
    }
}

static void OnSignalLogInit(HWND dialog) {
    SetProgramFolderAsWorkingDirectory();
    HANDLE file = CreateFileA(LOG_FILE_NAME, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        EndDialog(dialog, NOT_OPENED);
        return;
    }
    AppState.logFile = file;
    char header[LOG_HEADER_SIZE];
    if (FormatLogHeader(header, sizeof header, NowUtc())) WriteLogLine(header);
    WriteLogLine(LOG_FORMAT_LINE);

    int w = AppState.screenWidth, h = AppState.screenHeight;
    MoveWindow(dialog, 0, 0, w, h, FALSE);
    GraphGeometry g = SignalGraphGeometry(w, h);
    AppState.graphRowHeight = g.rowHeight;
    AppState.graphBarWidth = g.barWidth;
    AppState.graphLeft = g.left;
    AppState.dialogButton =
        CreateWindowExA(0, "BUTTON", "close", WS_CHILD | WS_VISIBLE, w - g.left - CLOSE_W, h - CLOSE_FROM_BOTTOM,
                        CLOSE_W, CLOSE_H, dialog, (HMENU)(INT_PTR)ID_LOG_CLOSE, AppState.instance, nullptr);

    AppState.dialogDc = GetDC(dialog);
    AppState.dialogMemoryDc = CreateCompatibleDC(AppState.dialogDc);
    AppState.dialogBitmap = CreateCompatibleBitmap(AppState.dialogDc, GraphWidth() + 1, GraphHeight() + 1);
    SelectObject(AppState.dialogMemoryDc, AppState.dialogBitmap);
    SelectObject(AppState.dialogMemoryDc, AppState.darkPen);

    AppState.graphSamples =
        (int32_t*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, GRAPH_SAMPLE_COUNT * sizeof(int32_t));
    if (!AppState.graphSamples) {
        // Without its samples the log cannot go on: it ends as it does when
        // its file cannot be made, the file holding just its header.
        ReleaseSignalLog(dialog);
        EndDialog(dialog, NOT_OPENED);
        return;
    }
    AppState.graphSampleIndex = 0;
    DrawGraphGrid();
    AppState.graphPen = CreatePen(PS_SOLID, AppState.graphBarWidth, BAR_COLOUR);
    SelectObject(AppState.dialogMemoryDc, AppState.graphPen);
    SetTimer(dialog, LOG_TIMER_ID, LOG_TIMER_MS, nullptr);
}

static void OnSignalLogTick() {
    if (!AppState.graphSamples) return;
    uint32_t index = AppState.graphSampleIndex;
    EnterCriticalSection(&AppState.stateLock);
    int32_t sample = (int32_t)AppState.signalPercent.load();
    LeaveCriticalSection(&AppState.stateLock);
    AppState.graphSamples[index] = sample;

    UtcTime now = NowUtc();
    char record[LOG_RECORD_SIZE];
    if (sample > 0 && FormatLogRecord(record, sizeof record, now, sample)) WriteLogLine(record);

    // A wide pen draws a round dot even for a line of no length, and a second
    // without signal must leave its column empty.
    int x = AppState.graphBarWidth * (int)index;
    int rise = GraphPixelsPerPercent(AppState.graphRowHeight) * sample;
    if (rise > 0) Line(AppState.dialogMemoryDc, x, GraphHeight(), x, GraphHeight() - rise);
    // OR, so that labels over the graph stay readable.
    CopyGraph(SRCPAINT);

    if (++AppState.graphSampleIndex == GRAPH_SAMPLE_COUNT) {
        // Five minutes full: start again on an empty graph; it never scrolls.
        AppState.graphSampleIndex = 0;
        DrawGraphGrid();
        SelectObject(AppState.dialogMemoryDc, AppState.graphPen);
        CopyGraph(SRCCOPY);
    }
}

int DrawControlText(HWND window, HDC dc, int x) {
    int length = GetWindowTextLengthA(window);
    if (length < 1) return 1;
    char* text = (char*)HeapAlloc(GetProcessHeap(), 0, length + 1);
    if (!text) return 1;
    GetWindowTextA(window, text, length + 1);
    TextAt(dc, x, TITLE_Y, text);
    HeapFree(GetProcessHeap(), 0, text);
    return 0;
}

static void OnSignalLogPaint(HWND dialog) {
    if (!GetUpdateRect(dialog, nullptr, FALSE)) return;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TEXT_COLOUR);
    RECT client;
    GetClientRect(dialog, &client);
    DrawBevelBox(dc, client.left, client.top, client.right, client.bottom, 0, 0, AppState.blackBrush);

    int left = AppState.graphLeft, bar = AppState.graphBarWidth, row = AppState.graphRowHeight;
    DrawControlText(AppState.satelliteCombo, dc, left);
    DrawControlText(AppState.transponderCombo, dc, left + TRANSPONDER_X_OFFSET);
    TextAt(dc, AppState.screenWidth / 2 + FILE_NOTE_X_OFFSET, TITLE_Y, FILE_NOTE);
    int axisY = GraphHeight() + GRAPH_TOP + 5;
    for (int minute = 0; minute <= 5; ++minute)
        TextAt(dc, left + bar * 60 * minute - MINUTE_LABEL_SHIFT, axisY, MINUTE_LABELS[minute]);
    for (int level = 100, rows = 0; level >= 0; level -= 10, rows += 2) {
        char label[8];
        snprintf(label, sizeof label, "%d%%", level);
        TextAt(dc, left, GRAPH_TOP - LEVEL_LABEL_RISE + rows * row, label);
    }
    EndPaint(dialog, &paint);
}

static void CloseSignalLog(HWND dialog, INT_PTR result) {
    KillTimer(dialog, LOG_TIMER_ID);
    ReleaseSignalLog(dialog);
    EndDialog(dialog, result);
}

INT_PTR CALLBACK SignalLogDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnSignalLogInit(dialog);
            return TRUE;
        case WM_TIMER:
            OnSignalLogTick();
            return TRUE;
        case WM_PAINT:
            OnSignalLogPaint(dialog);
            return TRUE;
        case WM_COMMAND:        // the close button, Escape, Enter, the close command
        case WM_LBUTTONDBLCLK:  // a double-click closes it as it opened it
            CloseSignalLog(dialog, LOWORD(wParam));
            return TRUE;
    }
    return FALSE;
}
