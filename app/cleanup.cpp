// The one orderly end: workers stopped first, then every drawing object, the
// settings saved, and the card let go.
#include "app/app.h"
#include "tuner/tuner.h"
#include <objbase.h>

constexpr int STOP_WAIT_MS = 200;

template <typename Handle>
static void DeleteGdiObject(Handle& object) {
    if (object) {
        DeleteObject(object);
        object = nullptr;
    }
}

// "Please wait ..." stays on screen for the whole stop.
static void WaitUntilClear(const std::atomic<uint8_t>& alive) {
    while (alive.load(std::memory_order_acquire)) HoldOnScreen(STOP_WAIT_MS);
}

void WaitForWorkers() {
    WaitUntilClear(AppState.pollerAlive);
    WaitUntilClear(AppState.soundThreadAlive);
    WaitUntilClear(AppState.meterThreadAlive);
}

void CleanUp() {
    // Once per process: after a failed start-up the window still exists, and
    // the system may destroy it on the way out.
    static bool done = false;
    if (done) return;
    done = true;

    // Nothing is released while a worker may still use it: the poller calls
    // the tuner every cycle and the meter draws with the fonts and the skin.
    AppState.finderRunning.store(0);
    WaitForWorkers();

    DeleteGdiObject(AppState.textFont);
    DeleteGdiObject(AppState.bigFont);
    for (HRGN* region : {&AppState.reservedButtonRegionA, &AppState.reservedButtonRegionB, &AppState.mobileButtonRegion,
                         &AppState.satCalcButtonRegion, &AppState.closeButtonRegion, &AppState.sortButtonRegion,
                         &AppState.minimizeButtonRegion, &AppState.startButtonRegion, &AppState.languageButtonRegion,
                         &AppState.soundButtonRegion, &AppState.transponderEditRegion, &AppState.aboutButtonRegion,
                         &AppState.helpButtonRegion})
        DeleteGdiObject(*region);
    DeleteGdiObject(AppState.panelBrush);
    for (HPEN* pen : {&AppState.greyPen, &AppState.graphPen, &AppState.darkPen, &AppState.redPen})
        DeleteGdiObject(*pen);

    if (AppState.skinPixels) {
        HeapFree(GetProcessHeap(), 0, AppState.skinPixels);
        AppState.skinPixels = nullptr;
    }

    // The frequency of the transponder shown in the box is saved too.
    ReadTransponderParameters(0);
    SaveSettings();

    ReleaseTuner();
    CoUninitialize();

    if (AppState.memoryDc) {
        DeleteDC(AppState.memoryDc);
        AppState.memoryDc = nullptr;
    }
    ReleaseDC(AppState.mainWindow, AppState.windowDc);
}
