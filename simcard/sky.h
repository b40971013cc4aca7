#pragma once
// The sky of the virtual dish: one geostationary satellite per transponder
// file, carrying the file's transponders. The files are read with the
// program's own rules, so the dish hears exactly what the program can tune.
#include <cstddef>
#include <cstdint>
#include "transponders/transponder_files.h"

constexpr uint32_t SKY_TRANSPONDERS_MAX = 16384;
constexpr size_t SKY_NAME_SIZE = 40;

struct SkyTransponder {
    uint32_t frequency;    // kHz
    uint32_t symbolRate;   // ks/s
    uint8_t polarization;  // 0 horizontal or left, 1 vertical or right, as the card is told
    uint8_t circular;      // L or R: no skew to get right
};

struct SkySatellite {
    uint32_t key;           // tenths of a degree eastwards
    uint32_t first, count;  // its transponders in Sky::transponders
    char name[SKY_NAME_SIZE];
};

struct Sky {
    SkySatellite satellites[SATELLITE_FILES_MAX];
    uint32_t satelliteCount;
    SkyTransponder transponders[SKY_TRANSPONDERS_MAX];
    uint32_t transponderCount;
};

// Adds the satellite of one file's bytes: every entry the program could tune
// becomes a transponder. False when the sky is full.
bool AddSkySatellite(Sky* sky, uint32_t key, const char* data, size_t size);

// The satellite at a position key, or -1.
int FindSkySatellite(const Sky* sky, uint32_t key);
