#pragma once
// What dishserver's RTP carries: a transport stream with the PAT, NIT and SDT
// of the satellite the virtual dish's beam falls on (ISO/IEC 13818-1,
// ETSI EN 300 468), padded with null packets, so a client can tell which
// satellite it receives. Switches break it on purpose for the tests.
#include <winsock2.h>
#include <cstddef>
#include <cstdint>
#include "driver/satip_protocol.h"
#include "simcard/sky.h"

// "/tables=none|nonit|no43|relay=<position>|badcrc|split": the words of
// the [dish] section's tables= (ParseTableSwitches in dish_scenario.h).
// False for any other option.
bool ReadFeedOption(const char* word);

// The sky whose names and transponders the feed uses: the dish's, or (without
// a dish) the lists beside the exe, which it reads itself.
void StartFeed(const Sky* dishSky);

// The RTP packets due at now (a report every 100 ms), to the client: PAT and
// SDT each time, the NIT every 500 ms, null packets to a whole RTP packet of
// seven. beamKey is the satellite the beam falls on, -1 when there is no
// dish: then the first whose list holds the tuned transponder. Without a
// lock one null packet, a sign of life.
void SendFeed(SOCKET media, const sockaddr_in* to, uint16_t* sequence, uint32_t now, const SatipTune* tune, bool locked,
              int32_t beamKey);
