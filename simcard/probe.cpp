// The host process seen from inside, for long runs: with SIMCARD_PROBE_MS set,
// the card logs the process's private bytes, handles and GDI objects at most
// that often, from whichever thread calls it. Wine answers 0 for the object
// counts, so the next free GDI slot and kernel handle are logged too. The
// handle table hands out its lowest free slot; Wine's GDI table hands out
// the slot freed last, so that figure jumps by whatever was freed last, but
// objects that are never freed push both up over a long run.
#include "simcard/simcard.h"
#include <psapi.h>
#include <atomic>
#include <cstdlib>

static std::atomic<uint32_t> probeEvery{UINT32_MAX};  // ms; 0 when off
static std::atomic<uint32_t> nextProbe{0};

void SimProbe(uint32_t ms) {
    uint32_t every = probeEvery.load();
    if (every == UINT32_MAX) {
        char text[16];
        DWORD length = GetEnvironmentVariableA("SIMCARD_PROBE_MS", text, sizeof text);
        every = length && length < sizeof text ? uint32_t(strtoul(text, nullptr, 10)) : 0;
        probeEvery.store(every);
    }
    uint32_t due = nextProbe.load();
    if (!every || ms < due || !nextProbe.compare_exchange_strong(due, ms + every)) return;

    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    K32GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&memory, sizeof memory);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    unsigned long gdiSlot = (unsigned long)((uintptr_t)pen & 0xFFFF);
    DeleteObject(pen);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    unsigned long handleSlot = (unsigned long)(uintptr_t)event;
    CloseHandle(event);
    DriverLog(ms, "Probe private=%lu working=%lu handles=%lu gdi=%lu user=%lu next-gdi=%#lx next-handle=%#lx",
              (unsigned long)memory.PrivateUsage, (unsigned long)memory.WorkingSetSize, (unsigned long)handles,
              (unsigned long)GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
              (unsigned long)GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), gdiSlot, handleSlot);
}
