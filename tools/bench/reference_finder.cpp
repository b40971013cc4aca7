// The yardstick of the CPU benchmark: a running finder's described work and
// nothing more, so that Orvalis's CPU against it is what the program adds.
//  - a poller calls a stub card every 50 ms (the level 57, SNR 8.25, locked);
//  - a meter thread composes the whole meter every 40 ms: the background and
//    the button from a 768 x 512 atlas, the level in the 72-pixel font and the
//    SNR in the 17-pixel one (the program's own fonts), then one copy to the
//    window;
//  - a sound thread runs the program's own schedule (feedback/sound_schedule)
//    and plays the program's own clips (its resources are linked in) with
//    sndPlaySoundA from memory.
// "reference_finder.exe MODE" opens the window with the finder stopped, in
// the sound mode MODE (0..5, as the Sound button counts); a click on the
// window starts or stops the finder; "reference_finder.exe --close" closes it.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"  // the program's own fonts (app/fonts.cpp)
#include "feedback/sound_schedule.h"

constexpr const char* WINDOW_CLASS = "ReferenceFinder";
constexpr int FRAME_MS = 40, POLL_MS = 50, STOP_WAIT_MS = 20;
constexpr int AREA_X = 160, AREA_Y = 75, AREA_W = 190, AREA_H = 100;
constexpr int BUTTON_X = 335, BUTTON_Y = 174, BUTTON_W = 80, BUTTON_H = 82;
constexpr int GREEN_BUTTON_X = 592, GREEN_BUTTON_Y = 85;
constexpr RECT SNR_RECT = {256, 150, 337, 170};
constexpr int TEXT_FONT_HEIGHT = 17;
constexpr uint32_t STUB_LEVEL = 57;
constexpr float STUB_SNR = 8.25f;

static HINSTANCE Instance;
static HDC WindowDc, MemoryDc;
static HFONT TextFont, BigFont;
static uint32_t* AtlasPixels;
static BITMAPINFO AtlasInfo;
static uint32_t SoundMode = SOUND_MODE_MUTE;
static CRITICAL_SECTION StateLock;
static const void* Clips[SOUND_CLIP_COUNT];
static std::atomic<uint32_t> FinderRunning, PollerAlive, SoundAlive, MeterAlive;
static std::atomic<uint32_t> SignalPercent, SoundCounter;
static std::atomic<float> SignalToNoise;

// The card: each answer is a call that returns at once.
__attribute__((noinline)) static void StubUpdateStatus() { asm volatile(""); }
__attribute__((noinline)) static uint32_t StubSignalPercent() { return STUB_LEVEL; }
__attribute__((noinline)) static float StubSignalToNoise() { return STUB_SNR; }

static DWORD WINAPI PollerThread(LPVOID) {
    while (FinderRunning.load()) {
        Sleep(POLL_MS);
        StubUpdateStatus();
        SignalPercent.store(StubSignalPercent());
        SignalToNoise.store(StubSignalToNoise());
    }
    SignalPercent.store(0);
    PollerAlive.store(0);
    return 0;
}

static void CopyAtlasPiece(HDC dc, int x, int y, int w, int h, int srcX, int srcY) {
    StretchDIBits(dc, x, y, w, h, srcX, SKIN_HEIGHT - srcY - h, w, h, AtlasPixels, &AtlasInfo, DIB_RGB_COLORS, SRCCOPY);
}

static void DrawFrame() {
    CopyAtlasPiece(MemoryDc, AREA_X, AREA_Y, AREA_W, AREA_H, AREA_X, AREA_Y);
    char text[16];
    RECT level = METER_LEVEL_RECT, snr = SNR_RECT;
    SelectObject(MemoryDc, BigFont);
    snprintf(text, sizeof text, "%u%%", (unsigned)SignalPercent.load());
    DrawTextA(MemoryDc, text, -1, &level, DT_WORDBREAK | DT_LEFT | DT_TOP);
    SelectObject(MemoryDc, TextFont);
    snprintf(text, sizeof text, "SNR %.2f", (double)SignalToNoise.load());
    DrawTextA(MemoryDc, text, -1, &snr, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM | DT_NOCLIP);
    CopyAtlasPiece(WindowDc, BUTTON_X, BUTTON_Y, BUTTON_W, BUTTON_H, GREEN_BUTTON_X, GREEN_BUTTON_Y);
    BitBlt(WindowDc, AREA_X, AREA_Y, AREA_W, AREA_H, MemoryDc, AREA_X, AREA_Y, SRCCOPY);
}

static DWORD WINAPI MeterThread(LPVOID) {
    while (PollerAlive.load()) {
        DrawFrame();
        // A message wait, not a sleep: under Wine the frame reaches the screen
        // only at this thread's next message wait.
        DWORD start = GetTickCount();
        for (DWORD waited = 0; waited < FRAME_MS; waited = GetTickCount() - start)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, FRAME_MS - waited, 0);
    }
    MeterAlive.store(0);
    return 0;
}

static void PlayClip(void*, int clip) {
    if (clip >= 0 && clip < SOUND_CLIP_COUNT && Clips[clip])
        sndPlaySoundA((const char*)Clips[clip], SND_ASYNC | SND_MEMORY | SND_NODEFAULT);
}

static void PauseFor(void*, uint32_t milliseconds) { Sleep(milliseconds); }

static void CopyInputs(void*, SoundInputs* inputs) {
    EnterCriticalSection(&StateLock);
    *inputs = {FinderRunning.load(), (int32_t)SignalPercent.load(), 0, SoundMode};
    LeaveCriticalSection(&StateLock);
}

static DWORD WINAPI SoundThread(LPVOID) {
    SoundSink sink = {PlayClip, PauseFor, nullptr, nullptr};
    RunSoundLoop(CopyInputs, &SoundCounter, sink);
    SoundAlive.store(0);
    return 0;
}

static void StartDetached(LPTHREAD_START_ROUTINE routine, std::atomic<uint32_t>* alive) {
    alive->store(1);
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        alive->store(0);
}

static void ToggleFinder() {
    if (!FinderRunning.load()) {
        SoundCounter.store(0);
        FinderRunning.store(1);
        StartDetached(PollerThread, &PollerAlive);
        StartDetached(SoundThread, &SoundAlive);
        StartDetached(MeterThread, &MeterAlive);
        return;
    }
    FinderRunning.store(0);
    while (PollerAlive.load() || SoundAlive.load() || MeterAlive.load()) Sleep(STOP_WAIT_MS);
}

static void LoadClips() {
    char name[8];
    for (int clip = 0; clip < SOUND_CLIP_COUNT; ++clip) {
        if (!SoundClipName(clip, name, sizeof name)) continue;
        HRSRC found = FindResourceA(Instance, name, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
        HGLOBAL loaded = found ? LoadResource(Instance, found) : nullptr;
        Clips[clip] = loaded ? LockResource(loaded) : nullptr;
    }
}

static void MakeDrawingObjects() {
    MemoryDc = CreateCompatibleDC(WindowDc);
    SelectObject(MemoryDc, CreateCompatibleBitmap(WindowDc, FACE_SIZE, FACE_SIZE / 2));
    AtlasInfo.bmiHeader = {sizeof(BITMAPINFOHEADER), SKIN_WIDTH, -SKIN_HEIGHT, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    AtlasPixels = (uint32_t*)calloc((size_t)SKIN_WIDTH * SKIN_HEIGHT, sizeof *AtlasPixels);
    for (int i = 0; AtlasPixels && i < SKIN_WIDTH * SKIN_HEIGHT; ++i)
        AtlasPixels[i] = (uint32_t)(i % SKIN_WIDTH < FACE_SIZE ? 0x1e1814 : 0x20a020);
    TextFont = CreateSkinFont(TEXT_FONT_HEIGHT);
    BigFont = CreateLevelFont(MemoryDc);
    SelectObject(MemoryDc, CreatePen(PS_SOLID, 5, RGB(200, 0, 0)));
    for (HDC dc : {WindowDc, MemoryDc}) {
        SetTextColor(dc, TEXT_COLOUR);
        SetBkMode(dc, TRANSPARENT);
    }
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            CopyAtlasPiece(WindowDc, 0, 0, FACE_SIZE, FACE_SIZE, 0, 0);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_LBUTTONDOWN:
            ToggleFinder();
            InvalidateRect(window, nullptr, FALSE);
            return 0;
        case WM_DESTROY:
            if (FinderRunning.load()) ToggleFinder();
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    if (!strcmp(commandLine, "--close")) return !PostMessageA(FindWindowA(WINDOW_CLASS, nullptr), WM_CLOSE, 0, 0);
    Instance = instance;
    if (*commandLine) SoundMode = (uint32_t)atoi(commandLine);
    InitializeCriticalSection(&StateLock);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    windowClass.lpszClassName = WINDOW_CLASS;
    RegisterClassA(&windowClass);
    // At the screen's left edge: beside a centred Orvalis on a wide screen, so
    // neither window covers the other's meter.
    HWND window =
        CreateWindowExA(0, WINDOW_CLASS, "Reference", WS_POPUP, 0, GetSystemMetrics(SM_CYSCREEN) / 2 - FACE_SIZE / 2,
                        FACE_SIZE, FACE_SIZE, nullptr, nullptr, instance, nullptr);
    WindowDc = GetDC(window);
    MakeDrawingObjects();
    LoadClips();
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
