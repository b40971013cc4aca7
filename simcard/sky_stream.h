#pragma once
// The tables a satellite of the virtual sky sends with each transponder:
// the PAT, the NIT actual with its satellite delivery descriptor, and the
// SDT actual (ISO/IEC 13818-1, ETSI EN 300 468), named from the transponder
// lists and written with driver/ts_writer.h. dishserver.exe sends them in
// its RTP; the simulated card reads them back as the bridge reads a stream.
// The [dish] section's tables= (dish_scenario.h) breaks them on purpose.
// No platform code.
#include "driver/ts_writer.h"
#include "simcard/dish_scenario.h"
#include "simcard/sky.h"

struct StreamTune {
    uint32_t frequencyKhz;
    char polarization;  // 'h', 'v', 'l' or 'r'
    uint32_t symbolRate;
    bool s2;
};

enum StreamTable : uint8_t { STREAM_PAT = 1, STREAM_NIT = 2, STREAM_SDT = 4 };
constexpr uint32_t STREAM_TABLES = 3;  // PAT, NIT, SDT: one continuity counter each

// The tables asked for (StreamTable bits, in that order) of the satellite
// sky->satellites[satellite] (-1: none known, "Orvalis virtual dish") on the
// tune, as transport stream packets; counters run on, one per table.
// Returns the bytes written, 0 when the switches send none.
size_t SkyStreamPackets(const Sky* sky, int satellite, const StreamTune* tune, const TableSwitches* switches,
                        unsigned tables, uint8_t counters[STREAM_TABLES], uint8_t* out, size_t size);
