// Sections and packets as a multiplexer builds them. See ts_writer.h.
#include "driver/ts_writer.h"
#include <cstring>

struct Writer {
    uint8_t* out;
    size_t size, used;
    bool full;
};

static void Put(Writer* w, const void* data, size_t length) {
    if (w->used + length > w->size) {
        w->full = true;
        return;
    }
    memcpy(w->out + w->used, data, length);
    w->used += length;
}
static void Put8(Writer* w, uint32_t v) {
    uint8_t b = uint8_t(v);
    Put(w, &b, 1);
}
static void Put16(Writer* w, uint32_t v) {
    Put8(w, v >> 8);
    Put8(w, v);
}
// A 12-bit length with its four reserved bits set, filled in later.
static size_t Mark(Writer* w) {
    size_t at = w->used;
    Put16(w, 0xF000);
    return at;
}
static void Fill(Writer* w, size_t at) {
    size_t length = w->used - at - 2;
    if (w->full || length > 0x0FFF) return;
    w->out[at] = uint8_t(0xF0 | length >> 8);
    w->out[at + 1] = uint8_t(length);
}

// A name: the UTF-8 character-set byte first when it is not plain ASCII.
static void PutName(Writer* w, const char* name) {
    size_t length = strlen(name ? name : "");
    bool ascii = true;
    for (size_t i = 0; i < length; ++i) ascii = ascii && uint8_t(name[i]) < 0x80;
    if (length > 200) length = 200;
    Put8(w, length + !ascii);
    if (!ascii) Put8(w, 0x15);
    Put(w, name, length);
}

static void Begin(Writer* w, uint8_t table, uint16_t extension, uint8_t version) {
    Put8(w, table);
    Put16(w, 0xB000);  // section_syntax_indicator, reserved; the length comes at the end
    Put16(w, extension);
    Put8(w, 0xC1 | (version & 0x1F) << 1);  // current
    Put8(w, 0);
    Put8(w, 0);
}

static size_t End(Writer* w) {
    size_t length = w->used + TS_CRC_SIZE - 3;
    if (w->full || w->used + TS_CRC_SIZE > w->size || length > TS_SECTION_MAX - 3) return 0;
    w->out[1] = uint8_t(0xB0 | length >> 8);
    w->out[2] = uint8_t(length);
    uint32_t crc = TsCrc32(w->out, w->used);
    Put16(w, crc >> 16);
    Put16(w, crc);
    return w->used;
}

size_t BuildPatSection(const TsNetworkContent* c, uint8_t* out, size_t size) {
    Writer w = {out, size, 0, false};
    Begin(&w, TS_TABLE_PAT, c->tsid, c->version);
    Put16(&w, 0);  // program 0: the network PID
    Put16(&w, 0xE000 | TS_PID_NIT);
    return End(&w);
}

static void PutBcd(Writer* w, uint32_t value, size_t digits) {
    uint8_t bytes[4] = {};
    for (size_t d = digits; d-- > 0; value /= 10) {
        uint8_t nibble = uint8_t(value % 10);
        bytes[d / 2] |= d % 2 ? nibble : uint8_t(nibble << 4);
    }
    Put(w, bytes, (digits + 1) / 2);
}

size_t BuildNitSection(const TsNetworkContent* c, uint8_t* out, size_t size) {
    Writer w = {out, size, 0, false};
    Begin(&w, TS_TABLE_NIT_ACTUAL, c->networkId, c->version);
    size_t descriptors = Mark(&w);
    if (c->network) {
        Put8(&w, TS_NETWORK_NAME_DESCRIPTOR);
        PutName(&w, c->network);
    }
    Fill(&w, descriptors);
    size_t loop = Mark(&w);
    for (uint32_t i = 0; i < c->streamCount && i < TS_WRITER_STREAMS_MAX; ++i) {
        const TsStream* s = &c->streams[i];
        Put16(&w, s->tsid);
        Put16(&w, s->onid);
        size_t streamDescriptors = Mark(&w);
        if (s->hasDelivery) {
            const TsDelivery* d = &s->delivery;
            Put8(&w, TS_SATELLITE_DELIVERY_DESCRIPTOR);
            Put8(&w, 11);
            PutBcd(&w, d->frequencyKhz / 10, 8);
            PutBcd(&w, d->orbitalTenths, 4);
            const char* pol = strchr("hvlr", d->polarization ? d->polarization : 'h');
            uint32_t polarization = pol ? uint32_t(pol - "hvlr") : 0;
            Put8(&w, (d->east ? 0x80 : 0) | polarization << 5 | (d->s2 ? 0x04 | 0x02 : 0x01));  // 8PSK or QPSK
            uint8_t rate[4] = {};
            Writer r = {rate, sizeof rate, 0, false};
            PutBcd(&r, d->symbolRate * 10 * 10 + 3, 8);  // seven digits and FEC_inner 3/4 in the last nibble
            Put(&w, rate, sizeof rate);
        }
        Fill(&w, streamDescriptors);
    }
    Fill(&w, loop);
    return End(&w);
}

size_t BuildSdtSection(const TsNetworkContent* c, uint8_t* out, size_t size) {
    Writer w = {out, size, 0, false};
    Begin(&w, TS_TABLE_SDT_ACTUAL, c->tsid, c->version);
    Put16(&w, c->onid);
    Put8(&w, 0xFF);
    for (uint32_t i = 0; i < c->serviceCount && i < TS_SERVICES_MAX; ++i) {
        Put16(&w, 0x1000 + i);  // service_id
        Put8(&w, 0xFC);         // no EIT
        size_t descriptors = w.used;
        Put16(&w, 0x8000);  // running, free to air; the length comes next
        Put8(&w, TS_SERVICE_DESCRIPTOR);
        size_t descriptor = w.used;
        Put8(&w, 0);
        Put8(&w, 0x01);  // digital television
        PutName(&w, c->provider);
        PutName(&w, c->services[i]);
        if (w.full) return 0;
        w.out[descriptor] = uint8_t(w.used - descriptor - 1);
        size_t length = w.used - descriptors - 2;
        w.out[descriptors] = uint8_t(0x80 | length >> 8);
        w.out[descriptors + 1] = uint8_t(length);
    }
    return End(&w);
}

size_t PacketizeSection(uint16_t pid, uint8_t* counter, const uint8_t* section, size_t length, size_t chunk,
                        uint8_t* out, size_t size) {
    size_t used = 0, at = 0;
    if (chunk == 0 || chunk > TS_PACKET_SIZE - 5) chunk = TS_PACKET_SIZE - 5;  // the pointer_field takes one
    while (at < length) {
        if (used + TS_PACKET_SIZE > size) return 0;
        uint8_t* p = out + used;
        bool first = at == 0;
        size_t take = length - at < chunk ? length - at : chunk;
        size_t payload = take + first;
        size_t room = TS_PACKET_SIZE - 4;
        // Stuffing in an adaptation field while more of the section follows;
        // after its end, 0xFF fills the payload.
        size_t stuffing = at + take < length ? room - payload : 0;
        p[0] = TS_SYNC_BYTE;
        p[1] = uint8_t((first ? 0x40 : 0) | pid >> 8);
        p[2] = uint8_t(pid);
        p[3] = uint8_t((stuffing ? 0x30 : 0x10) | (*counter & 0x0F));
        *counter = uint8_t((*counter + 1) & 0x0F);
        size_t q = 4;
        if (stuffing) {
            p[q++] = uint8_t(stuffing - 1);
            if (stuffing > 1) p[q++] = 0;  // no flags
            memset(p + q, 0xFF, stuffing > 2 ? stuffing - 2 : 0);
            q = 4 + stuffing;
        }
        if (first) p[q++] = 0;  // pointer_field: the section starts right here
        memcpy(p + q, section + at, take);
        q += take;
        memset(p + q, 0xFF, TS_PACKET_SIZE - q);
        at += take;
        used += TS_PACKET_SIZE;
    }
    return used;
}
