// The simulated card's scenario: the text it reads and the signal it gives.
#include "simcard/scenario.h"
#include <gtest/gtest.h>
#include <algorithm>
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

TEST(Scenario, DefaultIsASweepThatComesBackAgainAndAgain) {
    Scenario s;
    DefaultScenario(&s);
    EXPECT_EQ(s.badLines, 0u) << "the built-in text has a bad line " << s.firstBadLine;
    ASSERT_GE(s.segmentCount, 3u);
    EXPECT_TRUE(s.loop);

    // About three seconds with nothing, then a lock at the bottom of the rise.
    for (uint64_t t = 0; t < 3000; t += 250) EXPECT_EQ(SignalAt(&s, t).lock, 0) << t;
    ExpectSample(s, 3000, 1, 10, 2.0f);
    // The level climbs for eight seconds, the SNR with it.
    int last = 0;
    float lastSnr = 0.0f;
    for (uint64_t t = 3000; t <= 11000; t += 500) {
        SignalSample v = SignalAt(&s, t);
        EXPECT_GE(v.level, last) << "falling at " << t;
        EXPECT_GE(v.snr, lastSnr) << "SNR falling at " << t;
        last = v.level;
        lastSnr = v.snr;
    }
    EXPECT_EQ(SignalAt(&s, 11000).level, 80);
    // A peak, then a fall back to where it started.
    int peak = 0;
    for (uint64_t t = 11000; t < 20000; t += 100) peak = std::max(peak, int(SignalAt(&s, t).level));
    EXPECT_GE(peak, 80);
    EXPECT_LE(peak, 100);
    EXPECT_LE(SignalAt(&s, 19999).level, 11);
    // And once more from the start, as often as one waits.
    for (uint64_t cycle : {1u, 2u, 50u}) {
        uint64_t base = cycle * 20000;
        EXPECT_EQ(SignalAt(&s, base + 1000).lock, 0) << "cycle " << cycle;
        EXPECT_EQ(SignalAt(&s, base + 7000).level, SignalAt(&s, 7000).level) << "cycle " << cycle;
    }
}

TEST(Scenario, StepsHoldAndRampsInterpolate) {
    Scenario s = Parse(
        "[signal]\n"
        "step 1000 lock=0 level=0 snr=0\n"
        "ramp 2000 level=20..60 snr=4.0..8.0\n"
        "step 500 level=60 snr=9.25\n"
        "ramp 1000 lock=1 level=60..59 snr=9..9\n");
    EXPECT_EQ(s.badLines, 0u);
    ASSERT_EQ(s.segmentCount, 4u);
    EXPECT_FALSE(s.loop);
    EXPECT_FALSE(s.defaultSignal);
    ExpectSample(s, 0, 0, 0, 0.0f);
    ExpectSample(s, 999, 0, 0, 0.0f);
    ExpectSample(s, 1000, 1, 20, 4.0f);  // lock is on unless the line says otherwise
    ExpectSample(s, 2000, 1, 40, 6.0f);
    ExpectSample(s, 2500, 1, 50, 7.0f);
    ExpectSample(s, 2999, 1, 60, 8.0f);  // 59.98 rounds to the nearest percent
    ExpectSample(s, 3000, 1, 60, 9.25f);
    ExpectSample(s, 3499, 1, 60, 9.25f);
    ExpectSample(s, 3500, 1, 60, 9.0f);
    ExpectSample(s, 4000, 1, 60, 9.0f);  // 59.5 rounds up
    ExpectSample(s, 4499, 1, 59, 9.0f);
    // Without a loop the end of the last line holds for ever.
    ExpectSample(s, 4500, 1, 59, 9.0f);
    ExpectSample(s, 10000000000ull, 1, 59, 9.0f);
}

TEST(Scenario, LoopsFromTheStartOrFromLoopstart) {
    Scenario whole = Parse("[signal]\nloop=1\nstep 100 level=1\nstep 100 level=2\nstep 100 level=3\n");
    EXPECT_EQ(SignalAt(&whole, 300).level, 1);
    EXPECT_EQ(SignalAt(&whole, 450).level, 2);
    EXPECT_EQ(SignalAt(&whole, 899).level, 3);
    EXPECT_EQ(SignalAt(&whole, 900).level, 1);

    // The search happens once; the sweep after it repeats.
    Scenario tail = Parse(
        "[signal]\nloop=1\nstep 1000 lock=0\nloopstart\nramp 100 level=0..100\nstep 50 level=7\n");
    EXPECT_EQ(tail.loopStart, 1u);
    EXPECT_EQ(SignalAt(&tail, 999).lock, 0);
    EXPECT_EQ(SignalAt(&tail, 1050).level, 50);
    EXPECT_EQ(SignalAt(&tail, 1120).level, 7);
    EXPECT_EQ(SignalAt(&tail, 1150).level, 0);
    EXPECT_EQ(SignalAt(&tail, 1150).lock, 1) << "the loop went back past loopstart";
    EXPECT_EQ(SignalAt(&tail, 1150 + 150 * 1000 + 25).level, 25);

    // loopstart with nothing after it: no loop, the last value holds.
    Scenario empty = Parse("[signal]\nloop=1\nstep 100 level=5\nloopstart\n");
    EXPECT_EQ(SignalAt(&empty, 5000).level, 5);

    Scenario off = Parse("[signal]\nloop=0\nstep 100 level=5\nstep 100 level=6\n");
    EXPECT_EQ(SignalAt(&off, 250).level, 6);
}

TEST(Scenario, OutOfRangeValuesAreKeptForTheProgramToCope) {
    Scenario s = Parse("[signal]\nstep 100 level=150 snr=-5\nramp 100 level=-10..300 snr=-5..40.5\n");
    EXPECT_EQ(s.badLines, 0u);
    ExpectSample(s, 0, 1, 150, -5.0f);
    ExpectSample(s, 100, 1, -10, -5.0f);
    ExpectSample(s, 150, 1, 145, 17.75f);
    // A level wider than 32 bits or an SNR that is no number is a bad line.
    Scenario bad = Parse("[signal]\nstep 100 level=4294967296\nstep 100 snr=nan\nstep 100 snr=inf\n");
    EXPECT_EQ(bad.badLines, 3u);
}

TEST(Scenario, FaultsNameTheCallThatFailsOrIsSlow) {
    Scenario s = Parse(
        "[faults]\n"
        "fail=Initialize\n"
        "fail=setdevicemode\n"
        "fail=SetFrequency\n"
        "fail=SetDiseqc\n"
        "latency=SetFrequency:2500\n"
        "latency=CheckLock:0\n");
    EXPECT_EQ(s.badLines, 0u);
    EXPECT_TRUE(s.fail[SIM_INITIALIZE]);
    EXPECT_TRUE(s.fail[SIM_SET_DEVICE_MODE]);
    EXPECT_TRUE(s.fail[SIM_SET_FREQUENCY]);
    EXPECT_TRUE(s.fail[SIM_SET_DISEQC]);
    EXPECT_FALSE(s.fail[SIM_CHECK_LOCK]);
    EXPECT_FALSE(s.fail[SIM_GET_SIGNAL_PERCENT]);
    EXPECT_EQ(s.latencyMs[SIM_SET_FREQUENCY], 2500u);
    EXPECT_EQ(s.latencyMs[SIM_CHECK_LOCK], 0u);
    EXPECT_EQ(s.latencyMs[SIM_INITIALIZE], 0u);
    // Faults alone leave the demonstration signal in place.
    Scenario builtIn;
    DefaultScenario(&builtIn);
    EXPECT_TRUE(s.defaultSignal);
    EXPECT_EQ(s.segmentCount, builtIn.segmentCount);
    EXPECT_EQ(SignalAt(&s, 7000).level, SignalAt(&builtIn, 7000).level);
    EXPECT_FALSE(builtIn.fail[SIM_INITIALIZE]);

    Scenario bad = Parse(
        "[faults]\nfail=Tune\nfail=\nlatency=SetFrequency\nlatency=SetFrequency:-1\n"
        "latency=Nothing:10\nlatency=SetFrequency:fast\nfail=Initialize extra\n");
    EXPECT_EQ(bad.badLines, 7u);
    for (int m = 0; m < SIM_METHOD_COUNT; ++m) {
        EXPECT_FALSE(bad.fail[m]) << SimMethodName(m);
        EXPECT_EQ(bad.latencyMs[m], 0u) << SimMethodName(m);
    }
}

TEST(Scenario, BadLinesAreSkippedAndCounted) {
    std::string longLine = "step 100 level=5 " + std::string(300, 'x');
    std::string text =
        "# a comment before anything\n"
        "\n"
        "[signal]\r\n"                     // 3: Windows line ends are fine
        "step 100 level=1   ; the first\n" // 4
        "stpe 100 level=2\n"               // 5: bad
        "step 0 level=2\n"                 // 6: bad, no time
        "step 100 level=2..3\n"            // 7: bad, a step has one value
        "step 100 lock=2\n"                // 8: bad
        "step 100 level\n"                 // 9: bad
        "step\n"                           // 10: bad
        "loop=yes\n"                       // 11: bad
        "[signal\n"                        // 12: bad, and not a section
        "step 100 level=99\n"              // 13: ignored with the broken section
        "[SIGNAL]\n"                       // 14
        "ramp 100 level=3..4 pol=V tone=1\n" // 15: later keys, ignored
        "colour=blue\n"                    // 16: a later key, ignored
        + longLine + "\n"                  // 17: bad, too long
        "ramp 100 level=9\n";              // 18: a ramp may stand still
    Scenario s = Parse(text.c_str());
    EXPECT_EQ(s.badLines, 9u);
    EXPECT_EQ(s.firstBadLine, 5u);
    ASSERT_EQ(s.segmentCount, 3u);
    EXPECT_EQ(s.segments[0].levelFrom, 1);
    EXPECT_EQ(s.segments[1].levelFrom, 3);
    EXPECT_EQ(s.segments[1].levelTo, 4);
    EXPECT_EQ(s.segments[2].levelTo, 9);

    // A line before any section: most likely a forgotten header.
    Scenario headless = Parse("fail=Initialize\n[faults]\nfail=SetDiseqc");
    EXPECT_EQ(headless.badLines, 1u);
    EXPECT_EQ(headless.firstBadLine, 1u);
    EXPECT_FALSE(headless.fail[SIM_INITIALIZE]);
    EXPECT_TRUE(headless.fail[SIM_SET_DISEQC]) << "the last line has no newline";
}

TEST(Scenario, UnknownSectionsLeaveRoomForADish) {
    Scenario s = Parse(
        "[dish]\n"
        "site 52.52 13.40\n"
        "size=80\n"
        "[satellites]\n"
        "astra 19.2E\n"
        "[signal]\n"
        "step 100 level=42\n"
        "[beam]\n"
        "step 100 level=1\n");
    EXPECT_EQ(s.badLines, 0u);
    ASSERT_EQ(s.segmentCount, 1u);
    EXPECT_EQ(SignalAt(&s, 50).level, 42);
}

TEST(Scenario, EdgesOfTheText) {
    Scenario empty = Parse("");
    EXPECT_EQ(empty.badLines, 0u);
    EXPECT_TRUE(empty.defaultSignal);

    std::string many = "[signal]\n";
    for (uint32_t i = 0; i < SCENARIO_MAX_SEGMENTS + 3; ++i) many += "step 10 level=" + std::to_string(i) + "\n";
    Scenario full = Parse(many.c_str());
    EXPECT_EQ(full.segmentCount, SCENARIO_MAX_SEGMENTS);
    EXPECT_EQ(full.badLines, 3u);
    EXPECT_EQ(full.firstBadLine, SCENARIO_MAX_SEGMENTS + 2);

    Scenario tokens = Parse("[signal]\nstep 1 a=1 b=1 c=1 d=1 e=1 f=1 g=1 h=1 i=1 j=1 k=1 l=1 m=1 n=1 o=1\n");
    EXPECT_EQ(tokens.badLines, 1u) << "more words than a line may have";

    for (int m = 0; m < SIM_METHOD_COUNT; ++m) EXPECT_EQ(FindSimMethod(SimMethodName(m)), m);
    EXPECT_EQ(FindSimMethod("SetFrequencyX"), -1);
    EXPECT_EQ(FindSimMethod("SetFreq"), -1);
    EXPECT_EQ(SimMethodName(SIM_METHOD_COUNT), nullptr);
}

}  // namespace
