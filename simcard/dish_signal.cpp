// The virtual dish's receiver. A transponder is heard when the LNB that the
// DiSEqC value reaches passes its band, the tone picks the oscillator that
// puts it inside the tuner's IF range, the tuner sits within half a symbol
// rate of it, the symbol rate and the polarization match; how well it is
// heard follows from how far off the beam it stands and how far the LNB is
// turned from its polarization.
#include "simcard/dish_signal.h"
#include <cmath>
#include <cstdlib>

constexpr double PI = 3.14159265358979323846;
constexpr double LIGHT_SPEED = 299792458.0;  // m/s
constexpr double MAIN_BEAM = 2.773;          // 4 ln 2: half power at half the beamwidth
constexpr double BEAMWIDTH_WAVELENGTHS = 70;
constexpr uint32_t IF_LOW_KHZ = 950000, IF_HIGH_KHZ = 2150000;
constexpr uint32_t KU_LOW_KHZ = 10700000, KU_HIGH_KHZ = 12750000;
constexpr uint32_t C_LOW_KHZ = 3400000, C_HIGH_KHZ = 4200000;
constexpr uint32_t KU_LOW_OSCILLATOR = 9750, KU_HIGH_OSCILLATOR = 10600, C_OSCILLATOR = 5150;
constexpr double CROSS_POLAR_FLOOR = 1e-3;       // an LNB's two probes are 30 dB apart, never more
constexpr double SYMBOL_RATE_TOLERANCE = 0.005;  // the demodulator's capture range
constexpr double OUT_OF_SIGHT = 45;              // degrees off the beam: nothing of a main beam is left
constexpr uint64_t JITTER_SLOT_MS = 100;         // the level and the SNR of one poll agree

double HalfPowerBeamwidth(double frequencyKhz, double diameter) {
    double wavelength = LIGHT_SPEED / (frequencyKhz * 1000);
    return BEAMWIDTH_WAVELENGTHS * wavelength / diameter;
}

double BeamGain(double offAxis, double beamwidth) {
    double x = offAxis / beamwidth;
    return std::exp(-MAIN_BEAM * x * x);
}

// The same in dB, without the underflow of exp far off the beam.
static double BeamGainDb(double offAxis, double beamwidth) {
    double x = offAxis / beamwidth;
    return -10 * MAIN_BEAM / std::log(10.0) * x * x;
}

Pointing IdealPointing(const DishScenario* dish) {
    Site site = {dish->latitude, dish->longitude};
    return SatelliteLookAngles(site, OrbitLongitude(dish->lnbs[0].satelliteKey));
}

static uint32_t Intermediate(uint32_t frequencyKhz, uint32_t oscillatorMhz) {
    int64_t difference = int64_t(frequencyKhz) - int64_t(oscillatorMhz) * 1000;
    return uint32_t(difference < 0 ? -difference : difference);
}

static bool InsideIf(uint32_t khz) { return khz >= IF_LOW_KHZ && khz <= IF_HIGH_KHZ; }

static bool LnbPasses(const DishLnb* lnb, uint32_t khz) {
    return lnb->band == LNB_C ? khz >= C_LOW_KHZ && khz <= C_HIGH_KHZ : khz >= KU_LOW_KHZ && khz <= KU_HIGH_KHZ;
}

static uint32_t LnbOscillator(const DishLnb* lnb, uint32_t tone) {
    if (lnb->band == LNB_C) return C_OSCILLATOR;
    return tone ? KU_HIGH_OSCILLATOR : KU_LOW_OSCILLATOR;
}

// -1..1, the same for the same seed and time slot, so a run can be repeated.
static double Jitter(uint32_t seed, uint64_t slot) {
    uint64_t z = (uint64_t(seed) << 32 ^ slot) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return double(z >> 11) / double(1ull << 52) - 1.0;
}

static bool Tuned(const SkyTransponder* t, const DishLnb* lnb, uint32_t lnbOscillator, uint32_t cardIf,
                  const CardTuning* tuning) {
    if (!LnbPasses(lnb, t->frequency) || t->polarization != tuning->polarization) return false;
    uint32_t arrives = Intermediate(t->frequency, lnbOscillator);
    if (!InsideIf(arrives)) return false;
    double rateError = std::fabs(double(tuning->symbolRate) - t->symbolRate);
    if (rateError > t->symbolRate * SYMBOL_RATE_TOLERANCE) return false;
    // A symbol rate in ks/s is the carrier's width in kHz.
    uint32_t apart = arrives > cardIf ? arrives - cardIf : cardIf - arrives;
    return 2.0 * apart <= t->symbolRate;
}

DishSignal DishSignalAt(const DishScenario* dish, const Sky* sky, const CardTuning* tuning, Pointing pointing,
                        uint64_t msSinceTuning) {
    DishSignal signal = {0, 0, 0.0f, NO_CARRIER_DB, -1, 0};
    int index = LnbOfPort(dish, tuning->diseqc);
    uint32_t cardIf = Intermediate(tuning->frequency, tuning->oscillator);
    if (index < 0 || !InsideIf(cardIf)) return signal;
    const DishLnb* lnb = &dish->lnbs[index];
    uint32_t oscillator = LnbOscillator(lnb, tuning->tone);

    // The other feeds sit beside the focus, each set up for its satellite
    // while the first one looks at the dish's own.
    Site site = {dish->latitude, dish->longitude};
    double mainLongitude = OrbitLongitude(dish->lnbs[0].satelliteKey);
    double ownLongitude = OrbitLongitude(lnb->satelliteKey);
    Vec3 mainDirection = SatelliteDirection(site, mainLongitude);
    Vec3 ownDirection = SatelliteDirection(site, ownLongitude);
    Vec3 beam = RotateLike(PointingDirection(pointing.azimuth, pointing.elevation), mainDirection, ownDirection);
    double skew = pointing.skew + PolarizationSeen(site, ownLongitude, ownDirection, 0) -
                  PolarizationSeen(site, mainLongitude, mainDirection, 0);

    for (uint32_t s = 0; s < sky->satelliteCount; ++s) {
        const SkySatellite* satellite = &sky->satellites[s];
        double longitude = OrbitLongitude(satellite->key);
        Vec3 direction = SatelliteDirection(site, longitude);
        if (direction.z <= 0) continue;  // below the horizon
        double offAxis = AngleBetween(beam, direction);
        if (offAxis > OUT_OF_SIGHT) continue;
        for (uint32_t i = 0; i < satellite->count; ++i) {
            const SkyTransponder* t = &sky->transponders[satellite->first + i];
            if (!Tuned(t, lnb, oscillator, cardIf, tuning)) continue;
            double coupling = 1;
            if (!t->circular) {
                double seen = PolarizationSeen(site, longitude, beam, t->polarization);
                double probe = skew + (t->polarization ? 90 : 0);
                double c = std::cos((seen - probe) * PI / 180);
                coupling = c * c > CROSS_POLAR_FLOOR ? c * c : CROSS_POLAR_FLOOR;
            }
            double cn = dish->clearSkyCn + 10 * std::log10(coupling) +
                        BeamGainDb(offAxis, HalfPowerBeamwidth(t->frequency, dish->diameter));
            if (cn > signal.cn) {
                signal.cn = cn;
                signal.satelliteKey = int32_t(satellite->key);
                signal.offAxis = offAxis;
            }
        }
    }
    if (signal.satelliteKey < 0) return signal;
    double cn = signal.cn + dish->jitterDb * Jitter(dish->seed, msSinceTuning / JITTER_SLOT_MS);
    signal.snr = float(cn > 0 ? cn : 0);
    signal.lock = cn > dish->lockCn;
    if (signal.lock) {
        double level = std::floor(100 * cn / LEVEL_FULL_SCALE_DB + 0.5);
        signal.level = int32_t(level < 0 ? 0 : level > 100 ? 100 : level);
    }
    return signal;
}
