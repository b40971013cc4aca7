// The finder driven through the real window procedure on the simulated card:
// started and stopped ORVALIS_CYCLES times (200 if unset) under a level that
// jumps every 30 ms, every stop returns with all workers gone and nothing leaks.
#include "app/app.h"
#include "tests/win/win_fixture.h"
#include "tuner/tuner.h"
#include <gtest/gtest.h>
#include <winternl.h>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace {

void ClickRedButton() {
    SendMessageA(AppState.mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(375, 214));
    SendMessageA(AppState.mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(375, 214));
}

// Wine answers 0 to GetGuiResources, but keeps its GDI handle table where
// Windows does, at the PEB's GdiSharedHandleTable: 0x10000 entries of 24
// bytes, a live object's entry with a nonzero type. Counting them counts the
// live objects exactly. Kernel handles have no such table: the lowest free
// slot is handed out again, so one left behind per cycle moves the next free
// one on by about one per cycle. Wine also makes objects and handles of its
// own, once and lazily (after a box on another thread, on a new prefix or X
// display), whenever they fall due: they grow the figures once. So the
// cycles run in two equal blocks and a leak must grow both.
struct GdiEntry {
    unsigned long long object;
    unsigned int owner;
    unsigned short unique;
    unsigned char type, extType;
    unsigned long long userPointer;
};
static_assert(sizeof(GdiEntry) == 24);

// GCC takes the TEB's read through the segment register for an array read.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
const unsigned char* Peb() { return (const unsigned char*)NtCurrentTeb()->ProcessEnvironmentBlock; }
#pragma GCC diagnostic pop

long long LiveGdiObjects() {
    const unsigned char* peb = Peb();
    const auto* table = *(const GdiEntry* const*)(peb + (sizeof(void*) == 8 ? 0xF8 : 0x94));
    if (!table) return -1;
    long long live = 0;
    for (int i = 0; i < 0x10000; ++i) live += table[i].type != 0;
    return live;
}

struct Counts {
    long long gdi;
    unsigned long long handle;
};

Counts Measure() {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Counts now = {LiveGdiObjects(), (uintptr_t)event};
    CloseHandle(event);
    return now;
}

long long Growth(long long from, long long to) { return to > from ? to - from : 0; }

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

    // The count must see a new pen, or it counts nothing.
    Counts counts[3] = {Measure()};
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    ASSERT_EQ(LiveGdiObjects(), counts[0].gdi + 1) << "no GDI handle table at the PEB";
    DeleteObject(pen);
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
        counts[block + 1] = Measure();
    }
    printf("%d cycles in %lu ms; live GDI objects %lld -> %lld -> %lld, next handle %#llx -> %#llx -> %#llx\n", cycles,
           GetTickCount() - started, counts[0].gdi, counts[1].gdi, counts[2].gdi, counts[0].handle, counts[1].handle,
           counts[2].handle);
    // A leak of one per cycle grows each block by half the cycles, a leak
    // every fourth cycle by an eighth (handles: less the free slots it fills
    // first); one-off objects grow one block, or split between the two.
    long long limit = cycles / 16;
    EXPECT_LT(std::min(Growth(counts[0].gdi, counts[1].gdi), Growth(counts[1].gdi, counts[2].gdi)), limit)
        << "GDI objects left behind";
    EXPECT_LT(std::min(Growth(counts[0].handle, counts[1].handle), Growth(counts[1].handle, counts[2].handle)),
              8 * limit)
        << "handles left behind";
    SetEnvironmentVariableA("SIMCARD_SCENARIO", nullptr);
}

}  // namespace
