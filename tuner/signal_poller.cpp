// The signal poller: the only writer of the level, the SNR and the lock flag.
#include "app/app_state.h"
#include "tuner/tuner.h"
#include "tuner/tuner_control.h"

constexpr int POLL_MS = 50;

DWORD WINAPI SignalPollerThread(LPVOID) {
    AppState.pollerAlive.store(1, std::memory_order_release);
    TunerControl* tuner = AppState.tunerControl;
    while (AppState.finderRunning.load()) {
        Sleep(POLL_MS);
        // The lock is asked for only while there is no level.
        if (AppState.signalPercent.load(std::memory_order_relaxed) == 0) {
            if (FAILED(tuner->lpVtbl->CheckLock(tuner))) {
                AppState.signalToNoise.store(0.0f, std::memory_order_relaxed);
                continue;
            }
            AppState.lockSeen.store(1, std::memory_order_relaxed);
        }
        tuner->lpVtbl->UpdateStatus(tuner);
        // Whatever the card writes stands; the readers cope with any value.
        unsigned percent = AppState.signalPercent.load(std::memory_order_relaxed);
        tuner->lpVtbl->GetSignalPercent(tuner, &percent);
        AppState.signalPercent.store(percent, std::memory_order_relaxed);
        float snr = AppState.signalToNoise.load(std::memory_order_relaxed);
        tuner->lpVtbl->GetSignalToNoise(tuner, &snr);
        AppState.signalToNoise.store(snr, std::memory_order_relaxed);
    }
    AppState.signalPercent.store(0, std::memory_order_relaxed);
    AppState.signalToNoise.store(0.0f, std::memory_order_relaxed);
    AppState.lockSeen.store(0, std::memory_order_relaxed);
    // Released last: a waiter that sees 0 also sees the cleared measurements.
    AppState.pollerAlive.store(0, std::memory_order_release);
    return 0;
}
