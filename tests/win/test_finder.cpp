// The finder driven through the real window procedure on the simulated card:
// start and stop many times under a level that jumps every 30 ms, and the
// process keeps its GDI objects and handles, and every stop returns with all
// workers gone.
#include "app/app.h"
#include "tests/win/win_fixture.h"
#include "tuner/tuner.h"
#include <gtest/gtest.h>
#include <cstdio>

namespace {

void ClickRedButton() {
    LPARAM at = MAKELPARAM(375, 214);
    SendMessageA(AppState.mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(AppState.mainWindow, WM_LBUTTONUP, 0, at);
}

// Wine answers 0 to the object counters, so the test also probes the next
// free slots: both tables hand out the lowest free slot again. One object or
// handle left behind per cycle would move a slot by 200 or more; Wine's own
// objects, made and freed now and then, move it by a few.
struct Counts {
    DWORD gdi, user, handles;
    uintptr_t nextGdiSlot, nextHandle;
};

Counts Measure() {
    Counts c{};
    c.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    c.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    GetProcessHandleCount(GetCurrentProcess(), &c.handles);
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    c.nextGdiSlot = (uintptr_t)pen & 0xFFFF;
    DeleteObject(pen);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    c.nextHandle = (uintptr_t)event;
    CloseHandle(event);
    return c;
}

// A fresh card playing the given scenario (a card reads its scenario when it
// is made); false when the file cannot be written or the card not opened.
bool UseScenario(const char* text, char* path) {
    GetTempPathA(MAX_PATH, path);
    strcat(path, "orvalis-finder.ini");
    FILE* file = fopen(path, "wb");
    if (!file) return false;
    fputs(text, file);
    fclose(file);
    SetEnvironmentVariableA("SIMCARD_SCENARIO", path);
    ReleaseTuner();
    return OpenTuner() == 0;
}

void ForgetScenario(const char* path) {
    SetEnvironmentVariableA("SIMCARD_SCENARIO", nullptr);
    DeleteFileA(path);
}

TEST(Finder, TwoHundredStartsAndStopsLeaveNothingBehind) {
    char scenario[MAX_PATH];
    ASSERT_TRUE(UseScenario("[signal]\nloop=1\nstep 30 lock=1 level=5 snr=1.5\nstep 30 lock=1 level=95 snr=11\n"
                            "step 30 lock=0 level=0 snr=0\nstep 30 lock=1 level=100 snr=12.5\n",
                            scenario));
    SetWindowTextA(AppState.transponderCombo, "11778 V 27500");
    AppState.settings.soundMode = 3;  // Mute: the stress is about the workers, not the speaker

    // One cycle first, so lazily made objects of the platform are counted in.
    ClickRedButton();
    PumpMessages(100);
    ClickRedButton();
    Counts before = Measure();
    DWORD started = GetTickCount();
    for (int cycle = 0; cycle < 200; ++cycle) {
        ClickRedButton();
        ASSERT_EQ(AppState.finderRunning.load(), 1u) << "cycle " << cycle;
        ASSERT_FALSE(IsWindowEnabled(AppState.transponderCombo));
        ASSERT_FALSE(IsWindowEnabled(AppState.diseqcCombo));
        PumpMessages(cycle % 7 * 10);
        ClickRedButton();
        ASSERT_EQ(AppState.pollerAlive.load() | AppState.soundThreadAlive.load() |
                      AppState.meterThreadAlive.load(),
                  0)
            << "a worker outlived the stop in cycle " << cycle;
        ASSERT_EQ(AppState.signalPercent.load(), 0u);
        ASSERT_EQ(AppState.lockSeen.load(), 0);
        ASSERT_TRUE(IsWindowEnabled(AppState.satelliteCombo));
    }
    PumpMessages(200);
    Counts after = Measure();
    printf("200 cycles in %lu ms; GDI %lu -> %lu, USER %lu -> %lu, handles %lu -> %lu, "
           "next GDI slot %#llx -> %#llx, next handle %#llx -> %#llx\n",
           GetTickCount() - started, before.gdi, after.gdi, before.user, after.user,
           before.handles, after.handles, (unsigned long long)before.nextGdiSlot,
           (unsigned long long)after.nextGdiSlot, (unsigned long long)before.nextHandle,
           (unsigned long long)after.nextHandle);
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.user, before.user);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_LT(after.nextGdiSlot, before.nextGdiSlot + 10) << "GDI objects left behind";
    EXPECT_LT(after.nextHandle, before.nextHandle + 4 * 10) << "handles left behind";
    ForgetScenario(scenario);
}

// Birds pause longest, up to 2 s between calls: a stop waits for the pass under
// way and one short pass that finds the level gone, whatever the moment.
TEST(Finder, StopInBirdsModeReturnsWithinAboutTwoSeconds) {
    char scenario[MAX_PATH];
    ASSERT_TRUE(UseScenario("[signal]\nstep 600000 lock=1 level=57 snr=8\n", scenario));
    SetWindowTextA(AppState.transponderCombo, "11778 V 27500");
    AppState.settings.soundMode = 4;
    DWORD longest = 0;
    for (int runMs : {400, 1100, 1700, 2300}) {
        ClickRedButton();
        PumpMessages(runMs);
        ASSERT_EQ(AppState.signalPercent.load(), 57u);
        DWORD stopped = GetTickCount();
        ClickRedButton();
        DWORD took = GetTickCount() - stopped;
        printf("Birds: stop after %d ms of running returned in %lu ms\n", runMs, took);
        longest = took > longest ? took : longest;
        ASSERT_EQ(AppState.soundThreadAlive.load(), 0);
    }
    EXPECT_LE(longest, 2400u);
    AppState.settings.soundMode = 3;
    ForgetScenario(scenario);
}

}  // namespace
