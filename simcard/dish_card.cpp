// The card's side of the virtual dish: its sky, the live pointing from
// dishsim.exe when that runs, the scenario's pointing otherwise.
#include "simcard/simcard.h"
#include "simcard/sky_folder.h"
#include <cstdio>
#include <cstdlib>

void LoadDishCard(const DishScenario* dish, DishCard* card) {
    uint32_t ms = DriverNow();
    card->sky = static_cast<Sky*>(calloc(1, sizeof(Sky)));
    card->start = IdealPointing(dish);
    char folder[MAX_PATH] = "";
    int files = card->sky ? LoadSkyFolder(dish->sky, card->sky, folder, sizeof folder) : 0;
    DriverLog(
        ms,
        "Dish sky=%s satellites=%d transponders=%lu site=%.4f,%.4f size=%.2f lnbs=%lu aim=%.2f,%.2f,%.2f -> 0x%08lX",
        folder, files, card->sky ? (unsigned long)card->sky->transponderCount : 0ul, dish->latitude, dish->longitude,
        dish->diameter, (unsigned long)dish->lnbCount, card->start.azimuth, card->start.elevation, card->start.skew,
        (unsigned long)(files ? S_OK : E_FAIL));
}

void FreeDishCard(DishCard* card) {
    if (card->link) UnmapViewOfFile(card->link);
    if (card->mapping) CloseHandle(card->mapping);
    free(card->sky);
    *card = DishCard{};
}

// dishsim.exe may start at any time: look for its block until it is there.
static DishLink* FindLink(DishCard* card) {
    if (card->link) return card->link;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, DISH_LINK_NAME);
    if (!mapping) return nullptr;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(DishLink));
    if (!view) {
        CloseHandle(mapping);
        return nullptr;
    }
    // Two threads may look at once: the first to get there keeps its view.
    if (InterlockedCompareExchangePointer(reinterpret_cast<void**>(&card->link), view, nullptr) != nullptr) {
        UnmapViewOfFile(view);
        CloseHandle(mapping);
        return card->link;
    }
    card->mapping = mapping;
    return card->link;
}

SignalSample DishCardSignal(DishCard* card, const DishScenario* dish, const CardTuning* tuning, bool tuned,
                            uint64_t msSinceTuning, char* note, size_t noteSize) {
    DishLink* link = FindLink(card);
    Pointing pointing;
    bool live = link && ReadLivePointing(link, &pointing);
    if (!live) pointing = PointingAt(dish, card->start, tuned ? msSinceTuning : 0);
    DishSignal signal = {0, 0, 0.0f, NO_CARRIER_DB, -1, 0};
    if (tuned && card->sky) signal = DishSignalAt(dish, card->sky, tuning, pointing, msSinceTuning);
    card->heardKey = signal.satelliteKey;
    int used =
        snprintf(note, noteSize, "az=%.3f el=%.3f skew=%.2f", pointing.azimuth, pointing.elevation, pointing.skew);
    if (used > 0 && size_t(used) < noteSize)
        used += signal.satelliteKey < 0
                    ? snprintf(note + used, noteSize - used, " sat=none")
                    : snprintf(note + used, noteSize - used, " sat=%ld cn=%.2f", (long)signal.satelliteKey, signal.cn);
    if (live && used > 0 && size_t(used) < noteSize) snprintf(note + used, noteSize - used, " live");
    if (link) {
        HeardReport heard = {0,
                             tuning->frequency,
                             tuning->polarization,
                             tuning->symbolRate,
                             tuning->diseqc,
                             signal.lock,
                             signal.level,
                             signal.snr,
                             signal.satelliteKey,
                             signal.offAxis,
                             0,
                             0};
        PublishHeard(link, &heard);
    }
    return SignalSample{signal.lock, signal.level, signal.snr};
}
