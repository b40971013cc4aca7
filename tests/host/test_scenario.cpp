// The simulated card's scenario: the text it reads and the signal it gives.
#include "simcard/scenario.h"
#include <gtest/gtest.h>
#include <string>

namespace {

Scenario Parse(const char* text) {
    Scenario s;
    ParseScenario(text, &s);
    return s;
}

void ExpectSample(const Scenario& s, uint64_t t, int lock, int level, float snr) {
    SignalSample v = SignalAt(&s, t);
    EXPECT_EQ(v.lock, lock) << "lock at " << t << " ms";
    EXPECT_EQ(v.level, level) << "level at " << t << " ms";
    EXPECT_NEAR(v.snr, snr, 0.01f) << "snr at " << t << " ms";
}

TEST(Scenario, StepsHoldRampsInterpolateAndTheEndHolds) {
    Scenario s = Parse(
        "[signal]\n"
        "step 1000 lock=0 level=0 snr=0\n"
        "ramp 2000 level=20..60 snr=4.0..8.0\n"
        "ramp 1000 lock=1 level=60..59 snr=9..9\n");
    EXPECT_EQ(s.badLines, 0u);
    ExpectSample(s, 999, 0, 0, 0.0f);
    ExpectSample(s, 1000, 1, 20, 4.0f);  // lock is on unless the line says otherwise
    ExpectSample(s, 2000, 1, 40, 6.0f);
    ExpectSample(s, 2999, 1, 60, 8.0f);  // 59.98 rounds to the nearest percent
    ExpectSample(s, 3500, 1, 60, 9.0f);  // 59.5 rounds up
    ExpectSample(s, 10000000000ull, 1, 59, 9.0f);
    // Out-of-range values are kept for the program to cope with.
    Scenario wild = Parse("[signal]\nstep 100 level=150 snr=-5\nramp 100 level=-10..300\n");
    ExpectSample(wild, 0, 1, 150, -5.0f);
    EXPECT_EQ(SignalAt(&wild, 150).level, 145);
}

TEST(Scenario, LoopsFromTheStartOrFromLoopstart) {
    Scenario whole = Parse("[signal]\nloop=1\nstep 100 level=1\nstep 100 level=2\n");
    EXPECT_EQ(SignalAt(&whole, 250).level, 1);
    EXPECT_EQ(SignalAt(&whole, 399).level, 2);
    // The search happens once; the sweep after it repeats.
    Scenario tail = Parse("[signal]\nloop=1\nstep 1000 lock=0\nloopstart\nramp 100 level=0..100\nstep 50 level=7\n");
    EXPECT_EQ(SignalAt(&tail, 1120).level, 7);
    EXPECT_EQ(SignalAt(&tail, 1150).lock, 1) << "the loop went back past loopstart";
    EXPECT_EQ(SignalAt(&tail, 1150 + 150 * 1000 + 25).level, 25);
    // The built-in sweep: no lock for 3 s, then a lock at 10, and again every 20 s.
    Scenario builtIn;
    DefaultScenario(&builtIn);
    EXPECT_EQ(builtIn.badLines, 0u);
    ExpectSample(builtIn, 2999, 0, 0, 0.0f);
    ExpectSample(builtIn, 3000, 1, 10, 2.0f);
    EXPECT_EQ(SignalAt(&builtIn, 11000).level, 80);
    EXPECT_EQ(SignalAt(&builtIn, 50 * 20000 + 1000).lock, 0);
}

TEST(Scenario, FaultsNameTheCallThatFailsOrIsSlow) {
    Scenario s = Parse("[faults]\nfail=Initialize\nfail=setdevicemode\nlatency=SetFrequency:2500\n");
    EXPECT_EQ(s.badLines, 0u);
    EXPECT_TRUE(s.fail[SIM_INITIALIZE]);
    EXPECT_TRUE(s.fail[SIM_SET_DEVICE_MODE]);
    EXPECT_FALSE(s.fail[SIM_SET_FREQUENCY]);
    EXPECT_EQ(s.latencyMs[SIM_SET_FREQUENCY], 2500u);
    // Faults alone leave the demonstration signal in place.
    EXPECT_TRUE(s.defaultSignal);
    EXPECT_EQ(SignalAt(&s, 3000).level, 10);

    Scenario bad = Parse("[faults]\nfail=Tune\nlatency=SetFrequency\nlatency=SetFrequency:-1\nfail=Initialize extra\n");
    EXPECT_EQ(bad.badLines, 4u);
    for (int m = 0; m < SIM_METHOD_COUNT; ++m) EXPECT_FALSE(bad.fail[m] || bad.latencyMs[m]) << SimMethodName(m);
}

TEST(Scenario, BadLinesAreSkippedAndCountedAndLaterSectionsIgnored) {
    std::string text =
        "# a comment before anything\n"
        "[signal]\r\n"                       // 2: Windows line ends are fine
        "step 100 level=1   ; the first\n"   // 3
        "stpe 100 level=2\n"                 // 4: bad
        "step 0 level=2\n"                   // 5: bad, no time
        "step 100 level=2..3\n"              // 6: bad, a step has one value
        "step 100 lock=2\n"                  // 7: bad
        "[signal\n"                          // 8: bad, and not a section
        "step 100 level=99\n"                // 9: ignored with the broken section
        "[dish]\n"                           // 10: a later section, skipped whole
        "site 52.52 13.40\n"
        "[SIGNAL]\n"
        "ramp 100 level=3..4 pol=V tone=1\n" // later keys, ignored
        + std::string("step 100 ") + std::string(300, 'x') + "\n";  // bad, too long
    Scenario s = Parse(text.c_str());
    EXPECT_EQ(s.badLines, 6u);
    EXPECT_EQ(s.firstBadLine, 4u);
    ASSERT_EQ(s.segmentCount, 2u);
    EXPECT_EQ(s.segments[1].levelTo, 4);
    // A line before any section: most likely a forgotten header.
    Scenario headless = Parse("fail=Initialize\n[faults]\nfail=SetDiseqc");
    EXPECT_EQ(headless.firstBadLine, 1u);
    EXPECT_TRUE(headless.fail[SIM_SET_DISEQC]) << "the last line has no newline";
    // More signal lines than fit are counted as bad.
    std::string many = "[signal]\n";
    for (uint32_t i = 0; i < SCENARIO_MAX_SEGMENTS + 3; ++i) many += "step 10 level=1\n";
    Scenario full = Parse(many.c_str());
    EXPECT_EQ(full.segmentCount, SCENARIO_MAX_SEGMENTS);
    EXPECT_EQ(full.badLines, 3u);
}

}  // namespace
