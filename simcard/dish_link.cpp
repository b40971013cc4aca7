// A sequence count around each half of the block: odd while its writer is at
// work, so a reader never takes an azimuth of one moment with an elevation of
// another. A writer killed halfway leaves the count odd for good: readers
// give up waiting after a while and take what is there.
#include "simcard/dish_link.h"
#include <cmath>

constexpr int READ_TRIES = 1000;

static int32_t Thousandths(double degrees) { return int32_t(std::lround(degrees * 1000)); }

void PublishPointing(DishLink* link, Pointing pointing) {
    link->pointingSequence.fetch_add(1, std::memory_order_acq_rel);
    link->azimuth.store(Thousandths(pointing.azimuth), std::memory_order_relaxed);
    link->elevation.store(Thousandths(pointing.elevation), std::memory_order_relaxed);
    link->skew.store(Thousandths(pointing.skew), std::memory_order_relaxed);
    link->pointingSequence.fetch_add(1, std::memory_order_release);
    link->live.store(1, std::memory_order_release);
}

bool ReadLivePointing(const DishLink* link, Pointing* pointing) {
    if (!link->live.load(std::memory_order_acquire)) return false;
    for (int tries = 1;; ++tries) {
        uint32_t before = link->pointingSequence.load(std::memory_order_acquire);
        pointing->azimuth = link->azimuth.load(std::memory_order_relaxed) / 1000.0;
        pointing->elevation = link->elevation.load(std::memory_order_relaxed) / 1000.0;
        pointing->skew = link->skew.load(std::memory_order_relaxed) / 1000.0;
        std::atomic_thread_fence(std::memory_order_acquire);
        if (tries == READ_TRIES) return true;
        if (!(before & 1) && link->pointingSequence.load(std::memory_order_relaxed) == before) return true;
    }
}

void PublishHeard(DishLink* link, const HeardReport* heard) {
    link->heardSequence.fetch_add(1, std::memory_order_acq_rel);
    link->frequency.store(heard->frequency, std::memory_order_relaxed);
    link->polarization.store(heard->polarization, std::memory_order_relaxed);
    link->symbolRate.store(heard->symbolRate, std::memory_order_relaxed);
    link->diseqc.store(heard->diseqc, std::memory_order_relaxed);
    link->lock.store(heard->lock, std::memory_order_relaxed);
    link->level.store(heard->level, std::memory_order_relaxed);
    link->snrHundredths.store(int32_t(std::lround(heard->snr * 100)), std::memory_order_relaxed);
    link->satelliteKey.store(heard->satelliteKey, std::memory_order_relaxed);
    link->offAxisThousandths.store(Thousandths(heard->offAxis), std::memory_order_relaxed);
    link->heardCount.fetch_add(1, std::memory_order_relaxed);
    link->heardSequence.fetch_add(1, std::memory_order_release);
}

void ReadHeard(const DishLink* link, HeardReport* heard) {
    for (int tries = 1;; ++tries) {
        uint32_t before = link->heardSequence.load(std::memory_order_acquire);
        heard->count = link->heardCount.load(std::memory_order_relaxed);
        heard->frequency = link->frequency.load(std::memory_order_relaxed);
        heard->polarization = link->polarization.load(std::memory_order_relaxed);
        heard->symbolRate = link->symbolRate.load(std::memory_order_relaxed);
        heard->diseqc = link->diseqc.load(std::memory_order_relaxed);
        heard->lock = link->lock.load(std::memory_order_relaxed);
        heard->level = link->level.load(std::memory_order_relaxed);
        heard->snr = link->snrHundredths.load(std::memory_order_relaxed) / 100.0f;
        heard->satelliteKey = link->satelliteKey.load(std::memory_order_relaxed);
        heard->offAxis = link->offAxisThousandths.load(std::memory_order_relaxed) / 1000.0;
        uint32_t identity = link->identity.load(std::memory_order_relaxed);
        heard->identityState = identity >> 16, heard->identityKey = identity & 0xFFFF;
        std::atomic_thread_fence(std::memory_order_acquire);
        if (tries == READ_TRIES) return;
        if (!(before & 1) && link->heardSequence.load(std::memory_order_relaxed) == before) return;
    }
}

void PublishIdentity(DishLink* link, uint32_t state, uint32_t key) {
    link->identity.store(state << 16 | (key & 0xFFFF), std::memory_order_relaxed);
}
