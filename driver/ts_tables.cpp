// The transport stream's own tables read: packets, sections, PAT, NIT and
// SDT. See ts_tables.h.
#include "driver/ts_tables.h"
#include <cstdio>
#include <cstring>

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
        if (tag == TS_NETWORK_NAME_DESCRIPTOR) DecodeDvbText(body, size, t->network, sizeof t->network);
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
            if (tag == TS_SATELLITE_DELIVERY_DESCRIPTOR)
                stream.hasDelivery = ReadDelivery(body, size, &stream.delivery);
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
            if (tag != TS_SERVICE_DESCRIPTOR || size < 3 || size_t(body[1]) + 3 > size ||
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
    if (length < TS_SECTION_HEADER + TS_CRC_SIZE || s[0] != TABLE[which] || !(s[1] & 0x80) || !(s[5] & 1)) return;
    TsProgress* progress = which == 0 ? &t->pat : which == 1 ? &t->nit : &t->sdt;
    bool restart;
    if (!NewSection(progress, s, &restart)) return;
    if (restart && which == 1) t->streamCount = 0, t->network[0] = 0;
    if (restart && which == 2) t->serviceCount = 0, t->provider[0] = 0;
    const uint8_t* body = s + TS_SECTION_HEADER;
    size_t bodyLength = length - TS_SECTION_HEADER - TS_CRC_SIZE;
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
    if (p[0] != TS_SYNC_BYTE || p[1] & 0x80) return;
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
