// The virtual dish: its geometry against the calculator's formulas, its beam, and a receiver
// that locks only when all a real one needs is right. Its reading the shipped sky, the e2e test sees.
#include "calculator/look_angles.h"
#include "simcard/dish_signal.h"
#include "simcard/scenario.h"
#include <gtest/gtest.h>
#include <cmath>
#include <memory>
#include <string>

namespace {

constexpr double RAD = 3.1415926535 / 180;

TEST(Dish, LookAnglesAgreeWithTheCalculatorOnAGrid) {
    int compared = 0;
    for (double latitude : {-62.0, -33.5, -8.25, 9.5, 35.0, 48.15, 71.0})
        for (double longitude : {-122.0, -15.5, 0.0, 17.1167, 101.0})
            for (int32_t key : {0, 130, 192, 282, 1000, 1600, 2900, 3300}) {
                double S = SatelliteLongitude(key);  // whole degrees, as the calculator takes them
                double d = remainder(longitude - S, 360), elevation = ElevationAt(latitude, longitude, S);
                if (std::fabs(d) >= 89 || elevation < 0) continue;
                SCOPED_TRACE(testing::Message() << latitude << " " << longitude << " " << key);
                Pointing model = SatelliteLookAngles(Site{latitude, longitude}, S);
                EXPECT_NEAR(model.elevation, elevation, 0.01);
                double azimuth = AzimuthAt(latitude, longitude, longitude - d);
                EXPECT_NEAR(remainder(model.azimuth - azimuth, 360), 0, 0.01);
                // The calculator's skew leaves out the site's offset from the earth's
                // centre: up to half a degree low in the sky, a loss of 0.0003 dB.
                EXPECT_NEAR(model.skew, -57.29578 * atan(sin(d * RAD) / tan(latitude * RAD)), 0.5);
                ++compared;
            }
    EXPECT_GT(compared, 120);
}

TEST(Dish, LocksOnlyWhenEveryPartOfTheChainIsRight) {
    const double beamwidth = HalfPowerBeamwidth(12302000, 0.8);
    EXPECT_NEAR(beamwidth, 2.132, 0.001);

    auto sky = std::make_unique<Sky>();
    for (auto [key, entries] : {std::pair{130u, "1=12302,V,27500\r\n2=11034,H,27500\r\n3=3865,R,13333\r\n"},
                                {160u, "1=11034,H,27500\r\n"},
                                {192u, "1=12304,H,27500\r\n"},
                                {2300u, "1=12302,V,27500\r\n"}}) {
        std::string file = "[SATTYPE]\r\n1=0\r\n2=Sat\r\n[DVB]\r\n0=9\r\n" + std::string(entries);
        ASSERT_TRUE(AddSkySatellite(sky.get(), key, file.data(), file.size()));
    }
    EXPECT_TRUE(sky->transponders[2].circular);
    Scenario scenario;
    ParseScenario(
        "[dish]\ndish 0.8 jitter=0\n"
        "lnb ku 13.0e ports=0,1,3\nlnb ku 19.2e ports=2,4\nlnb c 13e ports=6\n",
        &scenario);
    const DishScenario* dish = &scenario.dish;
    ASSERT_EQ(scenario.badLines, 0u);
    const Site site = {dish->latitude, dish->longitude};
    const Pointing target = IdealPointing(dish), neighbour = SatelliteLookAngles(site, 16.0);
    const CardTuning high = {1, 10600, 1, 27500, 12302000, 1}, low = {0, 9750, 0, 27500, 11034000, 1};
    const struct {
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
        {"a satellite below the horizon", high, SatelliteLookAngles(site, -130.0), -1},
        {"LNB turned across", high, {target.azimuth, target.elevation, target.skew + 90}, -1},
        {"low band on the target", low, target, 130},
        {"pointed at the neighbour: the wrong satellite", low, neighbour, 160},
        {"port B hears 19.2e with the dish on 13.0e", {1, 10600, 0, 27500, 12304000, 2}, target, 192},
        {"the C band LNB", {0, 5150, 1, 13333, 3865000, 6}, target, 130},
        {"a C band carrier through the Ku LNB", {0, 5150, 1, 13333, 3865000, 1}, target, -1},
    };
    for (const auto& c : cases) {
        DishSignal s = DishSignalAt(dish, sky.get(), &c.tuning, c.pointing, 0);
        EXPECT_EQ(s.lock ? s.satelliteKey : -1, c.satellite) << c.what << ": C/N " << s.cn;
        EXPECT_EQ(s.level != 0, c.satellite >= 0) << c.what;
    }
    DishSignal best = DishSignalAt(dish, sky.get(), &high, target, 0);
    EXPECT_EQ(best.level, 83);
    EXPECT_NEAR(best.snr, 15.0, 0.01);
    // Half the beamwidth off: 3 dB down.
    const Pointing half = {target.azimuth, target.elevation - beamwidth / 2, target.skew};
    EXPECT_NEAR(DishSignalAt(dish, sky.get(), &high, half, 0).cn, 15.0 - 3.01, 0.01);
}

TEST(Dish, ScenarioSectionAndItsLoop) {
    Scenario s;
    ParseScenario(
        "[signal]\nstep 100 level=7\n[dish]\nsite -33:52 151.2\n"
        "dish 1.2 cn=14 lock=4.5 jitter=0 seed=9\nlnb ku 160E ports=1\nlnb c 30.0w\n"
        "sky=C:\\My Sky\\Transponders   ; beside nothing\n"
        "hold 1000 az=350 skew=5\nsweep 2000 az=350..370\nhold 500 el=10\nloop=1\ntables=NoNit|relay=19.2e\n"
        // seven bad lines, the first the 14th
        "lnb x 13e\nsite 91 0\nsweep 0 az=1\nhold 100 az=1..2\nlnb ku 13.0e ports=1,40\nlnb ku 13\n"
        "tables=no43|nit\n",
        &s);
    EXPECT_EQ(s.badLines, 7u);
    EXPECT_EQ(s.firstBadLine, 14u);
    EXPECT_EQ(SignalAt(&s, 0).level, 7) << "the signal lines are still read";
    const DishScenario& d = s.dish;
    ASSERT_TRUE(d.present);
    EXPECT_NEAR(d.latitude, -(33 + 52 / 60.0), 1e-9);
    EXPECT_EQ(std::tuple(d.diameter, d.lockCn, d.seed), std::tuple(1.2, 4.5, 9u));
    EXPECT_EQ(std::tuple(d.lnbCount, d.lnbs[0].satelliteKey, d.lnbs[1].satelliteKey, d.lnbs[1].band),
              std::tuple(2u, 1600u, 3300u, LNB_C));
    EXPECT_STREQ(d.sky, "C:\\My Sky\\Transponders");
    EXPECT_EQ(std::tuple(d.tables.noNit, d.tables.relayKey, d.tables.no43), std::tuple(true, 192, false));
    EXPECT_EQ(LnbOfPort(&d, 1), 0);
    EXPECT_EQ(LnbOfPort(&d, 0), 1) << "the LNB without ports takes the rest";
    EXPECT_EQ(LnbOfPort(&d, 0xFFFFFFFF), 1);
    // Held 1 s, swept 2 s, held 0.5 s, looped: 1 s into the second sweep, due north.
    EXPECT_NEAR(remainder(PointingAt(&d, {180, 40, 0}, 3500 + 2000).azimuth, 360), 0, 0.01);
}

}  // namespace
