// The practice dish's transport stream: see ts_feed.h.
#include "simcard/dishserver/ts_feed.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "driver/ts_writer.h"
#include "simcard/sky_folder.h"

constexpr uint32_t NIT_EVERY_MS = 500;
constexpr size_t SPLIT_CHUNK = 20;
constexpr uint32_t SAME_TRANSPONDER_KHZ = 2000;
constexpr uint16_t NULL_PID = 0x1FFF;
constexpr size_t FEED_PACKETS_MAX = 48;  // TS packets one report may send
constexpr size_t RTP_TS_PACKETS = 7;     // TS packets in one RTP packet: 1316 bytes
constexpr uint8_t STREAM_ID = 1;         // the SSRC's last byte: the server's one stream

struct Feed {
    bool none, noNit, no43, badCrc, split;
    int32_t relayKey = -1;
    const Sky* sky;
    uint32_t nitSlot = UINT32_MAX;
    uint8_t counters[3];
};

static Feed TheFeed;

bool ReadFeedOption(const char* word) {
    if (strncmp(word, "/tables=", 8) != 0) return false;
    for (const char* w = word + 8; *w; w += strcspn(w, "|"), w += *w == '|') {
        size_t n = strcspn(w, "|");
        if (n == 4 && strncmp(w, "none", 4) == 0) TheFeed.none = true;
        if (n == 5 && strncmp(w, "nonit", 5) == 0) TheFeed.noNit = true;
        if (n == 4 && strncmp(w, "no43", 4) == 0) TheFeed.no43 = true;
        if (n == 6 && strncmp(w, "badcrc", 6) == 0) TheFeed.badCrc = true;
        if (n == 5 && strncmp(w, "split", 5) == 0) TheFeed.split = true;
        if (strncmp(w, "relay=", 6) == 0) TheFeed.relayKey = atoi(w + 6) % int32_t(POSITION_KEY_COUNT);
    }
    return true;
}

void StartFeed(const Sky* dishSky) {
    TheFeed.sky = dishSky;
    if (dishSky) return;
    Sky* sky = static_cast<Sky*>(calloc(1, sizeof(Sky)));
    char folder[260];
    if (sky) LoadSkyFolder("", sky, folder, sizeof folder);
    TheFeed.sky = sky;  // kept for the process's life
}

// The satellite the tables speak of, or -1.
static int CarrierSatellite(const SatipTune* tune, int32_t beamKey) {
    const Sky* sky = TheFeed.sky;
    if (!sky) return -1;
    if (beamKey >= 0) return FindSkySatellite(sky, uint32_t(beamKey));
    bool vertical = tune->polarization == 'v' || tune->polarization == 'r';
    for (uint32_t s = 0; s < sky->satelliteCount; ++s) {
        const SkySatellite* sat = &sky->satellites[s];
        for (uint32_t t = sat->first; t < sat->first + sat->count; ++t) {
            const SkyTransponder* tp = &sky->transponders[t];
            uint32_t apart = tp->frequency > tune->frequencyKhz ? tp->frequency - tune->frequencyKhz
                                                                : tune->frequencyKhz - tp->frequency;
            if (apart <= SAME_TRANSPONDER_KHZ && (tp->polarization != 0) == vertical) return int(s);
        }
    }
    return -1;
}

static const char* NameAt(uint32_t key, const char* otherwise) {
    int s = TheFeed.sky ? FindSkySatellite(TheFeed.sky, key) : -1;
    return s >= 0 && TheFeed.sky->satellites[s].name[0] ? TheFeed.sky->satellites[s].name : otherwise;
}

static size_t NullPacket(uint8_t* p) {
    memset(p, 0xFF, TS_PACKET_SIZE);
    p[0] = 0x47, p[1] = NULL_PID >> 8, p[2] = NULL_PID & 0xFF, p[3] = 0x10;
    return TS_PACKET_SIZE;
}

// One section as packets of its PID, its CRC broken when asked.
static size_t Put(size_t (*build)(const TsNetworkContent*, uint8_t*, size_t), const TsNetworkContent* content,
                  uint16_t pid, uint8_t* counter, uint8_t* out, size_t size) {
    uint8_t section[TS_SECTION_MAX];
    size_t length = build(content, section, sizeof section);
    if (!length) return 0;
    if (TheFeed.badCrc) section[length - 1] ^= 0x5A;
    return PacketizeSection(pid, counter, section, length, TheFeed.split ? SPLIT_CHUNK : 0, out, size);
}

static size_t FeedPackets(uint32_t now, const SatipTune* tune, bool locked, int32_t beamKey, uint8_t* out,
                          size_t size) {
    if (!locked || TheFeed.none) return 0;
    int satellite = CarrierSatellite(tune, beamKey);
    uint32_t key = satellite >= 0 ? TheFeed.sky->satellites[satellite].key : 0;
    uint32_t named = TheFeed.relayKey >= 0 ? uint32_t(TheFeed.relayKey) : key;
    char network[SKY_NAME_SIZE + 16], services[TS_SERVICES_MAX][48];
    const char* kinds[TS_SERVICES_MAX] = {"Test card", "Radio", "Dish info"};
    snprintf(network, sizeof network, "%s", NameAt(named, "Orvalis virtual dish"));
    TsNetworkContent c = {};
    c.tsid = uint16_t(tune->frequencyKhz / 1000);
    c.onid = c.networkId = uint16_t(0x0100 + key);
    c.version = 1;
    c.network = network;
    c.streamCount = 1;
    c.streams[0] = {c.tsid, c.onid, satellite >= 0 && !TheFeed.no43, {}};
    bool east = named <= EAST_KEY_MAX;
    c.streams[0].delivery = {tune->frequencyKhz / 10 * 10,
                             uint16_t(east ? named : POSITION_KEY_COUNT - named),
                             east,
                             tune->polarization,
                             tune->system == SATIP_DVBS2,
                             tune->symbolRate};
    c.provider = NameAt(key, "Orvalis");
    for (uint32_t i = 0; i < TS_SERVICES_MAX; ++i) {
        snprintf(services[i], sizeof services[i], "%s %lu %c", kinds[i], (unsigned long)(tune->frequencyKhz / 1000),
                 tune->polarization - 'a' + 'A');
        c.services[i] = services[i];
    }
    c.serviceCount = TS_SERVICES_MAX;
    size_t used = Put(BuildPatSection, &c, TS_PID_PAT, &TheFeed.counters[0], out, size);
    // The NIT on its own 500 ms cycle, as a multiplexer sends it: a lock
    // falls anywhere in it, so the first NIT comes 0 to 500 ms after.
    if (TheFeed.nitSlot == UINT32_MAX) TheFeed.nitSlot = now / NIT_EVERY_MS;
    if (!TheFeed.noNit && now / NIT_EVERY_MS != TheFeed.nitSlot) {
        TheFeed.nitSlot = now / NIT_EVERY_MS;
        used += Put(BuildNitSection, &c, TS_PID_NIT, &TheFeed.counters[1], out + used, size - used);
    }
    used += Put(BuildSdtSection, &c, TS_PID_SDT, &TheFeed.counters[2], out + used, size - used);
    while ((used / TS_PACKET_SIZE) % RTP_TS_PACKETS && used + TS_PACKET_SIZE <= size) used += NullPacket(out + used);
    return used;
}

void SendFeed(SOCKET media, const sockaddr_in* to, uint16_t* sequence, uint32_t now, const SatipTune* tune, bool locked,
              int32_t beamKey) {
    static uint8_t stream[FEED_PACKETS_MAX * TS_PACKET_SIZE];
    size_t length = FeedPackets(now, tune, locked, beamKey, stream, sizeof stream);
    if (!length) length = NullPacket(stream);
    for (size_t at = 0; at < length; at += RTP_TS_PACKETS * TS_PACKET_SIZE) {
        uint8_t rtp[12 + RTP_TS_PACKETS * TS_PACKET_SIZE];
        size_t part = length - at < RTP_TS_PACKETS * TS_PACKET_SIZE ? length - at : RTP_TS_PACKETS * TS_PACKET_SIZE;
        uint16_t number = (*sequence)++;
        uint32_t stamp = now * 90;  // the 90 kHz clock of MPEG
        uint8_t header[12] = {0x80,
                              33,
                              uint8_t(number >> 8),
                              uint8_t(number),
                              uint8_t(stamp >> 24),
                              uint8_t(stamp >> 16),
                              uint8_t(stamp >> 8),
                              uint8_t(stamp),
                              0,
                              0,
                              0,
                              STREAM_ID};
        memcpy(rtp, header, sizeof header);
        memcpy(rtp + sizeof header, stream + at, part);
        sendto(media, reinterpret_cast<char*>(rtp), int(sizeof header + part), 0, reinterpret_cast<const sockaddr*>(to),
               sizeof *to);
    }
}
