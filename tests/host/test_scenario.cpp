// The simulated card's scenario: the text it reads and the signal it gives.
#include "simcard/scenario.h"
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include <tuple>

namespace {

Scenario Parse(const std::string& text) {
    Scenario s;
    ParseScenario(text.c_str(), &s);
    return s;
}

// lock, level and SNR at t ms, the SNR in hundredths of a dB.
std::tuple<int, int, int> At(const Scenario& s, uint64_t t) {
    SignalSample v = SignalAt(&s, t);
    return {v.lock, v.level, (int)std::lround(v.snr * 100)};
}

TEST(Scenario, StepsHoldRampsInterpolateAndTheEndHolds) {
    Scenario s = Parse(
        "[signal]\nstep 1000 lock=0 level=0 snr=0\nramp 2000 level=20..60 snr=4.0..8.0\n"
        "ramp 1000 lock=1 level=60..59 snr=9..9\n");
    EXPECT_EQ(s.badLines, 0u);
    EXPECT_EQ(At(s, 999), std::tuple(0, 0, 0));
    EXPECT_EQ(At(s, 1000), std::tuple(1, 20, 400));  // lock is on unless the line says otherwise
    EXPECT_EQ(At(s, 2000), std::tuple(1, 40, 600));
    EXPECT_EQ(At(s, 2999), std::tuple(1, 60, 800));  // 59.98 rounds to the nearest percent
    EXPECT_EQ(At(s, 3500), std::tuple(1, 60, 900));  // 59.5 rounds up
    EXPECT_EQ(At(s, 10000000000ull), std::tuple(1, 59, 900));
    // Out-of-range values are kept for the program to cope with.
    Scenario wild = Parse("[signal]\nstep 100 level=150 snr=-5\nramp 100 level=-10..300\n");
    EXPECT_EQ(At(wild, 150), std::tuple(1, 145, 0));
}

TEST(Scenario, LoopsFromTheStartOrFromLoopstart) {
    // The search happens once; the sweep after it repeats.
    Scenario tail = Parse(
        "[signal]\nloop=1\nstep 1000 lock=0\nloopstart\n"
        "ramp 100 level=0..100\nstep 50 level=7\n");
    EXPECT_EQ(SignalAt(&tail, 1120).level, 7);
    EXPECT_EQ(SignalAt(&tail, 1150).lock, 1) << "the loop went back past loopstart";
    EXPECT_EQ(SignalAt(&tail, 1150 + 150 * 1000 + 25).level, 25);
}

TEST(Scenario, FaultsAndBadLinesSkippedAndCounted) {
    Scenario s = Parse("[faults]\nfail=Initialize\nfail=setdevicemode\nlatency=SetFrequency:2500\n");
    EXPECT_EQ(s.badLines, 0u);
    EXPECT_TRUE(s.fail[SIM_INITIALIZE] && s.fail[SIM_SET_DEVICE_MODE] && !s.fail[SIM_SET_FREQUENCY]);
    EXPECT_EQ(s.latencyMs[SIM_SET_FREQUENCY], 2500u);
    EXPECT_EQ(SignalAt(&s, 3000).level, 10) << "faults alone leave the demonstration signal";

    Scenario lines = Parse(
        "# a comment before anything\n"
        "[signal]\r\n"                                  // 2: Windows line ends are fine
        "step 100 level=1   ; the first\n"              // 3
        "stpe 100 level=2\n"                            // 4: bad
        "step 0 level=2\n"                              // 5: bad, no time
        "step 100 level=2..3\n"                         // 6: bad, a step has one value
        "step 100 lock=2\n"                             // 7: bad
        "[signal\n"                                     // 8: bad, and not a section
        "step 100 level=99\n"                           // 9: ignored with the broken section
        "[dish]\nsite 52.52 13.40\n"                    // the dish's lines, not the signal's
        "[SIGNAL]\nramp 100 level=3..4 pol=V tone=1\n"  // unknown keys, ignored
        "step 100 " +
        std::string(300, 'x') + "\n");  // bad, too long
    EXPECT_EQ(std::tuple(lines.badLines, lines.firstBadLine, lines.segmentCount), std::tuple(6u, 4u, 2u));
    EXPECT_EQ(lines.segments[1].levelTo, 4);
    // A line before any section: most likely a forgotten header.
    Scenario headless = Parse("fail=Initialize\n[faults]\nfail=SetDiseqc");
    EXPECT_EQ(headless.firstBadLine, 1u);
    EXPECT_TRUE(headless.fail[SIM_SET_DISEQC]) << "the last line has no newline";
}

}  // namespace
