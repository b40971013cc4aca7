#pragma once
// Which satellite the stream's own tables name: the identification from
// the PAT, NIT and SDT read so far, and the log's sentence for it.
#include "driver/ts_tables.h"

enum TsIdentityState : uint8_t { IDENTITY_NONE, IDENTITY_CONFIRMED, IDENTITY_TENTATIVE, IDENTITY_NO_POSITION };

struct TsIdentity {
    TsIdentityState state;
    uint32_t positionKey;  // the lists' key: tenths of a degree east, above 1800 west
    char position[8];      // "19.2e", "0.8w"
    char network[TS_NAME_MAX];
    char services[TS_SERVICES_MAX][TS_NAME_MAX];
    uint32_t serviceCount;
};

// What the tables say msSinceLock after the stream came: confirmed when the
// NIT's entry for the PAT's tsid has the SDT's original_network_id and a
// position, tentative when only the tsid matches (or no SDT came within
// TS_NO_POSITION_MS), no position when the NIT gave none by then; NONE
// while it is too early to say. The network is the NIT's name, or the SDT's
// provider without one.
void IdentifyTables(const TsTables* tables, uint32_t msSinceLock, TsIdentity* identity);
bool SameIdentity(const TsIdentity* a, const TsIdentity* b);

// "Satellite 19.2e confirmed, network "ASTRA", services "Das Erste", "ZDF"".
size_t FormatIdentity(const TsIdentity* identity, char* out, size_t size);
