#pragma once
// Inside the simulated card: what its files share. The COM interfaces are used
// in their C form (an explicit lpVtbl), the same way the tuner interface is
// written, so every object here is a plain struct with a table of functions.
#include <cstdint>
#include "driver/driver_files.h"
#include "driver/driver_server.h"
#include "simcard/dish_link.h"
#include "simcard/dish_signal.h"
#include "simcard/scenario.h"

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
