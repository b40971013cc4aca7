#pragma once
// The live pointing: dishsim.exe writes where the dish points into one small
// block of named shared memory, and every card reads it on each call; the
// card writes back what it hears, so the person turning the dish sees it.
// Plain 32-bit fields, so a 32-bit card and a 64-bit dishsim agree too.
#include <atomic>
#include <cstdint>
#include "simcard/dish_scenario.h"

constexpr char DISH_LINK_NAME[] = "Local\\OrvalisVirtualDish";

struct DishLink {
    std::atomic<uint32_t> live;                     // 1 while dishsim.exe holds the dish
    std::atomic<uint32_t> pointingSequence;         // odd while the pointing is being written
    std::atomic<int32_t> azimuth, elevation, skew;  // thousandths of a degree
    std::atomic<uint32_t> heardSequence;            // odd while the card writes
    std::atomic<uint32_t> heardCount;               // one more for every report
    std::atomic<uint32_t> frequency, polarization, symbolRate, diseqc, lock;
    std::atomic<int32_t> level, snrHundredths, satelliteKey, offAxisThousandths;
    // What the card identified from the tables of the satellite it hears:
    // the state (driver/satellite_identity.h) << 16 | the position key; 0 none.
    std::atomic<uint32_t> identity;
};

// What the card last heard, and with which tuning.
struct HeardReport {
    uint32_t count;  // 0: no card has reported yet
    uint32_t frequency, polarization, symbolRate, diseqc, lock;
    int32_t level;
    float snr;
    int32_t satelliteKey;  // -1: nothing heard
    double offAxis;
    uint32_t identityState, identityKey;  // IDENTITY_NONE while nothing is identified
};

void PublishPointing(DishLink* link, Pointing pointing);
// False while no dishsim.exe holds the dish.
bool ReadLivePointing(const DishLink* link, Pointing* pointing);
void PublishHeard(DishLink* link, const HeardReport* heard);
void ReadHeard(const DishLink* link, HeardReport* heard);
// The card's identification, written whenever the card has looked.
void PublishIdentity(DishLink* link, uint32_t state, uint32_t key);
