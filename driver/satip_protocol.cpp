// The SAT>IP protocol as text and bytes: see satip_protocol.h. Every reader
// walks [p, end) and never past it; nothing here needs a terminating NUL.
#include "driver/satip_protocol.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t HEADER_LIMIT = 8192;  // an RTSP header block longer than this is not one
constexpr size_t BODY_LIMIT = 65536;   // a DESCRIBE body or a device description

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The first c within [p, end); nullptr when none (also for an empty range).
const char* Chr(const char* p, const char* end, char c) {
    return p < end ? static_cast<const char*>(memchr(p, c, size_t(end - p))) : nullptr;
}

// True when [p, end) starts with word, letters compared case-blind.
bool StartsWith(const char* p, const char* end, const char* word) {
    for (; *word; ++p, ++word)
        if (p >= end || Lower(*p) != Lower(*word)) return false;
    return true;
}

// The first place where word starts within [p, end), case-blind; nullptr when none.
const char* Find(const char* p, const char* end, const char* word) {
    for (; p < end; ++p)
        if (StartsWith(p, end, word)) return p;
    return nullptr;
}

// A decimal number up to 0xFFFFFFFF at *p; moves *p past it. False without a digit or on overflow.
bool ReadNumber(const char** p, const char* end, uint32_t* value) {
    uint64_t n = 0;
    const char* q = *p;
    while (q < end && IsDigit(*q)) {
        n = n * 10 + uint64_t(*q - '0');
        if (n > 0xFFFFFFFFull) return false;
        ++q;
    }
    if (q == *p) return false;
    *p = q;
    *value = uint32_t(n);
    return true;
}

void TrimBlanks(const char** p, const char** end) {
    while (*p < *end && IsBlank(**p)) ++*p;
    while (*end > *p && (IsBlank((*end)[-1]) || (*end)[-1] == '\r')) --*end;
}

// Copies [p, end) with a NUL; false when it does not fit.
bool Copy(const char* p, const char* end, char* out, size_t size) {
    size_t n = size_t(end - p);
    if (n >= size) return false;
    if (n) memcpy(out, p, n);
    out[n] = 0;
    return true;
}

// Appends formatted text at out + *used; false once it no longer fits.
__attribute__((format(printf, 4, 5))) bool Append(char* out, size_t size, size_t* used, const char* format, ...) {
    if (*used >= size) return false;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(out + *used, size - *used, format, args);
    va_end(args);
    if (n < 0 || size_t(n) >= size - *used) return false;
    *used += size_t(n);
    return true;
}

// The next line of [*p, end): its text without the line end, *p moved past it.
// False when no complete line (ending in \n) is left.
bool NextLine(const char** p, const char* end, const char** line, const char** lineEnd) {
    const char* nl = Chr(*p, end, '\n');
    if (!nl) return false;
    *line = *p;
    *lineEnd = nl > *p && nl[-1] == '\r' ? nl - 1 : nl;
    *p = nl + 1;
    return true;
}

// A header line "Name: value": true when the name is the one asked for; the
// value comes trimmed.
bool Header(const char* line, const char* lineEnd, const char* name, const char** value, const char** valueEnd) {
    size_t n = strlen(name);
    if (size_t(lineEnd - line) <= n || !StartsWith(line, lineEnd, name)) return false;
    const char* colon = line + n;
    while (colon < lineEnd && IsBlank(*colon)) ++colon;  // "CSeq : 3" from some boxes
    if (colon == lineEnd || *colon != ':') return false;
    *value = colon + 1;
    *valueEnd = lineEnd;
    TrimBlanks(value, valueEnd);
    return true;
}

// "key=a-b" inside a Transport value: the port pair (b may be absent).
void PortPair(const char* p, const char* end, const char* key, uint16_t* first, uint16_t* second) {
    const char* at = Find(p, end, key);
    if (!at) return;
    at += strlen(key);
    uint32_t a = 0, b = 0;
    if (!ReadNumber(&at, end, &a) || a > 65535) return;
    *first = uint16_t(a);
    if (at < end && *at == '-' && (++at, ReadNumber(&at, end, &b)) && b <= 65535) *second = uint16_t(b);
}

// A Transport value's interleaved part: whether it names the RTSP
// connection (RTP/AVP/TCP or interleaved=), and its channels, 0-1 unless given.
void Interleaving(const char* p, const char* end, bool* interleaved, uint8_t* rtp, uint8_t* rtcp) {
    *interleaved = Find(p, end, "RTP/AVP/TCP") || Find(p, end, "interleaved=");
    uint16_t first = 0, second = 1;
    PortPair(p, end, "interleaved=", &first, &second);
    if (first > 255 || second > 255) first = 0, second = 1;
    *rtp = uint8_t(first), *rtcp = uint8_t(second);
}

// Where the header block ends: the length up to and including the empty
// line; 0 while it has not come.
size_t HeaderEnd(const char* data, size_t length) {
    const char* p = data;
    const char* end = data + (length < HEADER_LIMIT ? length : HEADER_LIMIT);
    const char *line = nullptr, *lineEnd = nullptr;
    while (NextLine(&p, end, &line, &lineEnd))
        if (line == lineEnd) return size_t(p - data);
    return 0;
}

// The common start of both readers: SATIP_COMPLETE with the block's length,
// or what to answer.
SatipParse HeaderBlock(const char* data, size_t length, const char* const* starts, size_t* headerLength) {
    bool known = false, maybe = false;
    for (; *starts && !known; ++starts) {
        size_t n = strlen(*starts), have = length < n ? length : n, i = 0;
        while (i < have && Lower(data[i]) == Lower((*starts)[i])) ++i;
        known = i == n;
        maybe = maybe || i == length;  // too short to tell: it may still become one
    }
    if (!known) return maybe ? SATIP_INCOMPLETE : SATIP_MALFORMED;
    *headerLength = HeaderEnd(data, length);
    if (*headerLength) return SATIP_COMPLETE;
    return length >= HEADER_LIMIT ? SATIP_MALFORMED : SATIP_INCOMPLETE;
}

// "12302" or "12302.5" up to end: kHz. False for anything else.
bool ReadMhz(const char* v, const char* end, uint32_t* khz) {
    uint32_t mhz = 0, fraction = 0;
    if (!ReadNumber(&v, end, &mhz) || mhz < 1 || mhz > 100000) return false;
    if (v < end && *v == '.') {
        ++v;
        for (uint32_t scale = 100; v < end && IsDigit(*v); ++v, scale /= 10) fraction += uint32_t(*v - '0') * scale;
    }
    if (v != end) return false;
    *khz = mhz * 1000 + fraction;
    return true;
}

bool ParsePolarization(char c, char* out) {
    c = Lower(c);
    if (c != 'h' && c != 'v' && c != 'l' && c != 'r') return false;
    *out = c;
    return true;
}

}  // namespace

// ---- the tune ----------------------------------------------------------------

SatipTune TuneFromBurst(uint32_t diseqc, uint32_t polarization, uint32_t symbolRate, uint32_t frequencyKhz,
                        SatipSystem system) {
    // None and Simple A: the first input; Simple B the second; LNB1..LNB4 the four ports.
    uint32_t source = diseqc == 2 ? 2 : diseqc >= 3 && diseqc <= 6 ? diseqc - 2 : 1;
    return SatipTune{source, frequencyKhz, polarization == 0 ? 'h' : 'v', symbolRate, system};
}

SatipSystem OtherSystem(SatipSystem system) { return system == SATIP_DVBS2 ? SATIP_DVBS : SATIP_DVBS2; }

size_t FormatTuneQuery(const SatipTune* tune, char* out, size_t size) {
    char mhz[24];
    uint32_t whole = tune->frequencyKhz / 1000, fraction = tune->frequencyKhz % 1000;
    int n = fraction ? snprintf(mhz, sizeof mhz, "%lu.%03lu", (unsigned long)whole, (unsigned long)fraction)
                     : snprintf(mhz, sizeof mhz, "%lu", (unsigned long)whole);
    while (fraction && mhz[n - 1] == '0') mhz[--n] = 0;
    size_t used = 0;
    bool s2 = tune->system == SATIP_DVBS2;
    if (!Append(out, size, &used, "src=%lu&freq=%s&pol=%c&ro=0.35&msys=%s&mtype=%s&plts=%s&sr=%lu&pids=0,16,17",
                (unsigned long)tune->source, mhz, tune->polarization, s2 ? "dvbs2" : "dvbs", s2 ? "8psk" : "qpsk",
                s2 ? "on" : "off", (unsigned long)tune->symbolRate))
        return 0;
    return used;
}

bool ParseTuneQuery(const char* text, size_t length, SatipTune* tune) {
    const char* end = text + length;
    const char* p = Chr(text, end, '?');
    p = p ? p + 1 : text;
    SatipTune t = {0, 0, 0, 0, SATIP_DVBS};
    while (p < end) {
        const char* pairEnd = Chr(p, end, '&');
        if (!pairEnd) pairEnd = end;
        const char* eq = Chr(p, pairEnd, '=');
        if (eq) {
            const char* v = eq + 1;
            size_t key = size_t(eq - p);
            auto is = [&](const char* name) { return key == strlen(name) && StartsWith(p, eq, name); };
            if (is("src")) {
                if (!ReadNumber(&v, pairEnd, &t.source) || v != pairEnd || t.source < 1 || t.source > 255) return false;
            } else if (is("freq")) {
                if (!ReadMhz(v, pairEnd, &t.frequencyKhz)) return false;
            } else if (is("pol")) {
                if (pairEnd - v != 1 || !ParsePolarization(*v, &t.polarization)) return false;
            } else if (is("sr")) {
                if (!ReadNumber(&v, pairEnd, &t.symbolRate) || v != pairEnd || t.symbolRate < 1 ||
                    t.symbolRate > 100000)
                    return false;
            } else if (is("msys")) {
                if (pairEnd - v == 4 && StartsWith(v, pairEnd, "dvbs"))
                    t.system = SATIP_DVBS;
                else if (pairEnd - v == 5 && StartsWith(v, pairEnd, "dvbs2"))
                    t.system = SATIP_DVBS2;
                else
                    return false;
            }
        }
        p = pairEnd + 1;
    }
    if (!t.source || !t.frequencyKhz || !t.polarization || !t.symbolRate) return false;
    *tune = t;
    return true;
}

// ---- RTSP ----------------------------------------------------------------------

size_t FormatRtspRequest(char* out, size_t size, const char* method, const char* uri, uint32_t cseq,
                         const char* session, const char* extra) {
    size_t used = 0;
    bool fits = Append(out, size, &used, "%s %s RTSP/1.0\r\nCSeq: %lu\r\n", method, uri, (unsigned long)cseq) &&
                (!session || Append(out, size, &used, "Session: %s\r\n", session)) &&
                (!extra || Append(out, size, &used, "%s", extra)) && Append(out, size, &used, "\r\n");
    return fits ? used : 0;
}

SatipParse ParseRtspReply(const char* data, size_t length, RtspReply* reply) {
    static const char* const starts[] = {"RTSP/1.", "HTTP/1.", nullptr};
    size_t headerLength = 0;
    SatipParse block = HeaderBlock(data, length, starts, &headerLength);
    if (block != SATIP_COMPLETE) return block;

    RtspReply r = {};
    r.timeoutSeconds = 60;
    r.rtcpChannel = 1;
    r.headerLength = headerLength;
    const char* p = data;
    const char* end = data + headerLength;
    const char *line = nullptr, *lineEnd = nullptr, *v = nullptr, *vEnd = nullptr;
    NextLine(&p, end, &line, &lineEnd);
    const char* s = line + 7;  // past "RTSP/1."
    while (s < lineEnd && !IsBlank(*s)) ++s;
    while (s < lineEnd && IsBlank(*s)) ++s;
    uint32_t status = 0;
    if (!ReadNumber(&s, lineEnd, &status) || status < 100 || status > 999 || (s < lineEnd && !IsBlank(*s)))
        return SATIP_MALFORMED;
    r.status = int(status);
    uint32_t content = 0;
    while (NextLine(&p, end, &line, &lineEnd) && line != lineEnd) {
        if (Header(line, lineEnd, "CSeq", &v, &vEnd)) {
            if (!ReadNumber(&v, vEnd, &r.cseq)) return SATIP_MALFORMED;
        } else if (Header(line, lineEnd, "Session", &v, &vEnd)) {
            const char* semi = Chr(v, vEnd, ';');
            const char* idEnd = semi ? semi : vEnd;
            while (idEnd > v && IsBlank(idEnd[-1])) --idEnd;
            if (idEnd == v || !Copy(v, idEnd, r.session, sizeof r.session)) return SATIP_MALFORMED;
            const char* t = semi ? Find(semi, vEnd, "timeout=") : nullptr;
            uint32_t seconds = 0;
            if (t && (t += 8, ReadNumber(&t, vEnd, &seconds)) && seconds > 0) r.timeoutSeconds = seconds;
        } else if (Header(line, lineEnd, "Transport", &v, &vEnd)) {
            PortPair(v, vEnd, "server_port=", &r.serverRtpPort, &r.serverRtcpPort);
            Interleaving(v, vEnd, &r.interleaved, &r.rtpChannel, &r.rtcpChannel);
        } else if (Header(line, lineEnd, "com.ses.streamID", &v, &vEnd)) {
            ReadNumber(&v, vEnd, &r.streamId);
        } else if (Header(line, lineEnd, "Content-Length", &v, &vEnd)) {
            if (!ReadNumber(&v, vEnd, &content) || v != vEnd || content > BODY_LIMIT) return SATIP_MALFORMED;
        }
    }
    r.contentLength = content;
    *reply = r;
    return length - headerLength >= content ? SATIP_COMPLETE : SATIP_INCOMPLETE;
}

SatipParse ParseRtspRequest(const char* data, size_t length, RtspRequest* request) {
    // The methods this project's server knows; anything else is not a request of ours.
    static const char* const starts[] = {"OPTIONS ",  "SETUP ", "PLAY ",     "TEARDOWN ",
                                         "DESCRIBE ", "GET ",   "M-SEARCH ", nullptr};
    size_t headerLength = 0;
    SatipParse block = HeaderBlock(data, length, starts, &headerLength);
    if (block != SATIP_COMPLETE) return block;

    RtspRequest r = {};
    r.headerLength = headerLength;
    r.rtcpChannel = 1;
    const char* p = data;
    const char* end = data + headerLength;
    const char *line = nullptr, *lineEnd = nullptr, *v = nullptr, *vEnd = nullptr;
    NextLine(&p, end, &line, &lineEnd);
    const char* space = Chr(line, lineEnd, ' ');
    if (!space || !Copy(line, space, r.method, sizeof r.method)) return SATIP_MALFORMED;
    const char* uri = space + 1;
    const char* uriEnd = Chr(uri, lineEnd, ' ');
    if (!uriEnd || uriEnd == uri || !Copy(uri, uriEnd, r.uri, sizeof r.uri) ||
        !(StartsWith(uriEnd + 1, lineEnd, "RTSP/1.") || StartsWith(uriEnd + 1, lineEnd, "HTTP/1.")))
        return SATIP_MALFORMED;
    while (NextLine(&p, end, &line, &lineEnd) && line != lineEnd) {
        if (Header(line, lineEnd, "CSeq", &v, &vEnd)) {
            ReadNumber(&v, vEnd, &r.cseq);
        } else if (Header(line, lineEnd, "Session", &v, &vEnd)) {
            const char* semi = Chr(v, vEnd, ';');
            if (!Copy(v, semi ? semi : vEnd, r.session, sizeof r.session)) return SATIP_MALFORMED;
        } else if (Header(line, lineEnd, "Transport", &v, &vEnd)) {
            PortPair(v, vEnd, "client_port=", &r.clientRtpPort, &r.clientRtcpPort);
            Interleaving(v, vEnd, &r.interleaved, &r.rtpChannel, &r.rtcpChannel);
        }
    }
    *request = r;
    return SATIP_COMPLETE;
}

// ---- the tuner status ----------------------------------------------------------

namespace {

// Where the field "key=" of a status text starts (at the text's start or
// after ';'); nullptr when it is not there.
const char* StatusField(const char* text, const char* end, const char* key) {
    for (const char* p = text; (p = Find(p, end, key)) != nullptr; p += strlen(key))
        if (p == text || p[-1] == ';') return p + strlen(key);
    return nullptr;
}

bool IsFieldEnd(char c) { return c == ',' || c == ';' || c == '\r' || c == '\n' || IsBlank(c); }

}  // namespace

bool ParseTunerStatus(const char* text, size_t length, SatipStatus* status) {
    const char* end = text + length;
    const char* q = StatusField(text, end, "tuner=");
    if (!q) return false;
    uint32_t field[4];
    bool read = true;
    for (int i = 0; i < 4 && read; ++i) read = ReadNumber(&q, end, &field[i]) && (i == 3 || (q < end && *q++ == ','));
    if (!read || (q < end && !IsFieldEnd(*q))) return false;
    if (field[1] > 255 || field[2] > 1 || field[3] > 15) return false;
    SatipStatus s = {field[0], field[1], field[2], field[3], 0, 0, 0};
    // The echo of the tune: "...,<freq>,<pol>,"; blank or odd fields stay unknown.
    const char* fieldEnd = q;
    auto next = [&]() {
        q = fieldEnd < end && *fieldEnd == ',' ? fieldEnd + 1 : end;
        fieldEnd = q;
        while (fieldEnd < end && !IsFieldEnd(*fieldEnd)) ++fieldEnd;
    };
    next();
    if (q < fieldEnd && !ReadMhz(q, fieldEnd, &s.frequencyKhz)) s.frequencyKhz = 0;
    next();
    if (fieldEnd - q == 1) ParsePolarization(*q, &s.polarization);
    const char* src = StatusField(text, end, "src=");
    if (src && !ReadNumber(&src, end, &s.source)) s.source = 0;
    *status = s;
    return true;
}

bool StatusMatchesTune(const SatipStatus* status, const SatipTune* tune) {
    uint32_t apart = status->frequencyKhz > tune->frequencyKhz ? status->frequencyKhz - tune->frequencyKhz
                                                               : tune->frequencyKhz - status->frequencyKhz;
    return (!status->frequencyKhz || apart <= 1000) &&
           (!status->polarization || status->polarization == tune->polarization) &&
           (!status->source || status->source == tune->source);
}

bool ReportCounts(const SatipStatus* status, const SatipTune* tune, uint32_t msSincePlay) {
    bool early = status->level == 255 && status->lock == 1 && status->quality == 15;
    return !(early && msSincePlay < SATIP_EARLY_MS) && StatusMatchesTune(status, tune);
}

bool ParseRtcpApp(const uint8_t* data, size_t length, SatipStatus* status, uint64_t* sentAt) {
    size_t at = 0;
    if (sentAt) *sentAt = 0;
    while (length - at >= 4) {
        const uint8_t* packet = data + at;
        size_t size = (size_t(packet[2]) << 8 | packet[3]) * 4 + 4;
        if (sentAt && packet[1] == 200 && length - at >= 16)  // a sender report: its NTP timestamp
            for (int i = 8; i < 16; ++i) *sentAt = *sentAt << 8 | packet[i];
        bool app = (packet[0] >> 6) == 2 && packet[1] == 204 && length - at >= 16 && memcmp(packet + 8, "SES1", 4) == 0;
        if (app) {
            // The datagram bounds the text, not the APP's own length word (old minisatip's was a word off).
            size_t textLength = size_t(packet[14]) << 8 | packet[15];
            if (textLength > length - at - 16) return false;
            return ParseTunerStatus(reinterpret_cast<const char*>(packet + 16), textLength, status);
        }
        if ((packet[0] >> 6) != 2 || size > length - at) return false;
        at += size;
    }
    return false;
}

bool ParseSdpStatus(const char* text, size_t length, SatipStatus* status) {
    const char* p = text;
    const char* end = text + length;
    while (p < end) {
        const char* nl = Chr(p, end, '\n');
        const char* lineEnd = nl ? nl : end;
        if (StartsWith(p, lineEnd, "a=fmtp:33 ") && ParseTunerStatus(p + 10, size_t(lineEnd - p - 10), status))
            return true;
        p = lineEnd + 1;
    }
    return false;
}

uint32_t StatusPercent(const SatipStatus* status) { return (status->level * 100 + 127) / 255; }

float StatusSnrFigure(const SatipStatus* status) { return float(status->quality); }

size_t FormatTunerStatus(const SatipTune* tune, const SatipStatus* status, char* out, size_t size,
                         SatipStatusForm form) {
    uint32_t whole = tune->frequencyKhz / 1000, fraction = tune->frequencyKhz % 1000;
    size_t used = 0;
    if (form == SATIP_STATUS_V12)
        return Append(out, size, &used, "ver=1.2;src=%lu;tuner=%lu,%lu,%lu,%lu,,,,,,,,;pids=0,16,17",
                      (unsigned long)tune->source, (unsigned long)status->frontend, (unsigned long)status->level,
                      (unsigned long)status->lock, (unsigned long)status->quality)
                   ? used
                   : 0;
    bool fits =
        Append(out, size, &used, "ver=1.0;src=%lu;tuner=%lu,%lu,%lu,%lu,%lu.%02lu,%c,%s,%s,off,0.35,%lu,0;pids=0",
               (unsigned long)tune->source, (unsigned long)status->frontend, (unsigned long)status->level,
               (unsigned long)status->lock, (unsigned long)status->quality, (unsigned long)whole,
               (unsigned long)(fraction / 10), tune->polarization, tune->system == SATIP_DVBS2 ? "dvbs2" : "dvbs",
               tune->system == SATIP_DVBS2 ? "8psk" : "qpsk", (unsigned long)tune->symbolRate);
    return fits ? used : 0;
}

size_t BuildRtcpApp(uint32_t ssrc, const char* statusText, uint8_t* out, size_t size, uint32_t form, uint64_t sentAt) {
    size_t textLength = strlen(statusText);
    size_t app = 16 + ((textLength + 3) & ~size_t(3));
    // A sender report without report blocks (RFC 3550, 6.4.1) and an SDES with one CNAME item of
    // four letters (6.5), or an empty receiver report (6.4.2).
    size_t before = form & SATIP_RTCP_COMPOUND ? 28 + 16 : 8;
    if (textLength > 0xFFFF || before + app > size) return 0;
    auto put32 = [&](size_t at, uint32_t v) {
        out[at] = uint8_t(v >> 24), out[at + 1] = uint8_t(v >> 16), out[at + 2] = uint8_t(v >> 8),
        out[at + 3] = uint8_t(v);
    };
    memset(out, 0, before);
    if (form & SATIP_RTCP_COMPOUND) {
        put32(0, 0x80C80006u);
        put32(4, ssrc);
        put32(8, uint32_t(sentAt >> 32));
        put32(12, uint32_t(sentAt));
        put32(28, 0x81CA0003u);
        put32(32, ssrc);
        memcpy(out + 36, "\x01\x03sat", 6);  // CNAME "sat", then the end of the list
    } else {
        put32(0, 0x80C90001u);
        put32(4, ssrc);
    }
    // APP (RFC 3550, 6.7) named "SES1": identifier 0, the text's length, the text.
    uint8_t* a = out + before;
    size_t words = app / 4 - 1 + (form & SATIP_RTCP_LONG_APP ? 1 : 0);
    put32(before, 0x80CC0000u | uint32_t(words));
    put32(before + 4, ssrc);
    memcpy(a + 8, "SES1", 4);
    put32(before + 12, uint32_t(textLength));
    memset(a + 16, 0, app - 16);
    memcpy(a + 16, statusText, textLength);
    return before + app;
}

void BuildEmptyReceiverReport(uint32_t ssrc, uint8_t* out) {
    const uint8_t report[SATIP_EMPTY_RR_SIZE] = {
        0x80, 201, 0, 1, uint8_t(ssrc >> 24), uint8_t(ssrc >> 16), uint8_t(ssrc >> 8), uint8_t(ssrc)};
    memcpy(out, report, sizeof report);
}

// ---- the order of what arrives ----------------------------------------------

namespace {
constexpr uint16_t RTP_RESTART_BEHIND = 1000;
constexpr uint64_t NTP_RESTART_BEHIND = uint64_t(10) << 32;  // 10 s
}  // namespace

bool RtpIsNewer(SatipOrder* order, uint16_t sequence) {
    // How far behind the newest taken: 0 is the same packet again, up to 0x7FFF late or doubled, beyond it ahead.
    uint16_t behind = uint16_t(order->rtpSequence - sequence);
    bool newer = !order->rtpSeen || behind > RTP_RESTART_BEHIND;
    if (newer) order->rtpSeen = true, order->rtpSequence = sequence;
    return newer;
}

bool ReportIsNewer(SatipOrder* order, uint64_t sentAt) {
    if (!sentAt) return true;
    bool newer =
        !order->reportSeen || sentAt > order->reportSentAt || order->reportSentAt - sentAt > NTP_RESTART_BEHIND;
    if (newer) order->reportSeen = true, order->reportSentAt = sentAt;
    return newer;
}

// ---- RTP and RTCP over the RTSP connection ------------------------------------

void InitInterleaved(SatipInterleaved* reader, uint8_t* buffer, size_t size) {
    *reader = SatipInterleaved{buffer, size, 0, 0, 0};
}

uint8_t* InterleavedRoom(SatipInterleaved* reader, size_t* room) {
    if (reader->start) {
        memmove(reader->buffer, reader->buffer + reader->start, reader->end - reader->start);
        reader->end -= reader->start;
        reader->start = 0;
    }
    *room = reader->size - reader->end;
    return reader->buffer + reader->end;
}

void InterleavedCame(SatipInterleaved* reader, size_t count) {
    reader->end += count < reader->size - reader->end ? count : reader->size - reader->end;
}

SatipPiece NextInterleaved(SatipInterleaved* reader) {
    SatipPiece piece = {};
    for (;;) {
        const uint8_t* p = reader->buffer + reader->start;
        size_t have = reader->end - reader->start;
        if (reader->drop) {  // the rest of a frame too long to hold
            size_t gone = reader->drop < have ? reader->drop : have;
            reader->start += gone, reader->drop -= gone;
            if (reader->drop) return piece;
            continue;
        }
        if (!have) return piece;
        if (p[0] == '$') {
            if (have < 4) return piece;
            size_t length = size_t(p[2]) << 8 | p[3];
            if (4 + length > reader->size) {
                reader->drop = 4 + length;
                continue;
            }
            if (have < 4 + length) return piece;
            piece = SatipPiece{SATIP_PIECE_FRAME, p[1], p + 4, length, {}};
            reader->start += 4 + length;
            return piece;
        }
        SatipParse parsed = ParseRtspReply(reinterpret_cast<const char*>(p), have, &piece.reply);
        if (parsed == SATIP_COMPLETE) {
            piece.kind = SATIP_PIECE_REPLY, piece.data = p;
            piece.length = piece.reply.headerLength + piece.reply.contentLength;
            reader->start += piece.length;
            return piece;
        }
        bool full = have == reader->size;  // a reply that can never be whole is junk too
        if (parsed == SATIP_INCOMPLETE && !full) return piece;
        // Junk: up to the next byte that may start a frame or a reply.
        size_t skip = 1;
        while (skip < have && p[skip] != '$' && p[skip] != 'R') ++skip;
        reader->start += skip;
        piece = SatipPiece{SATIP_PIECE_JUNK, 0, p, skip, {}};
        return piece;
    }
}

// ---- finding a server ----------------------------------------------------------

bool ParseSsdpAnswer(const char* data, size_t length, char* location, size_t locationSize, uint16_t* rtspPort) {
    const char* p = data;
    const char* end = data + length;
    const char *line = nullptr, *lineEnd = nullptr, *v = nullptr, *vEnd = nullptr;
    if (!NextLine(&p, end, &line, &lineEnd)) return false;
    if (!StartsWith(line, lineEnd, "HTTP/1.1 200") && !StartsWith(line, lineEnd, "NOTIFY * HTTP/1.1")) return false;
    bool server = false, gone = false;
    const char *at = nullptr, *atEnd = nullptr;
    uint32_t port = SATIP_RTSP_PORT;
    while (NextLine(&p, end, &line, &lineEnd) && line != lineEnd) {
        if (Header(line, lineEnd, "ST", &v, &vEnd) || Header(line, lineEnd, "NT", &v, &vEnd))
            server = size_t(vEnd - v) == strlen(SATIP_SERVER_URN) && StartsWith(v, vEnd, SATIP_SERVER_URN);
        else if (Header(line, lineEnd, "NTS", &v, &vEnd))
            gone = Find(v, vEnd, "byebye") != nullptr;
        else if (Header(line, lineEnd, "LOCATION", &v, &vEnd))
            at = v, atEnd = vEnd;
        else if (Header(line, lineEnd, "X-SATIP-RTSP-Port", &v, &vEnd) &&
                 !(ReadNumber(&v, vEnd, &port) && v == vEnd && port >= 1 && port <= 65535))
            port = SATIP_RTSP_PORT;
    }
    if (!server || gone || !at || at == atEnd || !Copy(at, atEnd, location, locationSize)) return false;
    *rtspPort = uint16_t(port);
    return true;
}

bool ParseHttpUrl(const char* url, char* host, size_t hostSize, uint16_t* port, char* path, size_t pathSize) {
    const char* end = url + strlen(url);
    if (!StartsWith(url, end, "http://")) return false;
    const char* h = url + 7;
    const char* hostEnd = h;
    while (hostEnd < end && *hostEnd != ':' && *hostEnd != '/') ++hostEnd;
    if (hostEnd == h || !Copy(h, hostEnd, host, hostSize)) return false;
    uint32_t number = 80;
    const char* rest = hostEnd;
    if (rest < end && *rest == ':') {
        ++rest;
        if (!ReadNumber(&rest, end, &number) || number < 1 || number > 65535) return false;
    }
    if (rest < end && *rest != '/') return false;
    *port = uint16_t(number);
    static const char root[] = "/";
    return rest < end ? Copy(rest, end, path, pathSize) : Copy(root, root + 1, path, pathSize);
}

uint32_t DescriptionSatelliteTuners(const char* xml, size_t length) {
    const char* end = xml + length;
    uint32_t tuners = 0;
    for (const char* p = xml; (p = Find(p, end, "X_SATIPCAP")) != nullptr;) {
        const char* open = Chr(p, end, '>');
        if (!open) break;
        const char* close = Chr(open, end, '<');
        if (!close) close = end;
        // "DVBS2-2,DVBT-2": every DVBS2 entry counts
        for (const char* q = open; (q = Find(q, close, "DVBS2-")) != nullptr;) {
            q += 6;
            uint32_t n = 0;
            if (ReadNumber(&q, close, &n) && n <= 64 && tuners + n <= 64) tuners += n;
        }
        p = close;
    }
    return tuners;
}

// ---- satipcard.ini and the bridge's cache --------------------------------------

namespace {

// The value of key= in the [server] section, trimmed; false when the file has none.
bool ServerValue(const char* text, size_t length, const char* key, const char** value, const char** valueEnd) {
    const char* p = text;
    const char* end = text + length;
    bool inServer = false;
    while (p < end) {
        const char* nl = Chr(p, end, '\n');
        const char* line = p;
        const char* lineEnd = nl ? nl : end;
        p = lineEnd + 1;
        for (const char* c = line; c < lineEnd; ++c)
            if (*c == ';' || *c == '#') lineEnd = c;
        TrimBlanks(&line, &lineEnd);
        if (line == lineEnd) continue;
        if (*line == '[') {
            inServer = lineEnd[-1] == ']' && lineEnd - line == 8 && StartsWith(line + 1, lineEnd, "server");
            continue;
        }
        const char* eq = Chr(line, lineEnd, '=');
        if (!inServer || !eq) continue;
        const char* keyEnd = eq;
        while (keyEnd > line && IsBlank(keyEnd[-1])) --keyEnd;
        if (size_t(keyEnd - line) != strlen(key) || !StartsWith(line, keyEnd, key)) continue;
        *value = eq + 1;
        *valueEnd = lineEnd;
        TrimBlanks(value, valueEnd);
        return true;
    }
    return false;
}

}  // namespace

SatipAddress ParseServerAddress(const char* text, size_t length, char* host, size_t hostSize, uint16_t* port,
                                char* url) {
    const char *v = nullptr, *vEnd = nullptr;
    if (!ServerValue(text, length, "address", &v, &vEnd) || v == vEnd) return SATIP_ADDRESS_NONE;
    if (StartsWith(v, vEnd, "http://")) {
        // The device description: its host is the server, whose RTSP port is 554.
        char path[SATIP_PATH_MAX];
        uint16_t httpPort = 0;
        if (!Copy(v, vEnd, url, SATIP_URL_MAX) || !ParseHttpUrl(url, host, hostSize, &httpPort, path, sizeof path))
            return SATIP_ADDRESS_BAD;
        *port = SATIP_RTSP_PORT;
        return SATIP_ADDRESS_DESCRIPTION;
    }
    const char* colon = Chr(v, vEnd, ':');
    const char* hostEnd = colon ? colon : vEnd;
    for (const char* c = v; c < hostEnd; ++c) {
        bool ok = IsDigit(*c) || (Lower(*c) >= 'a' && Lower(*c) <= 'z') || *c == '.' || *c == '-' || *c == '_';
        if (!ok) return SATIP_ADDRESS_BAD;
    }
    uint32_t number = SATIP_RTSP_PORT;
    if (colon) {
        const char* digits = colon + 1;
        if (!ReadNumber(&digits, vEnd, &number) || digits != vEnd || number < 1 || number > 65535)
            return SATIP_ADDRESS_BAD;
    }
    if (hostEnd == v || !Copy(v, hostEnd, host, hostSize)) return SATIP_ADDRESS_BAD;
    *port = uint16_t(number);
    return SATIP_ADDRESS_GIVEN;
}

SatipTransport ParseServerTransport(const char* text, size_t length) {
    const char *v = nullptr, *vEnd = nullptr;
    if (!ServerValue(text, length, "transport", &v, &vEnd)) return SATIP_TRANSPORT_AUTO;
    if (vEnd - v == 3 && StartsWith(v, vEnd, "udp")) return SATIP_TRANSPORT_UDP;
    if (vEnd - v == 3 && StartsWith(v, vEnd, "tcp")) return SATIP_TRANSPORT_TCP;
    return SATIP_TRANSPORT_AUTO;
}

namespace {

// The next line of the cache that is a usable tune; false at the end.
bool NextCachedTune(const char** p, const char* end, SatipTune* tune) {
    while (*p < end) {
        const char* line = *p;
        const char* nl = Chr(line, end, '\n');
        *p = nl ? nl + 1 : end;
        if (ParseTuneQuery(line, size_t((nl ? nl : end) - line), tune)) return true;
    }
    return false;
}

bool SameTransponder(const SatipTune* a, const SatipTune* b) {
    SatipStatus echo = {0, 0, 0, 0, a->source, a->frequencyKhz, a->polarization};
    return StatusMatchesTune(&echo, b);
}

// A line that stays when the tune is noted: another transponder's, on DVB-S2.
bool Stays(const SatipTune* cached, const SatipTune* tune) {
    return cached->system == SATIP_DVBS2 && !SameTransponder(cached, tune);
}

// Appends the tune as a line.
void PutCachedTune(const SatipTune* tune, char* out, size_t* used) {
    char query[SATIP_QUERY_MAX];
    if (FormatTuneQuery(tune, query, sizeof query)) Append(out, SATIP_CACHE_MAX, used, "%s\n", query);
}

}  // namespace

SatipSystem CachedSystem(const char* text, size_t length, const SatipTune* tune) {
    const char* p = text;
    SatipTune cached;
    while (NextCachedTune(&p, text + length, &cached))
        if (SameTransponder(&cached, tune)) return cached.system;
    return SATIP_DVBS;
}

size_t NoteCachedSystem(const char* text, size_t length, const SatipTune* tune, char* out) {
    const char *p = text, *end = text + length;
    bool add = tune->system == SATIP_DVBS2;
    size_t stay = 0, used = 0;
    SatipTune cached;
    while (NextCachedTune(&p, end, &cached)) stay += Stays(&cached, tune);
    size_t drop = stay + add > SATIP_CACHE_LINES ? stay + add - SATIP_CACHE_LINES : 0;  // the oldest first
    for (p = text; NextCachedTune(&p, end, &cached);) {
        if (!Stays(&cached, tune)) continue;
        if (drop) {
            --drop;
            continue;
        }
        PutCachedTune(&cached, out, &used);
    }
    if (add) PutCachedTune(tune, out, &used);
    return used;
}
