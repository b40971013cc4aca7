// The yardstick of the CPU benchmark: the least a program does to show what a
// running finder shows. A 512 x 512 window whose meter area a drawing thread
// copies from a memory DC to the window's own DC every 40 ms, with a message
// wait between frames, and a worker that calls a stub every 50 ms, as the
// signal poller calls the card. "reference_finder.exe --close" closes it.
#include <windows.h>

#include <atomic>
#include <cstring>

constexpr const char* WINDOW_CLASS = "ReferenceFinder";
constexpr int FACE_SIZE = 512;
constexpr int FRAME_MS = 40;
constexpr int POLL_MS = 50;
constexpr int AREA_X = 160, AREA_Y = 75, AREA_W = 190, AREA_H = 100;
constexpr COLORREF FACE_COLOUR = RGB(20, 24, 30), METER_COLOUR = RGB(9, 12, 16);

static HDC WindowDc, MemoryDc;
static HBRUSH FaceBrush;
static std::atomic<bool> Running{true};
static std::atomic<unsigned> Polls;

// Stands for the card: the poll is a call that returns at once.
__attribute__((noinline)) static void PollStub() { Polls.fetch_add(1, std::memory_order_relaxed); }

static DWORD WINAPI PollerThread(LPVOID) {
    while (Running.load()) {
        Sleep(POLL_MS);
        PollStub();
    }
    return 0;
}

static DWORD WINAPI MeterThread(LPVOID) {
    while (Running.load()) {
        BitBlt(WindowDc, AREA_X, AREA_Y, AREA_W, AREA_H, MemoryDc, AREA_X, AREA_Y, SRCCOPY);
        // A message wait, not a sleep: under Wine the copy reaches the screen
        // only at this thread's next message wait.
        DWORD start = GetTickCount();
        for (DWORD waited = 0; waited < FRAME_MS; waited = GetTickCount() - start)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, FRAME_MS - waited, 0);
    }
    return 0;
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        FillRect(WindowDc, &paint.rcPaint, FaceBrush);  // the meter shows at the next frame
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_DESTROY) {
        Running.store(false);
        PostQuitMessage(0);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void StartDetached(LPTHREAD_START_ROUTINE routine) {
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    if (!strcmp(commandLine, "--close"))
        return !PostMessageA(FindWindowA(WINDOW_CLASS, nullptr), WM_CLOSE, 0, 0);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = WINDOW_CLASS;
    RegisterClassA(&windowClass);
    // At the screen's left edge: beside a centred Orvalis on a wide screen, so
    // neither window covers the other's meter.
    HWND window = CreateWindowExA(0, WINDOW_CLASS, "Reference", WS_POPUP, 0,
                                  GetSystemMetrics(SM_CYSCREEN) / 2 - FACE_SIZE / 2, FACE_SIZE,
                                  FACE_SIZE, nullptr, nullptr, instance, nullptr);
    WindowDc = GetDC(window);
    MemoryDc = CreateCompatibleDC(WindowDc);
    SelectObject(MemoryDc, CreateCompatibleBitmap(WindowDc, FACE_SIZE, FACE_SIZE / 2));
    FaceBrush = CreateSolidBrush(FACE_COLOUR);
    RECT meter = {AREA_X, AREA_Y, AREA_X + AREA_W, AREA_Y + AREA_H};
    FillRect(MemoryDc, &meter, CreateSolidBrush(METER_COLOUR));
    ShowWindow(window, show);
    UpdateWindow(window);
    StartDetached(PollerThread);
    StartDetached(MeterThread);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
