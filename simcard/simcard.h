#pragma once
// Inside the simulated card: what its files share. The COM interfaces are used
// in their C form (an explicit lpVtbl), the same way the tuner interface is
// written, so every object here is a plain struct with a table of functions.
#include <cstdint>
#include "driver/driver_files.h"
#include "driver/driver_server.h"
#include "driver/satellite_watch.h"
#include "simcard/dish_link.h"
#include "simcard/dish_signal.h"
#include "simcard/scenario.h"
#include "simcard/sky_stream.h"

// With SIMCARD_PROBE_MS set: a "Probe" line with the process's memory,
// handles and GDI objects, at most once per that many ms.
void SimProbe(uint32_t ms);

// The virtual dish of a card whose scenario has a [dish] section.
struct DishCard {
    Sky* sky;        // its satellites, read once when the card is made
    Pointing start;  // right on the dish's own satellite: where no line says otherwise
    HANDLE mapping;  // the live pointing of dishsim.exe, once it has been found
    DishLink* link;
    int32_t heardKey;  // the satellite whose carrier the last signal was, -1 for none
};

// Reads the sky and logs a "Dish" line; the card works without a sky too,
// it then hears nothing.
void LoadDishCard(const DishScenario* dish, DishCard* card);
void FreeDishCard(DishCard* card);

// The signal the dish gives now; note gets the pointing and what was heard
// for the call log ("az=... el=... skew=... sat=... cn=... [live]").
SignalSample DishCardSignal(DishCard* card, const DishScenario* dish, const CardTuning* tuning, bool tuned,
                            uint64_t msSinceTuning, char* note, size_t noteSize);

// The tables of the satellite the dish hears, as a multiplexer sends them,
// read back through the bridge's readers into a watch that identifies them,
// judges them and tells the user (driver/satellite_watch.h): the practice
// says what a real stream would.
struct CardStream {
    SatelliteWatch watch;
    int32_t satelliteKey;  // whose tables are read: the satellite heard, -1 for none
    uint32_t cycles[2];    // the multiplexer's last cycle of the PAT and SDT, and of the NIT
    uint8_t counters[STREAM_TABLES];
};

// At each poll of the level: the tune's stamp and the satellite chosen at it,
// the lock, and the tables that have come since the last check. dishsim.exe
// learns what was identified.
void FollowCardStream(CardStream* stream, DishCard* dish, const DishScenario* scenario, const CardTuning* tuning,
                      uint32_t tune, int32_t chosenKey, bool locked);
