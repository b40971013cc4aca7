// The simulated card's stream: see CardStream in simcard.h. The card has no
// transport stream of its own; after a lock it writes the tables the heard
// satellite sends, when a multiplexer would send them, and reads them back
// with the readers the bridge uses on a real stream, so a fault in the
// readers shows in the practice too.
#include "simcard/simcard.h"

// The multiplexer's cycles: a lock falls anywhere in them, so the PAT and
// the SDT come 0 to 0.5 s after it, the NIT 0 to 2 s.
constexpr uint32_t PAT_SDT_EVERY_MS = 500, NIT_EVERY_MS = 2000;
constexpr size_t PACKETS_MAX = 48;  // the three tables, cut into 20-byte pieces at worst

void FollowCardStream(CardStream* stream, DishCard* dish, const DishScenario* scenario, const CardTuning* tuning,
                      uint32_t tune, int32_t chosenKey, bool locked) {
    SatelliteWatch* watch = &stream->watch;
    uint32_t now = DriverNow();
    char polarization = tuning->polarization ? 'v' : 'h';
    if (tune != watch->tune) {
        TunedTransponder transponder = {tuning->frequency, polarization, tuning->symbolRate};
        WatchTune(watch, tune, &transponder, chosenKey);
    }
    // Another satellite's carrier is another stream: its tables start anew.
    if (dish->heardKey != stream->satelliteKey) WatchLock(watch, false, now);
    stream->satelliteKey = dish->heardKey;
    if (locked && !watch->locked) stream->cycles[0] = now / PAT_SDT_EVERY_MS, stream->cycles[1] = now / NIT_EVERY_MS;
    WatchLock(watch, locked, now);
    unsigned tables = 0;
    if (locked && now / PAT_SDT_EVERY_MS != stream->cycles[0]) tables |= STREAM_PAT | STREAM_SDT;
    if (locked && now / NIT_EVERY_MS != stream->cycles[1]) tables |= STREAM_NIT;
    if (tables) {
        stream->cycles[0] = now / PAT_SDT_EVERY_MS, stream->cycles[1] = now / NIT_EVERY_MS;
        int satellite =
            dish->sky && stream->satelliteKey >= 0 ? FindSkySatellite(dish->sky, uint32_t(stream->satelliteKey)) : -1;
        StreamTune carried = {tuning->frequency, polarization, tuning->symbolRate, false};
        uint8_t packets[PACKETS_MAX * TS_PACKET_SIZE];
        size_t length = SkyStreamPackets(dish->sky, satellite, &carried, &scenario->tables, tables, stream->counters,
                                         packets, sizeof packets);
        ReadTsPackets(&watch->tables, packets, length);
    }
    WatchJudge(watch, now);
    if (dish->link) PublishIdentity(dish->link, watch->current.state, watch->current.positionKey);
}
