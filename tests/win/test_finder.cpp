// The finder driven through the real window procedure on the simulated card:
// started and stopped ORVALIS_CYCLES times (200 if unset) under a level that
// jumps every 30 ms, every stop returns with all workers gone and nothing leaks.
#include "app/app.h"
#include "tests/win/win_fixture.h"
#include "tuner/tuner.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace {

void ClickRedButton() {
    SendMessageA(AppState.mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(375, 214));
    SendMessageA(AppState.mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(375, 214));
}

// Wine answers 0 to the object counters; both tables hand out the lowest free
// slot again, so one object or handle left behind per cycle moves the next
// free slot on by about one per cycle. Wine also makes objects of its own,
// once and lazily (after a box on another thread, on a new prefix or X
// display), whenever they fall due: they move the slot too, but only once.
// So the cycles run in two equal blocks and a leak must grow both.
struct Slots {
    unsigned long long gdi, handle;
};

Slots NextFreeSlots() {
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Slots next = {(uintptr_t)pen & 0xFFFF, (uintptr_t)event};
    DeleteObject(pen);
    CloseHandle(event);
    return next;
}

unsigned long long Growth(unsigned long long from, unsigned long long to) { return to > from ? to - from : 0; }

TEST(Finder, StartsAndStopsLeaveNothingBehind) {
    // A fresh card playing the scenario (a card reads its scenario when it is made).
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    strcat(path, "orvalis-finder.ini");
    FILE* file = fopen(path, "wb");
    ASSERT_TRUE(file &&
                fputs("[signal]\nloop=1\nstep 30 level=5 snr=1.5\nstep 30 level=95 snr=11\n"
                      "step 30 lock=0 level=0 snr=0\nstep 30 level=100 snr=12.5\n",
                      file) >= 0 &&
                !fclose(file));
    SetEnvironmentVariableA("SIMCARD_SCENARIO", path);
    ReleaseTuner();
    SetWindowTextA(AppState.transponderCombo, "11778 V 27500");
    ASSERT_EQ(OpenTuner(), 0);
    AppState.settings.soundMode = 3;  // Mute: the stress is about the workers, not the speaker
    const char* cyclesText = getenv("ORVALIS_CYCLES");
    const int cycles = cyclesText ? atoi(cyclesText) : 200;

    Slots slots[3] = {NextFreeSlots()};
    DWORD started = GetTickCount();
    for (int block = 0; block < 2; ++block) {
        for (int cycle = block * cycles / 2; cycle < (block + 1) * cycles / 2; ++cycle) {
            ClickRedButton();
            ASSERT_EQ(AppState.finderRunning.load(), 1u) << "cycle " << cycle;
            ASSERT_FALSE(IsWindowEnabled(AppState.transponderCombo) || IsWindowEnabled(AppState.diseqcCombo));
            PumpMessages(cycle % 7 * 10);
            ClickRedButton();
            ASSERT_EQ(AppState.pollerAlive | AppState.soundThreadAlive | AppState.meterThreadAlive, 0)
                << "a worker outlived the stop in cycle " << cycle;
            ASSERT_EQ(AppState.signalPercent.load(), 0u);
            ASSERT_EQ(AppState.lockSeen.load(), 0);
            ASSERT_TRUE(IsWindowEnabled(AppState.satelliteCombo));
        }
        PumpMessages(200);
        slots[block + 1] = NextFreeSlots();
    }
    printf("%d cycles in %lu ms; next GDI slot %#llx -> %#llx -> %#llx, next handle %#llx -> %#llx -> %#llx\n", cycles,
           GetTickCount() - started, slots[0].gdi, slots[1].gdi, slots[2].gdi, slots[0].handle, slots[1].handle,
           slots[2].handle);
    // A leak of one per cycle grows each block by half the cycles (less the
    // free slots it fills first), a leak every fourth cycle by an eighth;
    // one-off objects grow one block, or split between the two.
    unsigned long long limit = cycles / 8;
    EXPECT_LT(std::min(Growth(slots[0].gdi, slots[1].gdi), Growth(slots[1].gdi, slots[2].gdi)), limit)
        << "GDI objects left behind";
    EXPECT_LT(std::min(Growth(slots[0].handle, slots[1].handle), Growth(slots[1].handle, slots[2].handle)), 4 * limit)
        << "handles left behind";
    SetEnvironmentVariableA("SIMCARD_SCENARIO", nullptr);
}

}  // namespace
