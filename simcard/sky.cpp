// A transponder file's entries as the program reads them: the entry scan of
// the satellite list, then the transponder box's own parser. An entry the
// program would reject is nothing it can ever tune, so it is left out.
#include "simcard/sky.h"
#include "tuner/transponder_text.h"
#include <cstring>

// The program finds the first of these letters and takes its meaning; the
// sky needs to know too whether it was a circular one.
static bool CircularLetter(const char* entry) {
    const char* letter = strpbrk(entry, "HhVvLlRr");
    return letter && strchr("LlRr", *letter) != nullptr;
}

bool AddSkySatellite(Sky* sky, uint32_t key, const char* data, size_t size) {
    if (sky->satelliteCount >= SATELLITE_FILES_MAX) return false;
    SkySatellite* satellite = &sky->satellites[sky->satelliteCount];
    memset(satellite, 0, sizeof *satellite);
    satellite->key = key;
    satellite->first = sky->transponderCount;
    ParseSatelliteName(data, size, satellite->name, sizeof satellite->name);
    TransponderEntryScan scan;
    StartTransponderEntryScan(data, size, &scan);
    char entry[TRANSPONDER_ENTRY_SIZE];
    while (NextTransponderEntry(&scan, entry, sizeof entry)) {
        TransponderValues values = {};
        if (ParseTransponderText(entry, &values) != 0) continue;
        if (sky->transponderCount >= SKY_TRANSPONDERS_MAX) break;
        sky->transponders[sky->transponderCount++] = SkyTransponder{
            values.frequency, values.symbolRate, uint8_t(values.polarization), uint8_t(CircularLetter(entry))};
    }
    satellite->count = sky->transponderCount - satellite->first;
    ++sky->satelliteCount;
    return true;
}

int FindSkySatellite(const Sky* sky, uint32_t key) {
    for (uint32_t i = 0; i < sky->satelliteCount; ++i)
        if (sky->satellites[i].key == key) return int(i);
    return -1;
}
