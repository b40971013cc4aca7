// Which satellite the dish is on, from the stream itself: the tuner sends
// the PAT, NIT and SDT (pids=0,16,17); the session thread reads them here
// into the bridge's watch, which tells the user what they say against the
// satellite chosen in the program and the lists beside it.
#include "satip/satip.h"

void ReadStreamTables(Bridge* bridge, const uint8_t* rtp, size_t length, const SatipTune* tune, uint32_t tunedAt) {
    SatelliteWatch* watch = &bridge->watch;
    bool locked = StatusLock(bridge->status.load());
    uint32_t now = DriverNow();
    if (tunedAt != watch->tune) {
        TunedTransponder transponder = {tune->frequencyKhz, tune->polarization, tune->symbolRate};
        WatchTune(watch, tunedAt, &transponder, bridge->chosenKey.load());
    }
    WatchLock(watch, locked, now);
    size_t offset, payload;
    if (rtp && locked && RtpPayload(rtp, length, &offset, &payload))
        ReadTsPackets(&watch->tables, rtp + offset, payload);
    if (!rtp) WatchJudge(watch, now);  // what the tables say is told once a pass, after its packets
}
