#pragma once
// What the virtual dish hears: the tuning the program gave the card, the
// dish's pointing and the sky give a carrier-to-noise ratio, a lock, a level
// and an SNR, the way a real dish and card would.
#include "simcard/dish_geometry.h"
#include "simcard/dish_scenario.h"
#include "simcard/sky.h"

// What the program told the card, as the card keeps it.
struct CardTuning {
    uint32_t tone;          // 22 kHz tone on: the universal LNB's high band
    uint32_t oscillator;    // MHz the card subtracts to find the IF
    uint32_t polarization;  // 0 horizontal or left, 1 vertical or right
    uint32_t symbolRate;    // ks/s
    uint32_t frequency;     // kHz
    uint32_t diseqc;
};

struct DishSignal {
    uint8_t lock;
    int32_t level;         // percent, 0 without a lock
    float snr;             // dB, 0 without a carrier
    double cn;             // dB of the best carrier before the jitter, -1000 without one
    int32_t satelliteKey;  // whose carrier it is, -1 for none
    double offAxis;        // degrees from that satellite to the LNB's beam
};

constexpr double NO_CARRIER_DB = -1000;
constexpr double LEVEL_FULL_SCALE_DB = 18;  // C/N that reads 100 %

// Degrees between the half-power points of a dish: 70 wavelengths over the
// diameter.
double HalfPowerBeamwidth(double frequencyKhz, double diameter);

// The main beam's power gain theta degrees off the axis.
double BeamGain(double offAxis, double beamwidth);

// The pointing that is right for the dish's own satellite (its first LNB's).
Pointing IdealPointing(const DishScenario* dish);

// The signal at this pointing; msSinceTuning only picks the jitter.
DishSignal DishSignalAt(const DishScenario* dish, const Sky* sky, const CardTuning* tuning, Pointing pointing,
                        uint64_t msSinceTuning);
