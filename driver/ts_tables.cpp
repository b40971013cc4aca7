// The transport stream's own tables: packets, sections, PAT, NIT, SDT, and
// what they say about the satellite. See ts_tables.h.
#include "driver/ts_tables.h"
#include <cstdio>
#include <cstring>
#include "transponders/transponder_files.h"

constexpr uint8_t SYNC_BYTE = 0x47;
constexpr uint8_t NETWORK_NAME_DESCRIPTOR = 0x40;
constexpr uint8_t SATELLITE_DELIVERY_DESCRIPTOR = 0x43;
constexpr uint8_t SERVICE_DESCRIPTOR = 0x48;
constexpr size_t SECTION_HEADER = 8;  // table_id .. last_section_number
constexpr size_t CRC_SIZE = 4;
constexpr uint32_t LIST_TOLERANCE_KHZ = 2000;

static uint16_t Read16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
static uint16_t Read12(const uint8_t* p) { return uint16_t((p[0] & 0x0F) << 8 | p[1]); }

uint32_t TsCrc32(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= uint32_t(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = crc & 0x80000000 ? crc << 1 ^ 0x04C11DB7 : crc << 1;
    }
    return crc;
}

void ResetTsTables(TsTables* tables) {
    memset(tables, 0, sizeof *tables);
    for (TsAssembly& a : tables->pid) a.counter = -1;
}

// ---- names ---------------------------------------------------------------------

// Appends one code point as UTF-8 if it fits whole.
static void PutCodePoint(uint32_t c, char* out, size_t size, size_t* used) {
    uint8_t bytes[4];
    size_t n = 0;
    if (c < 0x80) {
        bytes[n++] = uint8_t(c);
    } else if (c < 0x800) {
        bytes[n++] = uint8_t(0xC0 | c >> 6);
        bytes[n++] = uint8_t(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes[n++] = uint8_t(0xE0 | c >> 12);
        bytes[n++] = uint8_t(0x80 | (c >> 6 & 0x3F));
        bytes[n++] = uint8_t(0x80 | (c & 0x3F));
    } else {
        bytes[n++] = uint8_t(0xF0 | c >> 18);
        bytes[n++] = uint8_t(0x80 | (c >> 12 & 0x3F));
        bytes[n++] = uint8_t(0x80 | (c >> 6 & 0x3F));
        bytes[n++] = uint8_t(0x80 | (c & 0x3F));
    }
    if (*used + n >= size) return;
    memcpy(out + *used, bytes, n);
    *used += n;
    out[*used] = 0;
}

enum Charset {
    CHARSET_DEFAULT,
    CHARSET_LATIN1,
    CHARSET_CYRILLIC,
    CHARSET_TURKISH,
    CHARSET_LATIN9,
    CHARSET_UCS2,
    CHARSET_UTF8,
    CHARSET_UNKNOWN_BYTE,
    CHARSET_UNKNOWN_WIDE
};

static Charset SingleByteTable(uint32_t part) {  // ISO 8859-part
    switch (part) {
        case 1:
            return CHARSET_LATIN1;
        case 5:
            return CHARSET_CYRILLIC;
        case 9:
            return CHARSET_TURKISH;
        case 15:
            return CHARSET_LATIN9;
        default:
            return CHARSET_UNKNOWN_BYTE;
    }
}

// A byte 0xA0..0xFF of an ISO 8859 table; 0 when the table is not known.
static uint32_t HighByte(Charset set, uint8_t b) {
    static const uint8_t LATIN9_FROM[] = {0xA4, 0xA6, 0xA8, 0xB4, 0xB8, 0xBC, 0xBD, 0xBE};
    static const uint16_t LATIN9_TO[] = {0x20AC, 0x0160, 0x0161, 0x017D, 0x017E, 0x0152, 0x0153, 0x0178};
    static const uint8_t TURKISH_FROM[] = {0xD0, 0xDD, 0xDE, 0xF0, 0xFD, 0xFE};
    static const uint16_t TURKISH_TO[] = {0x011E, 0x0130, 0x015E, 0x011F, 0x0131, 0x015F};
    switch (set) {
        case CHARSET_LATIN1:
            return b;
        case CHARSET_LATIN9:
            for (size_t i = 0; i < sizeof LATIN9_FROM; ++i)
                if (LATIN9_FROM[i] == b) return LATIN9_TO[i];
            return b;
        case CHARSET_TURKISH:
            for (size_t i = 0; i < sizeof TURKISH_FROM; ++i)
                if (TURKISH_FROM[i] == b) return TURKISH_TO[i];
            return b;
        case CHARSET_CYRILLIC:
            if (b == 0xA0 || b == 0xAD) return b;
            if (b == 0xF0) return 0x2116;
            if (b == 0xFD) return 0x00A7;
            return 0x0400 + (b - 0xA0);
        default:
            return 0;
    }
}

size_t DecodeDvbText(const uint8_t* text, size_t length, char* out, size_t size) {
    if (!size) return 0;
    out[0] = 0;
    size_t used = 0, i = 0;
    Charset set = CHARSET_DEFAULT;
    if (length && text[0] < 0x20) {
        uint8_t first = text[0];
        i = 1;
        if (first >= 0x01 && first <= 0x0B)
            set = SingleByteTable(first + 4u);
        else if (first == 0x10)
            set = length >= 3 ? SingleByteTable(Read16(text + 1)) : CHARSET_UNKNOWN_BYTE, i = 3;
        else if (first == 0x11)
            set = CHARSET_UCS2;
        else if (first == 0x15)
            set = CHARSET_UTF8;
        else if (first == 0x1F)
            set = CHARSET_UNKNOWN_WIDE, i = 2;
        else
            set = CHARSET_UNKNOWN_WIDE;
    }
    if (set == CHARSET_UNKNOWN_WIDE) {
        if (length > i) PutCodePoint('?', out, size, &used);
        return used;
    }
    while (i < length) {
        uint32_t c = text[i++];
        if (set == CHARSET_UCS2) {
            c = i < length ? c << 8 | text[i++] : '?';
            if (c >= 0xD800 && c < 0xE000) c = '?';
            if (c == 0xE086 || c == 0xE087) continue;  // emphasis on and off
            if (c == 0xE08A) c = ' ';
        } else if (set == CHARSET_UTF8 && c >= 0x80) {
            size_t more = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
            uint32_t value = more == 3 ? c & 0x07 : more == 2 ? c & 0x0F : c & 0x1F;
            size_t k = 0;
            while (k < more && i + k < length && (text[i + k] & 0xC0) == 0x80)
                value = value << 6 | (text[i + k++] & 0x3F);
            bool whole = more && k == more && !(more == 2 && value < 0x800) && !(more == 3 && value < 0x10000) &&
                         value < 0x110000 && !(value >= 0xD800 && value < 0xE000);
            i += k;
            c = whole ? value : '?';
        } else if (set != CHARSET_UTF8 && c >= 0x80) {
            if (c == 0x86 || c == 0x87) continue;
            if (c < 0xA0) {
                if (c == 0x8A) PutCodePoint(' ', out, size, &used);
                continue;
            }
            c = HighByte(set, uint8_t(c));
            if (!c) c = '?';
        }
        if (c < 0x20 || c == 0x7F) continue;
        size_t before = used;
        PutCodePoint(c, out, size, &used);
        if (used == before) break;  // full: cut here, at a character's boundary
    }
    return used;
}

// ---- sections ------------------------------------------------------------------

// Walks a descriptor loop; false when a descriptor runs past it.
struct DescriptorWalk {
    const uint8_t* p;
    size_t left;
};

static bool NextDescriptor(DescriptorWalk* walk, uint8_t* tag, const uint8_t** body, uint8_t* length, bool* bad) {
    if (walk->left == 0) return false;
    if (walk->left < 2 || size_t(walk->p[1]) + 2 > walk->left) {
        *bad = true;
        return false;
    }
    *tag = walk->p[0];
    *length = walk->p[1];
    *body = walk->p + 2;
    walk->p += 2 + *length;
    walk->left -= 2 + size_t(*length);
    return true;
}

static bool Bcd(const uint8_t* p, size_t digits, uint32_t* value) {
    *value = 0;
    for (size_t d = 0; d < digits; ++d) {
        uint8_t nibble = d % 2 ? p[d / 2] & 0x0F : p[d / 2] >> 4;
        if (nibble > 9) return false;
        *value = *value * 10 + nibble;
    }
    return true;
}

static bool ReadDelivery(const uint8_t* d, uint8_t length, TsDelivery* out) {
    uint32_t frequency, orbital, rate;
    if (length < 11 || !Bcd(d, 8, &frequency) || !Bcd(d + 4, 4, &orbital) || !Bcd(d + 7, 7, &rate)) return false;
    out->frequencyKhz = frequency * 10;
    out->orbitalTenths = uint16_t(orbital);
    out->east = d[6] & 0x80;
    out->polarization = "hvlr"[d[6] >> 5 & 3];
    out->s2 = d[6] & 0x04;
    out->symbolRate = rate / 10;
    return true;
}

// The NIT's loops into the tables; false when a length runs past the section.
static bool ReadNit(TsTables* t, const uint8_t* p, size_t length) {
    if (length < 2) return false;
    DescriptorWalk walk = {p + 2, Read12(p)};
    if (walk.left + 2 > length) return false;
    uint8_t tag, size;
    const uint8_t* body;
    bool bad = false;
    while (NextDescriptor(&walk, &tag, &body, &size, &bad))
        if (tag == NETWORK_NAME_DESCRIPTOR) DecodeDvbText(body, size, t->network, sizeof t->network);
    size_t at = 2 + Read12(p);
    if (bad || at + 2 > length) return false;
    size_t loop = Read12(p + at);
    at += 2;
    if (at + loop > length) return false;
    for (size_t end = at + loop; at < end;) {
        if (at + 6 > end) return false;
        TsStream stream = {Read16(p + at), Read16(p + at + 2), false, {}};
        walk = {p + at + 6, Read12(p + at + 4)};
        if (at + 6 + walk.left > end) return false;
        at += 6 + walk.left;
        while (NextDescriptor(&walk, &tag, &body, &size, &bad))
            if (tag == SATELLITE_DELIVERY_DESCRIPTOR) stream.hasDelivery = ReadDelivery(body, size, &stream.delivery);
        if (bad) return false;
        if (t->streamCount < TS_STREAMS_MAX) t->streams[t->streamCount++] = stream;
    }
    return true;
}

static bool ReadSdt(TsTables* t, const uint8_t* p, size_t length) {
    if (length < 3) return false;
    t->onid = Read16(p);
    for (size_t at = 3; at < length;) {
        if (at + 5 > length) return false;
        DescriptorWalk walk = {p + at + 5, Read12(p + at + 3)};
        if (at + 5 + walk.left > length) return false;
        at += 5 + walk.left;
        uint8_t tag, size;
        const uint8_t* body;
        bool bad = false;
        while (NextDescriptor(&walk, &tag, &body, &size, &bad)) {
            if (tag != SERVICE_DESCRIPTOR || size < 3 || size_t(body[1]) + 3 > size ||
                size_t(body[1]) + 3 + body[2 + body[1]] > size)
                continue;
            if (!t->provider[0]) DecodeDvbText(body + 2, body[1], t->provider, sizeof t->provider);
            if (t->serviceCount < TS_SERVICES_MAX)
                DecodeDvbText(body + 3 + body[1], body[2 + body[1]], t->services[t->serviceCount++], TS_NAME_MAX);
        }
        if (bad) return false;
    }
    return true;
}

// Whether a section is one more of its table's current version; a new
// version (or another table_id_extension) starts the table over.
static bool NewSection(TsProgress* progress, const uint8_t* s, bool* restart) {
    uint16_t extension = Read16(s + 3);
    uint8_t version = s[5] >> 1 & 0x1F, number = s[6], last = s[7];
    *restart = !progress->started || progress->version != version || progress->extension != extension ||
               progress->last != last;
    if (*restart) {
        memset(progress, 0, sizeof *progress);
        progress->started = true;
        progress->extension = extension, progress->version = version, progress->last = last;
    }
    if (number > last || progress->got[number / 8] & 1 << number % 8) return false;
    return true;
}

static void Count(TsProgress* progress, uint8_t number) {
    progress->got[number / 8] |= uint8_t(1 << number % 8);
    bool all = true;
    for (uint32_t n = 0; n <= progress->last; ++n) all = all && progress->got[n / 8] & 1 << n % 8;
    progress->complete = all;
}

static void ReadSection(TsTables* t, size_t which, const uint8_t* s, size_t length) {
    static const uint8_t TABLE[] = {TS_TABLE_PAT, TS_TABLE_NIT_ACTUAL, TS_TABLE_SDT_ACTUAL};
    t->sections++;
    if (TsCrc32(s, length)) {
        t->badCrc++;
        return;
    }
    // Only the actual tables, current (not next), in the long form.
    if (length < SECTION_HEADER + CRC_SIZE || s[0] != TABLE[which] || !(s[1] & 0x80) || !(s[5] & 1)) return;
    TsProgress* progress = which == 0 ? &t->pat : which == 1 ? &t->nit : &t->sdt;
    bool restart;
    if (!NewSection(progress, s, &restart)) return;
    if (restart && which == 1) t->streamCount = 0, t->network[0] = 0;
    if (restart && which == 2) t->serviceCount = 0, t->provider[0] = 0;
    const uint8_t* body = s + SECTION_HEADER;
    size_t bodyLength = length - SECTION_HEADER - CRC_SIZE;
    // A section that does not add up is as if it had not come: its table waits for a good copy.
    TsTables before;
    if (which) memcpy(&before, t, sizeof before);
    bool good = which == 0 || (which == 1 ? ReadNit(t, body, bodyLength) : ReadSdt(t, body, bodyLength));
    if (!good) {
        uint32_t sections = t->sections, badCrc = t->badCrc, breaks = t->breaks, malformed = t->malformed + 1;
        memcpy(t, &before, sizeof before);
        t->sections = sections, t->badCrc = badCrc, t->breaks = breaks, t->malformed = malformed;
        return;
    }
    if (which == 0) t->tsid = progress->extension;
    if (which == 1) t->networkId = progress->extension;
    Count(progress, s[6]);
}

// Bytes of a section's start or continuation; a whole section is read, and
// what follows it in the payload may start another.
static void Collect(TsTables* t, size_t which, const uint8_t* p, size_t length) {
    TsAssembly* a = &t->pid[which];
    while (length && a->open) {
        size_t need = a->have < 3 ? 3 : 3 + Read12(a->data + 1);
        if (need > TS_SECTION_MAX) {
            a->open = false;
            t->malformed++;
            return;
        }
        size_t take = need - a->have < length ? need - a->have : length;
        memcpy(a->data + a->have, p, take);
        a->have += take, p += take, length -= take;
        if (a->have >= 3 && a->have == 3 + size_t(Read12(a->data + 1))) {
            a->open = false;
            ReadSection(t, which, a->data, a->have);
            // Another section may follow in the same payload; 0xFF is stuffing to its end.
            if (length && p[0] != 0xFF) a->open = true, a->have = 0;
        }
    }
}

static void ReadPacket(TsTables* t, const uint8_t* p) {
    if (p[0] != SYNC_BYTE || p[1] & 0x80) return;
    uint16_t pid = uint16_t((p[1] & 0x1F) << 8 | p[2]);
    size_t which = pid == TS_PID_PAT ? 0 : pid == TS_PID_NIT ? 1 : pid == TS_PID_SDT ? 2 : 3;
    if (which == 3) return;
    TsAssembly* a = &t->pid[which];
    uint8_t control = p[3] >> 4 & 3, counter = p[3] & 0x0F;
    size_t start = 4;
    bool discontinuity = false;
    if (control & 2) {
        start += 1 + p[4];
        discontinuity = p[4] && p[5] & 0x80;
        if (start > TS_PACKET_SIZE) return;
    }
    if (!(control & 1)) return;  // no payload: the counter stands
    if (a->counter >= 0 && !discontinuity) {
        if (counter == a->counter) return;  // a repeated packet
        if (counter != ((a->counter + 1) & 0x0F)) {
            t->breaks++;
            a->open = false;
        }
    }
    a->counter = int8_t(counter);
    const uint8_t* payload = p + start;
    size_t length = TS_PACKET_SIZE - start;
    if (p[1] & 0x40) {
        if (!length) return;
        size_t pointer = payload[0];
        if (1 + pointer > length) {
            a->open = false;
            return;
        }
        Collect(t, which, payload + 1, pointer);  // the end of the section before
        a->open = true;
        a->have = 0;
        Collect(t, which, payload + 1 + pointer, length - 1 - pointer);
    } else {
        Collect(t, which, payload, length);
    }
}

bool RtpPayload(const uint8_t* p, size_t length, size_t* offset, size_t* payloadLength) {
    if (length < 12 || p[0] >> 6 != 2) return false;
    size_t at = 12 + 4 * size_t(p[0] & 0x0F);
    if (p[0] & 0x10) {  // a header extension: 4 bytes, then its length in words
        if (at + 4 > length) return false;
        at += 4 + 4 * size_t(Read16(p + at + 2));
    }
    size_t padding = p[0] & 0x20 ? p[length - 1] : 0;
    if (at + padding > length) return false;
    *offset = at;
    *payloadLength = length - at - padding;
    return true;
}

void ReadTsPackets(TsTables* tables, const uint8_t* data, size_t length) {
    for (size_t at = 0; at + TS_PACKET_SIZE <= length; at += TS_PACKET_SIZE) ReadPacket(tables, data + at);
}

// ---- the writer ----------------------------------------------------------------

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
    size_t length = w->used + CRC_SIZE - 3;
    if (w->full || w->used + CRC_SIZE > w->size || length > TS_SECTION_MAX - 3) return 0;
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
        Put8(&w, NETWORK_NAME_DESCRIPTOR);
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
            Put8(&w, SATELLITE_DELIVERY_DESCRIPTOR);
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
        Put8(&w, SERVICE_DESCRIPTOR);
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
        p[0] = SYNC_BYTE;
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

// ---- the identification --------------------------------------------------------

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

// ---- the verdict ---------------------------------------------------------------

bool ListHoldsTransponder(const char* data, size_t size, uint32_t frequencyKhz, char polarization) {
    bool vertical = polarization == 'v' || polarization == 'r';
    TransponderEntryScan scan;
    StartTransponderEntryScan(data, size, &scan);
    char entry[TRANSPONDER_ENTRY_SIZE];
    while (NextTransponderEntry(&scan, entry, sizeof entry)) {
        uint32_t frequency = TransponderEntryFrequency(entry);
        const char* comma = strchr(entry, ',');
        char pol = comma ? comma[1] : 0;
        bool entryVertical = pol == 'V' || pol == 'v' || pol == 'R' || pol == 'r';
        uint32_t apart = frequency > frequencyKhz ? frequency - frequencyKhz : frequencyKhz - frequency;
        if (pol && apart <= LIST_TOLERANCE_KHZ && entryVertical == vertical) return true;
    }
    return false;
}

void AddListedPosition(ListedPositions* listed, uint32_t key) {
    for (uint32_t i = 0; i < listed->count; ++i)
        if (listed->keys[i] == key) return;
    if (listed->count < LISTED_POSITIONS_MAX) listed->keys[listed->count++] = key;
}

// "19.2e" or "19.2E".
static void PositionText(uint32_t key, bool upper, char* out, size_t size) {
    char text[16];
    FormatPositionText(key, text, sizeof text);
    snprintf(out, size, "%s", text + strspn(text, " "));
    if (upper)
        for (char* c = out; *c; ++c)
            if (*c == 'e' || *c == 'w') *c = char(*c - 'a' + 'A');
}

// "13.0E", "9.0E or 13.0E", "9.0E, 13.0E or 16.0E".
static int PutPositions(const ListedPositions* listed, bool upper, const char* last, char* out, size_t size) {
    int used = 0;
    for (uint32_t i = 0; i < listed->count && used >= 0 && size_t(used) < size; ++i) {
        char text[16];
        PositionText(listed->keys[i], upper, text, sizeof text);
        const char* separator = i == 0 ? "" : i + 1 == listed->count ? last : ", ";
        used += snprintf(out + used, size - used, "%s%s", separator, text);
    }
    return used;
}

TsVerdict JudgeIdentity(const TsIdentity* identity, const ListedPositions* listed, uint32_t frequencyKhz,
                        char polarization, uint32_t symbolRate, bool upper, char* sentence, size_t size) {
    if (size) sentence[0] = 0;
    if (identity->state != IDENTITY_CONFIRMED && identity->state != IDENTITY_TENTATIVE) return VERDICT_NONE;
    bool found = false;
    for (uint32_t i = 0; i < listed->count; ++i) found = found || listed->keys[i] == identity->positionKey;
    TsVerdict verdict = found ? VERDICT_RIGHT : listed->count ? VERDICT_WRONG : VERDICT_NOT_LISTED;
    char position[16], transponder[48], network[TS_NAME_MAX + 4] = "";
    PositionText(identity->positionKey, upper, position, sizeof position);
    if (identity->network[0]) snprintf(network, sizeof network, " (%s)", identity->network);
    // "12302 V 27500", "11778.5 H 22000": the frequency as the user types it.
    int n = snprintf(transponder, sizeof transponder, "%lu.%03lu", (unsigned long)(frequencyKhz / 1000),
                     (unsigned long)(frequencyKhz % 1000));
    while (n > 0 && (transponder[n - 1] == '0' || transponder[n - 1] == '.')) {
        bool point = transponder[--n] == '.';
        transponder[n] = 0;
        if (point) break;
    }
    snprintf(transponder + n, sizeof transponder - n, " %c %lu",
             polarization >= 'a' ? char(polarization - 'a' + 'A') : polarization, (unsigned long)symbolRate);
    int used = snprintf(sentence, size, "the dish receives %s%s%s", position,
                        identity->state == IDENTITY_TENTATIVE ? "?" : "", network);
    if (used < 0 || size_t(used) >= size) return verdict;
    if (verdict == VERDICT_NOT_LISTED) {
        snprintf(sentence + used, size - used, ": %s is in none of your lists", transponder);
    } else {
        // Every list that holds it: a trainee who chose another of them learns where the dish is.
        if (verdict == VERDICT_WRONG) used += snprintf(sentence + used, size - used, ", not ");
        if (verdict == VERDICT_WRONG && size_t(used) < size)
            used += PutPositions(listed, upper, " or ", sentence + used, size - used);
        if (size_t(used) < size)
            used += snprintf(sentence + used, size - used, ": %s is in your list%s of ", transponder,
                             listed->count > 1 ? "s" : "");
        if (size_t(used) < size) PutPositions(listed, upper, " and ", sentence + used, size - used);
    }
    return verdict;
}
