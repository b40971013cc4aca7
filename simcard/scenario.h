#pragma once
// The simulated card's scenario: the signal over time since tuning, and the
// faults to inject. Read from a small line-based text (see simcard/README.md);
// nothing here touches the platform, so it is tested on the host.
#include <cstddef>
#include <cstdint>
#include "simcard/dish_scenario.h"

// The tuner calls a scenario can make fail or slow down.
enum SimMethod {
    SIM_SET_SYMBOL_RATE,
    SIM_SET_LNB_FREQUENCY,
    SIM_SET_DEVICE_MODE,
    SIM_SET_POLARIZATION,
    SIM_SET_LNB_TONE,
    SIM_SET_DISEQC,
    SIM_INITIALIZE,
    SIM_CHECK_LOCK,
    SIM_UPDATE_STATUS,
    SIM_GET_SIGNAL_TO_NOISE,
    SIM_SET_FREQUENCY,
    SIM_GET_SIGNAL_PERCENT,
    SIM_METHOD_COUNT
};

constexpr uint32_t SCENARIO_MAX_SEGMENTS = 64;
constexpr uint32_t SCENARIO_MAX_LATENCY_MS = 600000;

// One piece of the signal timeline. A step holds its values; a ramp goes
// linearly from the first to the second over its duration.
struct SignalSegment {
    uint32_t durationMs;
    uint8_t lock;
    uint8_t ramp;
    int32_t levelFrom, levelTo;  // percent; out of range on purpose is allowed
    float snrFrom, snrTo;
};

struct Scenario {
    SignalSegment segments[SCENARIO_MAX_SEGMENTS];
    uint32_t segmentCount;
    uint8_t loop;                          // after the last segment, start again at loopStart
    uint32_t loopStart;                    // index of the first segment of the repeated part
    uint8_t fail[SIM_METHOD_COUNT];        // the call returns E_FAIL and does nothing
    uint32_t latencyMs[SIM_METHOD_COUNT];  // the call sleeps this long first
    uint32_t vanishMs;                     // this long after tuning the card refuses every call; 0: never
    uint32_t badLines;                     // lines that were skipped as malformed
    uint32_t firstBadLine;                 // 1-based number of the first of them, 0 when none
    uint8_t defaultSignal;                 // the text had no signal lines: the built-in signal is used
    DishScenario dish;                     // present: a virtual dish decides the signal, not the lines above
};

// What the card reports at one moment.
struct SignalSample {
    uint8_t lock;
    int32_t level;
    float snr;
};

// The built-in scenario, also the signal of a text that gives none.
extern const char* const DEFAULT_SCENARIO_TEXT;

// Parses a NUL-terminated scenario text. Never fails: bad lines are skipped and
// counted, unknown sections and keys are ignored.
void ParseScenario(const char* text, Scenario* scenario);
void DefaultScenario(Scenario* scenario);

// The signal msSinceTuning milliseconds after a successful tune.
SignalSample SignalAt(const Scenario* scenario, uint64_t msSinceTuning);

// The call's name as the log and the scenario write it, or nullptr.
const char* SimMethodName(int method);
// The method of that name, or -1.
int FindSimMethod(const char* name);
