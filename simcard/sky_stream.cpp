// The virtual satellites' tables. See sky_stream.h.
#include "simcard/sky_stream.h"
#include <cstdio>
#include <cstring>

constexpr size_t SPLIT_CHUNK = 20;

static const char* NameAt(const Sky* sky, uint32_t key, const char* otherwise) {
    int s = sky ? FindSkySatellite(sky, key) : -1;
    return s >= 0 && sky->satellites[s].name[0] ? sky->satellites[s].name : otherwise;
}

// One section as packets of its PID, its CRC broken when asked.
static size_t Put(size_t (*build)(const TsNetworkContent*, uint8_t*, size_t), const TsNetworkContent* content,
                  uint16_t pid, const TableSwitches* switches, uint8_t* counter, uint8_t* out, size_t size) {
    uint8_t section[TS_SECTION_MAX];
    size_t length = build(content, section, sizeof section);
    if (!length) return 0;
    if (switches->badCrc) section[length - 1] ^= 0x5A;
    return PacketizeSection(pid, counter, section, length, switches->split ? SPLIT_CHUNK : 0, out, size);
}

size_t SkyStreamPackets(const Sky* sky, int satellite, const StreamTune* tune, const TableSwitches* switches,
                        unsigned tables, uint8_t counters[STREAM_TABLES], uint8_t* out, size_t size) {
    if (switches->none) return 0;
    if (switches->noNit) tables &= ~unsigned(STREAM_NIT);
    uint32_t key = satellite >= 0 ? sky->satellites[satellite].key : 0;
    uint32_t named = switches->relayKey >= 0 ? uint32_t(switches->relayKey) : key;
    char network[SKY_NAME_SIZE + 16], services[TS_SERVICES_MAX][48];
    const char* kinds[TS_SERVICES_MAX] = {"Test card", "Radio", "Dish info"};
    snprintf(network, sizeof network, "%s", NameAt(sky, named, "Orvalis virtual dish"));
    TsNetworkContent c = {};
    c.tsid = uint16_t(tune->frequencyKhz / 1000);
    c.onid = c.networkId = uint16_t(0x0100 + key);
    c.version = 1;
    c.network = network;
    c.streamCount = 1;
    c.streams[0] = {c.tsid, c.onid, satellite >= 0 && !switches->no43, {}};
    bool east = named <= EAST_KEY_MAX;
    c.streams[0].delivery = {tune->frequencyKhz / 10 * 10,
                             uint16_t(east ? named : POSITION_KEY_COUNT - named),
                             east,
                             tune->polarization,
                             tune->s2,
                             tune->symbolRate};
    c.provider = NameAt(sky, key, "Orvalis");
    char pol = tune->polarization >= 'a' ? char(tune->polarization - 'a' + 'A') : tune->polarization;
    for (uint32_t i = 0; i < TS_SERVICES_MAX; ++i) {
        snprintf(services[i], sizeof services[i], "%s %lu %c", kinds[i], (unsigned long)(tune->frequencyKhz / 1000),
                 pol);
        c.services[i] = services[i];
    }
    c.serviceCount = TS_SERVICES_MAX;
    size_t used = 0;
    if (tables & STREAM_PAT)
        used += Put(BuildPatSection, &c, TS_PID_PAT, switches, &counters[0], out + used, size - used);
    if (tables & STREAM_NIT)
        used += Put(BuildNitSection, &c, TS_PID_NIT, switches, &counters[1], out + used, size - used);
    if (tables & STREAM_SDT)
        used += Put(BuildSdtSection, &c, TS_PID_SDT, switches, &counters[2], out + used, size - used);
    return used;
}
