// The practice dish's transport stream: see ts_feed.h.
#include "simcard/dishserver/ts_feed.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "simcard/sky_folder.h"
#include "simcard/sky_stream.h"

constexpr uint32_t NIT_EVERY_MS = 500;
constexpr uint32_t SAME_TRANSPONDER_KHZ = 2000;
constexpr uint16_t NULL_PID = 0x1FFF;
constexpr size_t FEED_PACKETS_MAX = 48;  // TS packets one report may send
constexpr size_t RTP_TS_PACKETS = 7;     // TS packets in one RTP packet: 1316 bytes
constexpr uint8_t STREAM_ID = 1;         // the SSRC's last byte: the server's one stream

struct Feed {
    TableSwitches switches = {false, false, false, false, false, -1};
    const Sky* sky;
    uint32_t nitSlot = UINT32_MAX;
    uint8_t counters[STREAM_TABLES];
};

static Feed TheFeed;

bool ReadFeedOption(const char* word) {
    if (strncmp(word, "/tables=", 8) != 0) return false;
    ParseTableSwitches(word + 8, &TheFeed.switches);
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

// The satellite the tables speak of, or -1: the beam's, or without a dish the
// one whose list holds the nearest transponder (the lower position of two as
// near), whatever order the folder gave the files in.
static int CarrierSatellite(const SatipTune* tune, int32_t beamKey) {
    const Sky* sky = TheFeed.sky;
    if (!sky) return -1;
    if (beamKey >= 0) return FindSkySatellite(sky, uint32_t(beamKey));
    bool vertical = tune->polarization == 'v' || tune->polarization == 'r';
    int best = -1;
    uint32_t bestApart = SAME_TRANSPONDER_KHZ + 1;
    for (uint32_t s = 0; s < sky->satelliteCount; ++s) {
        const SkySatellite* sat = &sky->satellites[s];
        for (uint32_t t = sat->first; t < sat->first + sat->count; ++t) {
            const SkyTransponder* tp = &sky->transponders[t];
            uint32_t apart = tp->frequency > tune->frequencyKhz ? tp->frequency - tune->frequencyKhz
                                                                : tune->frequencyKhz - tp->frequency;
            if ((tp->polarization != 0) != vertical || apart > bestApart) continue;
            if (apart < bestApart || sat->key < sky->satellites[best].key) best = int(s), bestApart = apart;
        }
    }
    return best;
}

static size_t NullPacket(uint8_t* p) {
    memset(p, 0xFF, TS_PACKET_SIZE);
    p[0] = 0x47, p[1] = NULL_PID >> 8, p[2] = NULL_PID & 0xFF, p[3] = 0x10;
    return TS_PACKET_SIZE;
}

static size_t FeedPackets(uint32_t now, const SatipTune* tune, bool locked, int32_t beamKey, uint8_t* out,
                          size_t size) {
    if (!locked) return 0;
    // The NIT on its own 500 ms cycle, as a multiplexer sends it: a lock
    // falls anywhere in it, so the first NIT comes 0 to 500 ms after.
    unsigned tables = STREAM_PAT | STREAM_SDT;
    if (TheFeed.nitSlot == UINT32_MAX) TheFeed.nitSlot = now / NIT_EVERY_MS;
    if (now / NIT_EVERY_MS != TheFeed.nitSlot) {
        TheFeed.nitSlot = now / NIT_EVERY_MS;
        tables |= STREAM_NIT;
    }
    StreamTune carried = {tune->frequencyKhz, tune->polarization, tune->symbolRate, tune->system == SATIP_DVBS2};
    size_t used = SkyStreamPackets(TheFeed.sky, CarrierSatellite(tune, beamKey), &carried, &TheFeed.switches, tables,
                                   TheFeed.counters, out, size);
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
