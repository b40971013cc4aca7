// What the phone page reads: one reading as JSON, and the framing of the
// event stream that carries it.
#include "driver/phone_http.h"
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// Appends to a bounded buffer; once something did not fit, everything after
// is refused too and the writer returns 0.
struct JsonOut {
    char* out;
    size_t size, used;
    bool full;
};

static void Put(JsonOut* o, const char* text, size_t length) {
    if (o->full || o->size - o->used <= length) {
        o->full = true;
        return;
    }
    if (length) memcpy(o->out + o->used, text, length);
    o->used += length;
    o->out[o->used] = 0;
}
static void Puts(JsonOut* o, const char* text) { Put(o, text, strlen(text)); }

static void Printf(JsonOut* o, const char* format, ...) __attribute__((format(printf, 2, 3)));
static void Printf(JsonOut* o, const char* format, ...) {
    char text[64];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0 || size_t(n) >= sizeof text)
        o->full = true;
    else
        Put(o, text, size_t(n));
}

// The length of the well-formed UTF-8 sequence at text (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF), 0 when there is none.
static size_t Utf8Sequence(const unsigned char* text, size_t length) {
    unsigned char c = text[0];
    size_t n;
    unsigned char low = 0x80, high = 0xBF;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (length < n || text[1] < low || text[1] > high) return 0;
    for (size_t i = 2; i < n; i++)
        if (text[i] < 0x80 || text[i] > 0xBF) return 0;
    return n;
}

static void PutString(JsonOut* o, const char* text, size_t length) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    Put(o, "\"", 1);
    for (size_t i = 0; i < length;) {
        unsigned char c = bytes[i];
        if (c == '"' || c == '\\') {
            char escaped[2] = {'\\', char(c)};
            Put(o, escaped, 2);
            i++;
        } else if (c < 0x20) {
            Printf(o, "\\u%04x", c);
            i++;
        } else if (size_t n = Utf8Sequence(bytes + i, length - i)) {
            Put(o, text + i, n);
            i += n;
        } else {
            Puts(o, "\\ufffd");
            i++;
        }
    }
    Put(o, "\"", 1);
}

size_t WriteJsonString(const char* text, size_t length, char* out, size_t size) {
    if (!size) return 0;
    JsonOut o = {out, size, 0, false};
    out[0] = 0;
    PutString(&o, text, length);
    return o.full ? 0 : o.used;
}

// A bounded field: up to its first NUL, never past its size.
template <size_t N>
static void PutField(JsonOut* o, const char (&field)[N]) {
    PutString(o, field, strnlen(field, N));
}

static void PutSatellite(JsonOut* o, const PhoneSatellite* s) {
    Puts(o, "{\"position\":");
    PutField(o, s->position);
    Puts(o, ",\"state\":");
    PutField(o, s->state);
    Puts(o, ",\"network\":");
    PutField(o, s->network);
    Puts(o, ",\"services\":[");
    bool first = true;
    for (const auto& service : s->services) {
        if (!service[0]) continue;
        if (!first) Puts(o, ",");
        PutField(o, service);
        first = false;
    }
    Puts(o, "],\"verdict\":");
    PutField(o, s->verdict);
    Puts(o, ",\"text\":");
    PutField(o, s->text);
    Puts(o, "}");
}

// MHz as the transponder lists write them: whole, or with the fraction's digits.
static void PutMegahertz(JsonOut* o, uint32_t kiloHertz) {
    char text[24];
    snprintf(text, sizeof text, "%lu.%03lu", (unsigned long)(kiloHertz / 1000), (unsigned long)(kiloHertz % 1000));
    size_t n = strlen(text);
    while (text[n - 1] == '0') n--;
    if (text[n - 1] == '.') n--;
    Put(o, text, n);
}

size_t WritePhoneJson(const PhoneReading* r, char* out, size_t size) {
    if (!size) return 0;
    JsonOut o = {out, size, 0, false};
    out[0] = 0;
    Printf(&o, "{\"finder\":%s,\"lock\":%s,\"percent\":%ld,\"peak\":%ld,\"snr\":", r->finder ? "true" : "false",
           r->lock ? "true" : "false", (long)r->percent, (long)r->peak);
    // A driver may write any float; JSON has no NaN or infinity.
    if (std::isfinite(r->snr) && std::fabs(r->snr) < 1e9f)
        Printf(&o, "%.2f", double(r->snr));
    else
        Puts(&o, "null");
    Printf(&o, ",\"quality\":%lu,\"transponder\":", (unsigned long)(r->quality > 100 ? 100 : r->quality));
    if (r->tuned) {
        char polarization = r->polarization == 'H' ? 'H' : 'V';
        Puts(&o, "{\"frequency\":");
        PutMegahertz(&o, r->frequencyKhz);
        Printf(&o, ",\"polarization\":\"%c\",\"symbolRate\":%lu,\"text\":\"", polarization,
               (unsigned long)r->symbolRate);
        PutMegahertz(&o, r->frequencyKhz);
        Printf(&o, " %c %lu\"}", polarization, (unsigned long)r->symbolRate);
    } else {
        Puts(&o, "null");
    }
    Puts(&o, ",\"satellite\":");
    if (r->satellite)
        PutSatellite(&o, r->satellite);
    else
        Puts(&o, "null");
    Puts(&o, "}");
    return o.full ? 0 : o.used;
}

size_t FrameServerEvent(const char* name, const char* data, size_t length, char* out, size_t size) {
    if (!size) return 0;
    JsonOut o = {out, size, 0, false};
    out[0] = 0;
    if (name) {
        if (strpbrk(name, "\r\n")) return 0;
        Puts(&o, "event: ");
        Puts(&o, name);
        Puts(&o, "\n");
    }
    // Every line of data is a line of its own; a lone CR ends a line too.
    size_t i = 0;
    do {
        size_t start = i;
        while (i < length && data[i] != '\n' && data[i] != '\r') i++;
        Puts(&o, "data: ");
        Put(&o, data + start, i - start);
        Puts(&o, "\n");
        if (i < length && data[i] == '\r' && i + 1 < length && data[i + 1] == '\n') i++;
        if (i < length)
            i++;
        else
            break;
    } while (true);
    Puts(&o, "\n");
    return o.full ? 0 : o.used;
}
