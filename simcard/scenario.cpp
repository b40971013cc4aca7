// The scenario text and the signal it describes. Kept free of the platform so
// the host tests can take it apart.
#include "simcard/scenario.h"
#include "simcard/scenario_words.h"
#include <cmath>
#include <cstdlib>
#include <cstring>

// The dish sweeps across the satellite, again and again: nothing for a while,
// then a lock, a level that climbs, peaks and falls away, then nothing again.
const char* const DEFAULT_SCENARIO_TEXT =
    "[signal]\n"
    "loop=1\n"
    "step 3000 lock=0\n"
    "ramp 8000 level=10..80 snr=2.0..11.0\n"
    "ramp 1500 level=80..84 snr=11.0..12.5\n"
    "ramp 1500 level=84..78 snr=12.5..10.8\n"
    "ramp 6000 level=78..10 snr=10.8..2.0\n";

static const char* const METHOD_NAMES[SIM_METHOD_COUNT] = {
    "SetSymbolRate", "SetLnbFrequency", "SetDeviceMode", "SetPolarization",  "SetLnbTone",   "SetDiseqc",
    "Initialize",    "CheckLock",       "UpdateStatus",  "GetSignalToNoise", "SetFrequency", "GetSignalPercent",
};

enum Section { SECTION_NONE, SECTION_SIGNAL, SECTION_FAULTS, SECTION_DISH, SECTION_OTHER };

constexpr int MAX_TOKENS = 16;

const char* SimMethodName(int method) {
    return (method >= 0 && method < SIM_METHOD_COUNT) ? METHOD_NAMES[method] : nullptr;
}

int FindSimMethod(const char* name) {
    for (int i = 0; i < SIM_METHOD_COUNT; ++i)
        if (SameWord(name, METHOD_NAMES[i])) return i;
    return -1;
}

static bool ParseReal(const char* text, float* value) {
    double v;
    if (!ParseNumber(text, -1e6, 1e6, &v)) return false;
    *value = float(v);
    return true;
}

static bool ParseLevelRange(const char* text, int32_t* from, int32_t* to, bool* isRange) {
    char a[SCENARIO_MAX_LINE + 1], b[SCENARIO_MAX_LINE + 1];
    long long x, y;
    if (!SplitRange(text, a, b, sizeof a, isRange)) return false;
    if (!ParseInteger(a, INT32_MIN, INT32_MAX, &x) || !ParseInteger(b, INT32_MIN, INT32_MAX, &y)) return false;
    *from = int32_t(x);
    *to = int32_t(y);
    return true;
}

static bool ParseSnrRange(const char* text, float* from, float* to, bool* isRange) {
    char a[SCENARIO_MAX_LINE + 1], b[SCENARIO_MAX_LINE + 1];
    if (!SplitRange(text, a, b, sizeof a, isRange)) return false;
    return ParseReal(a, from) && ParseReal(b, to);
}

// step <ms> [lock=0|1] [level=n] [snr=x]
// ramp <ms> [lock=0|1] [level=a..b] [snr=x..y]
static bool ParseSegment(char** tokens, int count, bool ramp, Scenario* scenario) {
    if (count < 2 || scenario->segmentCount >= SCENARIO_MAX_SEGMENTS) return false;
    long long duration;
    if (!ParseInteger(tokens[1], 1, SCENARIO_MAX_DURATION_MS, &duration)) return false;
    SignalSegment segment = {};
    segment.durationMs = uint32_t(duration);
    segment.ramp = ramp;
    segment.lock = 1;
    for (int i = 2; i < count; ++i) {
        char* value;
        if (!SplitKey(tokens[i], &value)) return false;
        bool isRange = false;
        if (SameWord(tokens[i], "lock")) {
            long long lock;
            if (!ParseInteger(value, 0, 1, &lock)) return false;
            segment.lock = uint8_t(lock);
        } else if (SameWord(tokens[i], "level")) {
            if (!ParseLevelRange(value, &segment.levelFrom, &segment.levelTo, &isRange)) return false;
        } else if (SameWord(tokens[i], "snr")) {
            if (!ParseSnrRange(value, &segment.snrFrom, &segment.snrTo, &isRange)) return false;
        }
        // Other keys belong to later scenarios (a dish, a beam): ignored here.
        if (isRange && !ramp) return false;
    }
    scenario->segments[scenario->segmentCount++] = segment;
    return true;
}

static bool ParseSignalLine(char** tokens, int count, Scenario* scenario) {
    if (SameWord(tokens[0], "step")) return ParseSegment(tokens, count, false, scenario);
    if (SameWord(tokens[0], "ramp")) return ParseSegment(tokens, count, true, scenario);
    if (SameWord(tokens[0], "loopstart")) {
        if (count != 1) return false;
        scenario->loopStart = scenario->segmentCount;
        return true;
    }
    char* value;
    if (count != 1 || !SplitKey(tokens[0], &value)) return false;
    if (SameWord(tokens[0], "loop")) {
        long long loop;
        if (!ParseInteger(value, 0, 1, &loop)) return false;
        scenario->loop = uint8_t(loop);
    }
    return true;
}

// fail=<Method>, latency=<Method>:<ms>, vanish=<ms>
static bool ParseFaultLine(char** tokens, int count, Scenario* scenario) {
    char* value;
    if (count != 1 || !SplitKey(tokens[0], &value)) return false;
    if (SameWord(tokens[0], "fail")) {
        int method = FindSimMethod(value);
        if (method < 0) return false;
        scenario->fail[method] = 1;
    } else if (SameWord(tokens[0], "latency")) {
        char* colon = strchr(value, ':');
        if (!colon) return false;
        *colon = 0;
        int method = FindSimMethod(value);
        long long ms;
        if (method < 0 || !ParseInteger(colon + 1, 0, SCENARIO_MAX_LATENCY_MS, &ms)) return false;
        scenario->latencyMs[method] = uint32_t(ms);
    } else if (SameWord(tokens[0], "vanish")) {
        long long ms;
        if (!ParseInteger(value, 1, SCENARIO_MAX_DURATION_MS, &ms)) return false;
        scenario->vanishMs = uint32_t(ms);
    }
    return true;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// One line, already copied and cut at its comment. False: a bad line.
static bool ParseLine(char* line, Section* section, Scenario* scenario) {
    if (*section == SECTION_DISH && ParseDishSkyLine(line, &scenario->dish)) return true;
    char* tokens[MAX_TOKENS];
    int count = 0;
    for (char* p = line; *p;) {
        while (IsBlank(*p)) *p++ = 0;
        if (!*p) break;
        if (count == MAX_TOKENS) return false;
        tokens[count++] = p;
        while (*p && !IsBlank(*p)) ++p;
    }
    if (count == 0) return true;
    if (tokens[0][0] == '[') {
        size_t length = strlen(tokens[0]);
        if (count != 1 || length < 3 || tokens[0][length - 1] != ']') {
            *section = SECTION_OTHER;
            return false;
        }
        tokens[0][length - 1] = 0;
        const char* name = tokens[0] + 1;
        *section = SameWord(name, "signal")   ? SECTION_SIGNAL
                   : SameWord(name, "faults") ? SECTION_FAULTS
                   : SameWord(name, "dish")   ? SECTION_DISH
                                              : SECTION_OTHER;
        if (*section == SECTION_DISH && !scenario->dish.present) DefaultDish(&scenario->dish);
        return true;
    }
    switch (*section) {
        case SECTION_SIGNAL:
            return ParseSignalLine(tokens, count, scenario);
        case SECTION_FAULTS:
            return ParseFaultLine(tokens, count, scenario);
        case SECTION_DISH:
            return ParseDishLine(tokens, count, &scenario->dish);
        case SECTION_OTHER:
            return true;
        case SECTION_NONE:
            break;
    }
    return false;  // a line before any section: most likely a forgotten header
}

static void ParseText(const char* text, Scenario* scenario) {
    memset(scenario, 0, sizeof *scenario);
    Section section = SECTION_NONE;
    uint32_t number = 0;
    const char* p = text;
    while (*p) {
        const char* end = strchr(p, '\n');
        size_t length = end ? size_t(end - p) : strlen(p);
        ++number;
        bool good = false;
        if (length <= SCENARIO_MAX_LINE) {
            char line[SCENARIO_MAX_LINE + 1];
            memcpy(line, p, length);
            line[length] = 0;
            line[strcspn(line, "#;")] = 0;
            good = ParseLine(line, &section, scenario);
        }
        if (!good && scenario->badLines++ == 0) scenario->firstBadLine = number;
        p += length;
        if (*p) ++p;
    }
}

void DefaultScenario(Scenario* scenario) {
    ParseText(DEFAULT_SCENARIO_TEXT, scenario);
    scenario->defaultSignal = 1;
}

void ParseScenario(const char* text, Scenario* scenario) {
    ParseText(text, scenario);
    if (scenario->segmentCount == 0) {
        // Faults alone: they apply to the usual demonstration signal.
        Scenario builtIn;
        DefaultScenario(&builtIn);
        memcpy(scenario->segments, builtIn.segments, sizeof builtIn.segments);
        scenario->segmentCount = builtIn.segmentCount;
        scenario->loop = builtIn.loop;
        scenario->loopStart = builtIn.loopStart;
        scenario->defaultSignal = 1;
    }
}

static SignalSample SegmentValue(const SignalSegment* segment, uint64_t elapsedMs) {
    SignalSample sample = {segment->lock, segment->levelFrom, segment->snrFrom};
    if (segment->ramp) {
        double fraction = elapsedMs >= segment->durationMs ? 1.0 : double(elapsedMs) / segment->durationMs;
        double level = segment->levelFrom + (double(segment->levelTo) - segment->levelFrom) * fraction;
        sample.level = int32_t(std::floor(level + 0.5));
        sample.snr = float(segment->snrFrom + (double(segment->snrTo) - segment->snrFrom) * fraction);
    }
    return sample;
}

SignalSample SignalAt(const Scenario* scenario, uint64_t msSinceTuning) {
    uint32_t count = scenario->segmentCount;
    if (count == 0) return SignalSample{0, 0, 0.0f};
    uint64_t total = 0, loopFrom = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (i == scenario->loopStart) loopFrom = total;
        total += scenario->segments[i].durationMs;
    }
    uint64_t t = msSinceTuning;
    if (t >= total) {
        // Without a loop (or with nothing after loopstart) the last value holds.
        if (!scenario->loop || scenario->loopStart >= count)
            return SegmentValue(&scenario->segments[count - 1], scenario->segments[count - 1].durationMs);
        t = loopFrom + (t - loopFrom) % (total - loopFrom);
    }
    uint64_t start = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const SignalSegment* segment = &scenario->segments[i];
        if (t < start + segment->durationMs) return SegmentValue(segment, t - start);
        start += segment->durationMs;
    }
    return SegmentValue(&scenario->segments[count - 1], scenario->segments[count - 1].durationMs);
}
