// The virtual dish: its geometry against the calculator's formulas, its beam,
// and a receiver that locks only when everything a real one needs is right.
#include "calculator/look_angles.h"
#include "simcard/dish_signal.h"
#include "simcard/scenario.h"
#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr double RAD = 3.1415926535 / 180;

// The program's own calculator (latitude B, user longitude L, satellite S).
double CalculatorElevation(double B, double L, double S) { return ElevationAt(B, L, S); }
double CalculatorAzimuth(double B, double L, double S) { return AzimuthAt(B, L, S); }

TEST(Dish, LookAnglesAgreeWithTheCalculatorOnAGrid) {
    int compared = 0;
    for (double latitude : {-62.0, -33.5, -8.25, 9.5, 35.0, 48.15, 71.0})
        for (double longitude : {-122.0, -15.5, 0.0, 17.1167, 101.0})
            for (uint32_t key : {0u, 130u, 192u, 282u, 1000u, 1600u, 2900u, 3300u}) {
                double S = SatelliteLongitude((int32_t)key);  // whole degrees, as the calculator takes them
                double d = std::remainder(longitude - S, 360.0);
                double elevation = CalculatorElevation(latitude, longitude, S);
                if (std::fabs(d) >= 89 || elevation < 0) continue;
                Pointing model = SatelliteLookAngles(Site{latitude, longitude}, S);
                double azimuth = CalculatorAzimuth(latitude, longitude, longitude - d);
                double skew = -57.29578 * std::atan(std::sin(d * RAD) / std::tan(latitude * RAD));
                EXPECT_NEAR(model.elevation, elevation, 0.01) << latitude << " " << longitude << " " << key;
                EXPECT_NEAR(std::remainder(model.azimuth - azimuth, 360.0), 0, 0.01) << latitude << " " << longitude << " " << key;
                // The calculator's skew leaves out the site's offset from the earth's
                // centre: up to half a degree low in the sky, a loss of 0.0003 dB.
                EXPECT_NEAR(model.skew, skew, 0.5) << latitude << " " << longitude << " " << key;
                ++compared;
            }
    EXPECT_GT(compared, 120);
}

std::string SatelliteFile(uint32_t key, const char* entries) {
    char header[64];
    snprintf(header, sizeof header, "[SATTYPE]\r\n1=%04u\r\n2=Sat %u\r\n[DVB]\r\n0=9\r\n", key, key);
    return std::string(header) + entries;
}

TEST(Dish, LocksOnlyWhenEveryPartOfTheChainIsRight) {
    const double beamwidth = HalfPowerBeamwidth(12302000, 0.8);
    EXPECT_NEAR(beamwidth, 2.132, 0.001);
    EXPECT_NEAR(BeamGain(beamwidth / 2, beamwidth), 0.5, 0.0005);

    auto sky = std::make_unique<Sky>();
    for (auto [key, entries] : {std::pair{130u, "1=12302,V,27500\r\n2=11034,H,27500\r\n3=3865,R,13333\r\n"},
                                std::pair{160u, "1=11034,H,27500\r\n"}, std::pair{192u, "1=12304,H,27500\r\n"},
                                std::pair{2300u, "1=12302,V,27500\r\n"}}) {
        std::string file = SatelliteFile(key, entries);
        ASSERT_TRUE(AddSkySatellite(sky.get(), key, file.data(), file.size()));
    }
    EXPECT_EQ(sky->satellites[0].count, 3u);
    EXPECT_TRUE(sky->transponders[2].circular);
    Scenario scenario;
    ParseScenario("[dish]\ndish 0.8 jitter=0\nlnb ku 13.0e ports=0,1,3\nlnb ku 19.2e ports=2,4\nlnb c 13e ports=6\n",
                  &scenario);
    const DishScenario* dish = &scenario.dish;
    ASSERT_EQ(scenario.badLines, 0u);
    const Pointing target = IdealPointing(dish);
    const Pointing neighbour = SatelliteLookAngles(Site{dish->latitude, dish->longitude}, 16.0);
    const Pointing underground = SatelliteLookAngles(Site{dish->latitude, dish->longitude}, -130.0);
    const CardTuning high = {1, 10600, 1, 27500, 12302000, 1}, low = {0, 9750, 0, 27500, 11034000, 1};
    struct Case {
        const char* what;
        CardTuning tuning;
        Pointing pointing;
        int satellite;  // whose carrier locks, -1 for no lock
    } cases[] = {
        {"all right", high, target, 130},
        {"no tone", {0, 10600, 1, 27500, 12302000, 1}, target, -1},
        {"low oscillator", {1, 9750, 1, 27500, 12302000, 1}, target, -1},
        {"horizontal", {1, 10600, 0, 27500, 12302000, 1}, target, -1},
        {"symbol rate", {1, 10600, 1, 27000, 12302000, 1}, target, -1},
        {"5 MHz off, inside the carrier", {1, 10600, 1, 27500, 12307000, 1}, target, 130},
        {"14 MHz off", {1, 10600, 1, 27500, 12316000, 1}, target, -1},
        {"port B: the LNB on 19.2e", {1, 10600, 1, 27500, 12302000, 2}, target, -1},
        {"a port without an LNB", {1, 10600, 1, 27500, 12302000, 5}, target, -1},
        {"2.5 degrees high", high, {target.azimuth, target.elevation + 2.5, target.skew}, -1},
        {"a satellite below the horizon", high, underground, -1},
        {"LNB turned across", high, {target.azimuth, target.elevation, target.skew + 90}, -1},
        {"low band on the target", low, target, 130},
        {"pointed at the neighbour: the wrong satellite", low, neighbour, 160},
        {"port B hears 19.2e with the dish on 13.0e", {1, 10600, 0, 27500, 12304000, 2}, target, 192},
        {"the C band LNB", {0, 5150, 1, 13333, 3865000, 6}, target, 130},
        {"a C band carrier through the Ku LNB", {0, 5150, 1, 13333, 3865000, 1}, target, -1},
    };
    for (const Case& c : cases) {
        DishSignal s = DishSignalAt(dish, sky.get(), &c.tuning, c.pointing, 0);
        EXPECT_EQ(s.lock ? s.satelliteKey : -1, c.satellite) << c.what << ": C/N " << s.cn;
        EXPECT_EQ(s.level != 0, c.satellite >= 0) << c.what;
    }
    DishSignal best = DishSignalAt(dish, sky.get(), &high, target, 0);
    EXPECT_EQ(best.level, 83);
    EXPECT_NEAR(best.snr, 15.0, 0.01);
    EXPECT_LT(best.offAxis, 1e-6);
    // Half the beamwidth off: 3 dB down.
    DishSignal half = DishSignalAt(dish, sky.get(), &high, {target.azimuth, target.elevation - beamwidth / 2, target.skew}, 0);
    EXPECT_NEAR(half.cn, 15.0 - 3.01, 0.01);

    // The jitter: seeded, bounded, the same within one poll.
    scenario.dish.jitterDb = 0.5;
    float first = DishSignalAt(dish, sky.get(), &high, target, 1000).snr;
    EXPECT_EQ(DishSignalAt(dish, sky.get(), &high, target, 1050).snr, first);
    bool moved = false;
    for (uint64_t ms = 0; ms < 5000; ms += 100) {
        float snr = DishSignalAt(dish, sky.get(), &high, target, ms).snr;
        EXPECT_NEAR(snr, 15.0, 0.5);
        moved |= snr != first;
    }
    EXPECT_TRUE(moved);
}

TEST(Dish, ScenarioSectionAndPointingOverTime) {
    Scenario s;
    ParseScenario(
        "[signal]\nstep 100 level=7\n"
        "[dish]\n"
        "site -33:52 151.2\n"
        "dish 1.2 cn=14 lock=4.5 jitter=0 seed=9\n"
        "lnb ku 160E ports=1\n"
        "lnb c 30.0w\n"
        "sky=C:\\My Sky\\Transponders   ; beside nothing\n"
        "hold 1000 az=350 skew=5\n"
        "sweep 2000 az=350..370\n"
        "hold 500 el=10\n"
        "loop=1\n"
        "lnb x 13e\nsite 91 0\nsweep 0 az=1\nhold 100 az=1..2\nlnb ku 13.0e ports=1,40\nlnb ku 13\n",
        &s);
    EXPECT_EQ(s.badLines, 6u);
    EXPECT_EQ(s.firstBadLine, 13u);
    EXPECT_EQ(SignalAt(&s, 0).level, 7) << "the signal lines are still read";
    const DishScenario& d = s.dish;
    ASSERT_TRUE(d.present);
    EXPECT_NEAR(d.latitude, -(33 + 52 / 60.0), 1e-9);
    EXPECT_DOUBLE_EQ(d.diameter, 1.2);
    EXPECT_DOUBLE_EQ(d.lockCn, 4.5);
    EXPECT_EQ(d.seed, 9u);
    ASSERT_EQ(d.lnbCount, 2u);
    EXPECT_EQ(d.lnbs[0].satelliteKey, 1600u);
    EXPECT_EQ(d.lnbs[1].satelliteKey, 3300u);
    EXPECT_EQ(d.lnbs[1].band, LNB_C);
    EXPECT_STREQ(d.sky, "C:\\My Sky\\Transponders");
    EXPECT_EQ(LnbOfPort(&d, 1), 0);
    EXPECT_EQ(LnbOfPort(&d, 0), 1) << "the LNB without ports takes the rest";
    EXPECT_EQ(LnbOfPort(&d, 0xFFFFFFFF), 1);
    const Pointing start = {180, 40, 0};
    struct {
        uint64_t ms;
        double azimuth, elevation, skew;
    } expected[] = {{0, 350, 40, 5}, {999, 350, 40, 5}, {2000, 0, 40, 5}, {2999, 9.99, 40, 5},
                    {3200, 10, 10, 5}, {3500 + 1000, 350, 40, 5}, {3500 + 2000, 0, 40, 5}};
    for (const auto& e : expected) {
        Pointing p = PointingAt(&d, start, e.ms);
        EXPECT_NEAR(p.azimuth, e.azimuth, 0.01) << e.ms;
        EXPECT_NEAR(p.elevation, e.elevation, 1e-9) << e.ms;
        EXPECT_NEAR(p.skew, e.skew, 1e-9) << e.ms;
    }
    // A bare section: the default dish, pointed right.
    Scenario bare;
    ParseScenario("[dish]\n", &bare);
    EXPECT_EQ(bare.badLines, 0u);
    Pointing ideal = IdealPointing(&bare.dish);
    EXPECT_NEAR(PointingAt(&bare.dish, ideal, 5000).azimuth, ideal.azimuth, 1e-12);
    EXPECT_NEAR(ideal.azimuth, CalculatorAzimuth(48.15, 17 + 7 / 60.0, 13), 0.01);
}

TEST(Dish, SkyReadsTheProgramsOwnFiles) {
    auto sky = std::make_unique<Sky>();
    for (const char* name : {"0100.ini", "3300.ini"}) {
        std::ifstream file(std::string(ORVALIS_SOURCE_DIR) + "/Transponders/" + name, std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        std::string data = bytes.str();
        ASSERT_FALSE(data.empty()) << name;
        ASSERT_TRUE(AddSkySatellite(sky.get(), uint32_t(atoi(name)), data.data(), data.size()));
    }
    EXPECT_EQ(sky->satellites[0].count, 93u);
    EXPECT_STREQ(sky->satellites[0].name, "Eutelsat 10A");
    const SkyTransponder& first = sky->transponders[0];
    EXPECT_EQ(first.frequency, 3865000u);
    EXPECT_EQ(first.symbolRate, 13333u);
    EXPECT_EQ(first.polarization, 1);
    EXPECT_TRUE(first.circular);
    EXPECT_EQ(FindSkySatellite(sky.get(), 3300), 1);
    EXPECT_DOUBLE_EQ(SatelliteLongitude(3300), -30.0);
}

}  // namespace
