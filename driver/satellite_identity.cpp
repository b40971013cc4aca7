// What the tables say of the satellite. See satellite_identity.h.
#include "driver/satellite_identity.h"
#include <cstdio>
#include <cstring>
#include "transponders/transponder_files.h"

static const TsStream* StreamOf(const TsTables* t) {
    for (uint32_t i = 0; i < t->streamCount; ++i)
        if (t->streams[i].tsid == t->tsid) return &t->streams[i];
    return nullptr;
}

void IdentifyTables(const TsTables* t, uint32_t msSinceLock, TsIdentity* identity) {
    memset(identity, 0, sizeof *identity);
    bool late = msSinceLock >= TS_NO_POSITION_MS;
    const TsStream* stream = t->pat.complete && t->nit.complete ? StreamOf(t) : nullptr;
    if (stream && stream->hasDelivery) {
        if (t->sdt.complete && t->sdt.extension == t->tsid && stream->onid == t->onid)
            identity->state = IDENTITY_CONFIRMED;
        else if (t->sdt.complete || late)
            identity->state = IDENTITY_TENTATIVE;
        else
            return;  // the SDT may still confirm it
        const TsDelivery* d = &stream->delivery;
        uint32_t tenths = d->orbitalTenths % POSITION_KEY_COUNT;
        identity->positionKey = d->east || tenths == 0 ? tenths : POSITION_KEY_COUNT - tenths;
        char text[16];
        FormatPositionText(identity->positionKey, text, sizeof text);
        const char* trimmed = text + strspn(text, " ");
        snprintf(identity->position, sizeof identity->position, "%s", trimmed);
    } else if (late) {
        identity->state = IDENTITY_NO_POSITION;
    } else {
        return;
    }
    const char* network = t->nit.complete && t->network[0] ? t->network : t->sdt.complete ? t->provider : "";
    snprintf(identity->network, sizeof identity->network, "%s", network);
    if (t->sdt.complete) {
        identity->serviceCount = t->serviceCount;
        memcpy(identity->services, t->services, sizeof identity->services);
    }
}

bool SameIdentity(const TsIdentity* a, const TsIdentity* b) { return memcmp(a, b, sizeof *a) == 0; }

size_t FormatIdentity(const TsIdentity* identity, char* out, size_t size) {
    static const char* const STATE[] = {"", "confirmed", "tentative", ""};
    int used = identity->state == IDENTITY_NO_POSITION
                   ? snprintf(out, size, "Satellite unknown: no position in the stream's tables")
                   : snprintf(out, size, "Satellite %s %s", identity->position, STATE[identity->state]);
    if (used > 0 && size_t(used) < size && identity->network[0])
        used += snprintf(out + used, size - used, ", network \"%s\"", identity->network);
    for (uint32_t i = 0; i < identity->serviceCount && used > 0 && size_t(used) < size; ++i)
        used += snprintf(out + used, size - used, "%s\"%s\"", i ? ", " : ", services ", identity->services[i]);
    return used < 0 ? 0 : size_t(used) < size ? size_t(used) : size - 1;
}
