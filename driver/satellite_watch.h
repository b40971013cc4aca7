#pragma once
// Which satellite the dish is on, told the same way by both drivers: the
// bridge reads a real stream's tables, the simulated card its virtual
// satellite's, into a watch's TsTables; the watch identifies them, holds that
// against the satellite chosen in the program and the lists beside it, and
// tells the user: a line of the driver's log for each identification and
// each change, the phone page's satellite, and on a confirmed wrong
// satellite a box, once per tune. A lock on a neighbour that carries a
// transponder close to the typed one is the most common way to tighten the
// bolts on the wrong satellite. Never waits.
#include "driver/satellite_verdict.h"

struct SatelliteWatch {
    TsTables tables;  // the driver reads into these while locked
    uint32_t tune;    // the driver's stamp of the tune followed
    TunedTransponder transponder;
    int32_t chosenKey;  // NOT_CHOSEN: judged against every list
    uint32_t lockedAt;
    bool locked, warned, listsRead;
    ListedPositions listed;  // where the lists hold the tuned transponder
    TsIdentity logged;       // the last identification the log has
    TsIdentity current;      // what the tables say now: NONE unless locked
};

// A new tune: everything forgotten, the tables and what was said.
void WatchTune(SatelliteWatch* watch, uint32_t tune, const TunedTransponder* transponder, int32_t chosenKey);
// The lock as the driver sees it at now: the lock's time starts at its
// rise, and a lost lock starts the tables over (what the log has said stands).
void WatchLock(SatelliteWatch* watch, bool locked, uint32_t now);
// What the tables say at now, told when it changed. The lists are read at
// the first identification of a tune.
void WatchJudge(SatelliteWatch* watch, uint32_t now);
