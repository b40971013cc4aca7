// The [dish] section's lines and the pointing they give over time.
#include "simcard/dish_scenario.h"
#include "simcard/scenario_words.h"
#include <cmath>
#include <cstdlib>
#include <cstring>

constexpr uint32_t PORT_VALUES = 32;   // DiSEqC values a port list can name
constexpr uint32_t KEY_COUNT = 3600;   // position keys 0..3599
constexpr uint32_t DEFAULT_KEY = 130;  // Hotbird 13.0e

void DefaultDish(DishScenario* dish) {
    memset(dish, 0, sizeof *dish);
    dish->present = 1;
    dish->latitude = 48.0 + 9.0 / 60;  // Bratislava, 48°09'n 17°07'e
    dish->longitude = 17.0 + 7.0 / 60;
    dish->diameter = 0.8;
    dish->clearSkyCn = 15.0;
    dish->lockCn = 5.0;
    dish->jitterDb = 0.2;
    dish->seed = 1;
    dish->lnbs[0] = DishLnb{LNB_KU, DEFAULT_KEY, 0};
    dish->lnbCount = 1;
    dish->tables.relayKey = -1;
}

// Degrees as "48.15" or "48:09" (minutes after the colon); a minus sign
// counts for the whole angle.
static bool ParseAngle(const char* text, double limit, double* value) {
    const char* colon = strchr(text, ':');
    if (!colon) return ParseNumber(text, -limit, limit, value);
    char degrees[32];
    size_t length = size_t(colon - text);
    if (length == 0 || length >= sizeof degrees) return false;
    memcpy(degrees, text, length);
    degrees[length] = 0;
    double whole, minutes;
    if (!ParseNumber(degrees, -limit, limit, &whole) || !ParseNumber(colon + 1, 0, 59.999, &minutes)) return false;
    bool negative = degrees[0] == '-';
    *value = negative ? whole - minutes / 60 : whole + minutes / 60;
    return std::fabs(*value) <= limit;
}

int32_t ParsePositionText(const char* text) {
    size_t length = strlen(text);
    if (length < 2 || length > 8) return -1;
    char number[9];
    memcpy(number, text, length - 1);
    number[length - 1] = 0;
    char side = text[length - 1];
    double degrees;
    if (number[0] == '-' || !ParseNumber(number, 0, 180, &degrees)) return -1;
    int32_t tenths = int32_t(std::lround(degrees * 10));
    if (side == 'e' || side == 'E') return tenths;
    if (side == 'w' || side == 'W') return tenths == 0 ? 0 : int32_t(KEY_COUNT) - tenths;
    return -1;
}

// One word of a tables= line.
static bool ParseTableSwitch(char* word, TableSwitches* switches) {
    char* value;
    if (SplitKey(word, &value)) {
        long long key = ParsePositionText(value);
        if (!SameWord(word, "relay") || (key < 0 && !ParseInteger(value, 0, KEY_COUNT - 1, &key))) return false;
        switches->relayKey = int32_t(key);
        return true;
    }
    bool* on = SameWord(word, "none")     ? &switches->none
               : SameWord(word, "nonit")  ? &switches->noNit
               : SameWord(word, "no43")   ? &switches->no43
               : SameWord(word, "badcrc") ? &switches->badCrc
               : SameWord(word, "split")  ? &switches->split
                                          : nullptr;
    if (on) *on = true;
    return on != nullptr;
}

bool ParseTableSwitches(const char* words, TableSwitches* switches) {
    bool good = true;
    for (const char* w = words; *w; w += strcspn(w, "|"), w += *w == '|') {
        char word[32];
        size_t n = strcspn(w, "|");
        good = n < sizeof word && good;
        if (n >= sizeof word) continue;
        memcpy(word, w, n);
        word[n] = 0;
        good = ParseTableSwitch(word, switches) && good;
    }
    return good;
}

// "1,3,4": the DiSEqC values as bits.
static bool ParsePorts(char* text, uint32_t* ports) {
    *ports = 0;
    for (char* item = text;;) {
        char* comma = strchr(item, ',');
        if (comma) *comma = 0;
        long long value;
        if (!ParseInteger(item, 0, PORT_VALUES - 1, &value)) return false;
        *ports |= 1u << value;
        if (!comma) return true;
        item = comma + 1;
    }
}

// lnb ku|c <position> [ports=<v>,<v>...]
static bool ParseLnb(char** tokens, int count, DishScenario* dish) {
    if (count < 3 || count > 4) return false;
    DishLnb lnb = {};
    if (SameWord(tokens[1], "ku"))
        lnb.band = LNB_KU;
    else if (SameWord(tokens[1], "c"))
        lnb.band = LNB_C;
    else
        return false;
    int32_t key = ParsePositionText(tokens[2]);
    if (key < 0) return false;
    lnb.satelliteKey = uint32_t(key);
    if (count == 4) {
        char* value;
        if (!SplitKey(tokens[3], &value) || !SameWord(tokens[3], "ports") || !ParsePorts(value, &lnb.ports))
            return false;
    }
    if (!dish->lnbsGiven) dish->lnbCount = 0;
    if (dish->lnbCount >= DISH_LNB_MAX) return false;
    dish->lnbsGiven = 1;
    dish->lnbs[dish->lnbCount++] = lnb;
    return true;
}

// dish <diameter> [cn=<dB>] [lock=<dB>] [jitter=<dB>] [seed=<n>]
static bool ParseDish(char** tokens, int count, DishScenario* dish) {
    if (count < 2 || !ParseNumber(tokens[1], 0.1, 20, &dish->diameter)) return false;
    for (int i = 2; i < count; ++i) {
        char* value;
        if (!SplitKey(tokens[i], &value)) return false;
        long long seed;
        bool good = SameWord(tokens[i], "cn")       ? ParseNumber(value, -50, 60, &dish->clearSkyCn)
                    : SameWord(tokens[i], "lock")   ? ParseNumber(value, -50, 60, &dish->lockCn)
                    : SameWord(tokens[i], "jitter") ? ParseNumber(value, 0, 10, &dish->jitterDb)
                    : SameWord(tokens[i], "seed")   ? ParseInteger(value, 0, UINT32_MAX, &seed)
                                                    : true;  // later keys
        if (!good) return false;
        if (SameWord(tokens[i], "seed")) dish->seed = uint32_t(seed);
    }
    return true;
}

// hold <ms> [az=x] [el=x] [skew=x]; sweep <ms> [az=a..b] [el=a..b] [skew=a..b]
static bool ParsePointingLine(char** tokens, int count, bool sweep, DishScenario* dish) {
    static const char* const AXIS_KEYS[AXIS_COUNT] = {"az", "el", "skew"};
    static const double AXIS_LOW[AXIS_COUNT] = {-360, -90, -180}, AXIS_HIGH[AXIS_COUNT] = {720, 90, 180};
    long long duration;
    if (count < 2 || dish->pointingCount >= DISH_POINTING_MAX ||
        !ParseInteger(tokens[1], 1, SCENARIO_MAX_DURATION_MS, &duration))
        return false;
    PointingSegment segment = {};
    segment.durationMs = uint32_t(duration);
    segment.sweep = sweep;
    for (int i = 2; i < count; ++i) {
        char* value;
        if (!SplitKey(tokens[i], &value)) return false;
        for (int axis = 0; axis < AXIS_COUNT; ++axis) {
            if (!SameWord(tokens[i], AXIS_KEYS[axis])) continue;
            char a[SCENARIO_MAX_LINE + 1], b[SCENARIO_MAX_LINE + 1];
            bool isRange;
            if (!SplitRange(value, a, b, sizeof a, &isRange) || (isRange && !sweep) ||
                !ParseNumber(a, AXIS_LOW[axis], AXIS_HIGH[axis], &segment.from[axis]) ||
                !ParseNumber(b, AXIS_LOW[axis], AXIS_HIGH[axis], &segment.to[axis]))
                return false;
            segment.given[axis] = 1;
        }
    }
    dish->pointing[dish->pointingCount++] = segment;
    return true;
}

bool ParseDishLine(char** tokens, int count, DishScenario* dish) {
    if (SameWord(tokens[0], "site")) {
        double latitude, longitude;
        if (count != 3 || !ParseAngle(tokens[1], 90, &latitude) || !ParseAngle(tokens[2], 180, &longitude))
            return false;
        dish->latitude = latitude;
        dish->longitude = longitude;
        return true;
    }
    if (SameWord(tokens[0], "dish")) return ParseDish(tokens, count, dish);
    if (SameWord(tokens[0], "lnb")) return ParseLnb(tokens, count, dish);
    if (SameWord(tokens[0], "hold")) return ParsePointingLine(tokens, count, false, dish);
    if (SameWord(tokens[0], "sweep")) return ParsePointingLine(tokens, count, true, dish);
    char* value;
    if (count != 1 || !SplitKey(tokens[0], &value)) return false;
    if (SameWord(tokens[0], "loop")) {
        long long loop;
        if (!ParseInteger(value, 0, 1, &loop)) return false;
        dish->loop = uint8_t(loop);
    }
    if (SameWord(tokens[0], "tables")) {
        TableSwitches tables = dish->tables;  // a bad line is skipped whole
        if (!ParseTableSwitches(value, &tables)) return false;
        dish->tables = tables;
    }
    return true;  // later keys
}

bool ParseDishSkyLine(const char* line, DishScenario* dish) {
    while (*line == ' ' || *line == '\t') ++line;
    char key[5] = {};
    for (int i = 0; i < 4 && line[i]; ++i) key[i] = char(line[i] | 0x20);  // ASCII letters to lower case
    if (strcmp(key, "sky=") != 0) return false;
    const char* start = line + 4;
    size_t length = strlen(start);
    while (length && strchr(" \t\r\v\f", start[length - 1])) --length;
    if (length >= DISH_SKY_PATH_SIZE) length = 0;  // a cut path would name another folder
    memcpy(dish->sky, start, length);
    dish->sky[length] = 0;
    return true;
}

static void SetAxis(Pointing* p, int axis, double value) {
    (axis == AXIS_AZIMUTH ? p->azimuth : axis == AXIS_ELEVATION ? p->elevation : p->skew) = value;
}

Pointing PointingAt(const DishScenario* dish, Pointing start, uint64_t msSinceTuning) {
    uint64_t total = 0;
    for (uint32_t i = 0; i < dish->pointingCount; ++i) total += dish->pointing[i].durationMs;
    if (total == 0) return start;
    uint64_t t = dish->loop ? msSinceTuning % total : msSinceTuning;
    // Each line starts where the one before ended, so walk from the first.
    Pointing at = start;
    uint64_t begin = 0;
    for (uint32_t i = 0; i < dish->pointingCount; ++i) {
        const PointingSegment* segment = &dish->pointing[i];
        bool inside = t < begin + segment->durationMs || i + 1 == dish->pointingCount;
        double fraction = 1.0;
        if (inside && segment->sweep && t < begin + segment->durationMs)
            fraction = double(t - begin) / segment->durationMs;
        for (int axis = 0; axis < AXIS_COUNT; ++axis) {
            if (!segment->given[axis]) continue;
            double from = segment->from[axis], to = segment->to[axis];
            SetAxis(&at, axis, segment->sweep ? from + (to - from) * fraction : from);
        }
        if (inside) break;
        begin += segment->durationMs;
    }
    if (at.azimuth < 0) at.azimuth += 360;
    if (at.azimuth >= 360) at.azimuth -= 360;
    return at;
}

int LnbOfPort(const DishScenario* dish, uint32_t diseqc) {
    uint32_t bit = 1u << (diseqc < PORT_VALUES ? diseqc : 0);
    for (uint32_t i = 0; i < dish->lnbCount; ++i)
        if (dish->lnbs[i].ports & bit) return int(i);
    // Nobody claims the value: the LNB without a port list takes it.
    for (uint32_t i = 0; i < dish->lnbCount; ++i)
        if (dish->lnbs[i].ports == 0) return int(i);
    return -1;
}
