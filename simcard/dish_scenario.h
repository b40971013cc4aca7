#pragma once
// The [dish] section of a scenario: where the dish stands, how big it is,
// which LNBs sit on it and which DiSEqC values reach them, and where it
// points over time. With it the card stops playing a fixed signal and hears
// what such a dish would hear (see simcard/README.md). No platform code.
#include <cstddef>
#include <cstdint>

constexpr uint32_t DISH_LNB_MAX = 4;
constexpr uint32_t DISH_POINTING_MAX = 64;
constexpr size_t DISH_SKY_PATH_SIZE = 256;

enum LnbBand : uint8_t { LNB_KU, LNB_C };

struct DishLnb {
    uint8_t band;
    uint32_t satelliteKey;  // tenths of a degree eastwards, as the transponder files are named
    uint32_t ports;         // bit v: DiSEqC value v reaches this LNB; 0 = every value no other LNB takes
};

// Where the dish points: degrees. Azimuth clockwise from north, elevation
// above the horizon, skew the LNB's turn about its axis, positive
// anticlockwise as seen from behind the dish (the calculator's sign).
struct Pointing {
    double azimuth, elevation, skew;
};

enum PointingAxis { AXIS_AZIMUTH, AXIS_ELEVATION, AXIS_SKEW, AXIS_COUNT };

// A hold keeps its values; a sweep goes linearly from the first to the
// second. An axis the line leaves out goes on from where the line before
// ended.
struct PointingSegment {
    uint32_t durationMs;
    uint8_t sweep;
    uint8_t given[AXIS_COUNT];
    double from[AXIS_COUNT], to[AXIS_COUNT];
};

// What the satellites' tables leave out or break, for practice and tests:
// null packets only, no NIT, a NIT without the satellite delivery descriptor
// (0x43), a NIT naming another position (a relayed stream), every CRC wrong,
// sections cut into 20-byte pieces across packets.
struct TableSwitches {
    bool none, noNit, no43, badCrc, split;
    int32_t relayKey;  // the position the NIT names instead of its own, -1: its own
};

struct DishScenario {
    uint8_t present;             // the scenario has a [dish] section: the card is a dish
    double latitude, longitude;  // degrees, north and east positive
    double diameter;             // metres
    double clearSkyCn;           // dB at boresight, clear sky, skew right
    double lockCn;               // dB: the demodulator locks at or above this
    double jitterDb;             // the C/N wanders by up to this much either way
    uint32_t seed;
    DishLnb lnbs[DISH_LNB_MAX];  // the first sits at the focus: the dish's own satellite
    uint32_t lnbCount;
    uint8_t lnbsGiven;  // the first "lnb" line replaces the default LNB
    PointingSegment pointing[DISH_POINTING_MAX];
    uint32_t pointingCount;
    uint8_t loop;
    char sky[DISH_SKY_PATH_SIZE];  // the transponder folder; empty: beside the program
    TableSwitches tables;
};

// The dish a bare [dish] header gives: 80 cm in Bratislava, one universal LNB
// on Hotbird 13.0e that every DiSEqC value reaches.
void DefaultDish(DishScenario* dish);

// One tokenized line of the section; false for a bad line.
bool ParseDishLine(char** tokens, int count, DishScenario* dish);
// "sky=<folder>" takes the rest of the line, spaces included. False when the
// line is something else.
bool ParseDishSkyLine(const char* line, DishScenario* dish);

// "none|nonit|no43|relay=<position>|badcrc|split", words joined by '|' as
// the section's tables= and dishserver's /tables= give them; the position as
// "19.2e" or as its key, 192. False for an unknown word (the others stand).
bool ParseTableSwitches(const char* words, TableSwitches* switches);

// "13.0e", "30w": the position key, or -1.
int32_t ParsePositionText(const char* text);

// Where the scenario points the dish msSinceTuning after a tune. start is the
// pointing before the first line, and of every axis no line gives.
Pointing PointingAt(const DishScenario* dish, Pointing start, uint64_t msSinceTuning);

// The LNB that DiSEqC value reaches, or -1. A value the switch cannot take
// counts as no command, 0.
int LnbOfPort(const DishScenario* dish, uint32_t diseqc);
