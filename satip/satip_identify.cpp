// Which satellite the dish is on, from the stream itself: the tuner sends
// the PAT, NIT and SDT (pids=0,16,17); the session thread reads them here
// into the bridge's watch, which tells the user what they say against the
// satellite chosen in the program and the lists beside it.
#include "satip/satip.h"

constexpr int PACKETS_PER_CALL = 256;  // the socket is drained, within bounds
constexpr size_t RTP_PACKET_MAX = 2048;

// The RTP that has come, into the tables while locked. True when any came.
static bool ReadRtp(SatelliteWatch* watch, SOCKET rtp, bool locked) {
    uint8_t packet[RTP_PACKET_MAX];
    bool data = false;
    for (int i = 0; i < PACKETS_PER_CALL; ++i) {
        int got = recv(rtp, reinterpret_cast<char*>(packet), sizeof packet, 0);
        if (got <= 0) break;
        data = true;
        size_t offset, length;
        if (locked && RtpPayload(packet, size_t(got), &offset, &length))
            ReadTsPackets(&watch->tables, packet + offset, length);
    }
    return data;
}

bool ReadStreamTables(Bridge* bridge, SOCKET rtp, const SatipTune* tune, uint32_t tunedAt) {
    SatelliteWatch* watch = &bridge->watch;
    bool locked = StatusLock(bridge->status.load());
    uint32_t now = DriverNow();
    if (tunedAt != watch->tune) {
        TunedTransponder transponder = {tune->frequencyKhz, tune->polarization, tune->symbolRate};
        WatchTune(watch, tunedAt, &transponder, bridge->chosenKey.load());
    }
    WatchLock(watch, locked, now);
    bool data = ReadRtp(watch, rtp, locked);
    WatchJudge(watch, now);
    return data;
}
