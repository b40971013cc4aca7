// dishserver.exe: the virtual dish as a SAT>IP server (SAT>IP Protocol
// Specification 1.2.2 over RTSP, RFC 2326, and RTP/RTCP, RFC 3550), so that
// Orvalis through satipcard.dll, or any other SAT>IP client, can practise on
// it. One tuner: the newest SETUP takes it. The signal is the card's: the
// [dish] of the scenario (steered live by dishsim.exe when that runs), or
// its signal lines.
//
//   dishserver.exe [/port=<n>] [/timeout=<s>] [/ssdp] [/refuse=<status>]
//                  [/silent] [/nortcp] [/msys=dvbs|dvbs2] [/quirks=<name>[=<n>],...]
//                  [/tables=none|nonit|no43|relay=<position>|badcrc|split]
//
// /ssdp answers discovery; /refuse answers every SETUP with that status;
// /silent accepts connections and never answers; /nortcp sends no RTCP, so
// a client must ask DESCRIBE; /msys locks only on that system; /quirks
// behaves like other servers and plays the network between (see Habits);
// /tables breaks the stream's tables (see ts_feed.h). Every request, every
// change of the reported level and the datagrams a client sends to the
// server's ports go to the card's log.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "driver/satip_protocol.h"
#include "simcard/dishserver/ts_feed.h"
#include "simcard/scenario_file.h"
#include "simcard/simcard.h"
#include "simcard/sky_folder.h"
#include "tuner/transponder_text.h"

HMODULE DriverModule;
ULONGLONG DriverLoadTick;
uint32_t DriverNow() { return uint32_t(GetTickCount64() - DriverLoadTick); }

constexpr uint32_t REPORT_MS = 100;
constexpr int CLIENTS = 4;
constexpr size_t CLIENT_BUFFER = 4096;
constexpr uint32_t STREAM_ID = 1;
constexpr uint16_t SSDP_PORT = 1900;
constexpr size_t REPLY_MAX = 2048;

// The habits of other servers, so that a test can be a different box each time.
struct Habits {
    bool early;       // "early": full level, lock and quality for EARLY_MS after each PLAY, and in a
                      // DESCRIBE of a stream that is not playing (minisatip since 2022)
    bool play404;     // "play404": any SETUP is taken, every PLAY answers 404 (minisatip without a tuner)
    bool keep;        // "keep": the session outlives its first TEARDOWN; SETUP answers 404 while it
                      // stands, a second TEARDOWN ends it (IDL4K, GSSBOX)
    bool headers;     // "headers": "Cseq:", "session:<id>;timeout=" without a space, Transport's keys
                      // in another order with source= and destination=, a zero-padded stream id
    bool noTimeout;   // "notimeout": Session without ";timeout=" (60 s)
    bool compound;    // "compound": RTCP as SR, SDES, then APP
    bool longApp;     // "applength": the APP's length word one word too long (old minisatip)
    bool ver12;       // "ver12": "ver=1.2;" and the fields after the fourth blank
    bool emptyRtp;    // "emptyrtp": RTP packets without payload
    bool mute;        // "mute": no RTP and no RTCP from MUTE_AFTER_MS after each PLAY, while RTSP is
                      // answered (a stalled tuner)
    bool strictMsys;  // "strictmsys": no lock when msys is not the transponder's system: DVB-S for
                      // those in the lists, DVB-S2 for the others
    // How the stream comes: "tcp" serves it over the RTSP connection when asked; without it (or
    // with "notcp", as OctopusNet) an interleaved SETUP hears 461. "noudp": no datagram ever
    // reaches the client (a firewall); the way it would open is still logged.
    bool tcp, noUdp;
    // The network between, for UDP: "loss=<percent>" dropped, "jitter=<ms>" each datagram
    // delayed up to that long, "reorder" delays independent so that datagrams overtake each
    // other (without it they keep their order), "dup" one in ten sent twice, "outage=<ms>" all
    // UDP stops once, that long, OUTAGE_AFTER_MS after a PLAY.
    bool reorder, dup;
    uint32_t lossPercent, jitterMs, outageMs;
};

constexpr uint32_t EARLY_MS = 600;
constexpr uint32_t MUTE_AFTER_MS = 1000;
constexpr uint32_t OUTAGE_AFTER_MS = 5000;
constexpr int DELAYED_MAX = 256;  // datagrams held back by the jitter
constexpr size_t DATAGRAM_MAX = 1500;

struct Datagram {
    uint32_t due;
    bool rtcp;
    uint16_t length;
    uint8_t bytes[DATAGRAM_MAX];
};

struct Client {
    SOCKET socket;
    char buffer[CLIENT_BUFFER];
    size_t have;
};

struct DishServer {
    uint16_t port = SATIP_RTSP_PORT;
    uint32_t timeoutSeconds = 60;
    bool ssdp = false, silent = false, noRtcp = false;
    int refuse = 0;
    int onlySystem = -1;
    Habits habits = {};
    Scenario scenario;
    DishCard dish;
    // The RTP and RTCP ports, and the feed's own: what the feed writes comes back there to
    // go out over the network's habits.
    SOCKET listener = INVALID_SOCKET, rtp = INVALID_SOCKET, rtcp = INVALID_SOCKET, feed = INVALID_SOCKET,
           discovery = INVALID_SOCKET;
    sockaddr_in feedAt;
    Client clients[CLIENTS];
    // The one stream.
    char session[SATIP_SESSION_MAX];
    bool playing;
    SatipTune tune;
    sockaddr_in rtpTo, rtcpTo;
    Client* over;  // the RTSP connection the stream goes over, or nullptr for UDP
    uint8_t channels[2];
    uint32_t tunedAt, playedAt, lastRequest, lastReported = UINT32_MAX, sessions;
    bool kept;       // "keep": the session was torn down once and still stands
    bool opened[2];  // a datagram came to our RTP, RTCP port in this session
    uint16_t sequence;
    // The network between: datagrams held back, the one outage.
    Datagram delayed[DELAYED_MAX];
    int delayedCount;
    uint32_t lastDue, outageAt, random = 1;
    bool outageDone, inOutage;
    Sky* sky;  // "strictmsys": the lists, to tell a transponder's system
};

static DishServer Server;

// "strictmsys": DVB-S for the transponders the lists hold (the card's own
// limit), DVB-S2 for the others.
static SatipSystem TransponderSystem(const SatipTune* tune) {
    bool vertical = tune->polarization == 'v' || tune->polarization == 'r';
    for (uint32_t t = 0; Server.sky && t < Server.sky->transponderCount; ++t) {
        const SkyTransponder* tp = &Server.sky->transponders[t];
        uint32_t apart = tp->frequency > tune->frequencyKhz ? tp->frequency - tune->frequencyKhz
                                                            : tune->frequencyKhz - tp->frequency;
        if (apart <= 1000 && (tp->polarization != 0) == vertical) return SATIP_DVBS;
    }
    return SATIP_DVBS2;
}

static uint32_t Random(uint32_t below) {  // a fixed sequence: a test's network is the same every run
    Server.random = Server.random * 1103515245u + 12345u;
    return below ? (Server.random >> 8) % below : 0;
}

static void SendNow(bool rtcp, const uint8_t* bytes, size_t length) {
    const sockaddr_in* to = rtcp ? &Server.rtcpTo : &Server.rtpTo;
    sendto(rtcp ? Server.rtcp : Server.rtp, reinterpret_cast<const char*>(bytes), int(length), 0,
           reinterpret_cast<const sockaddr*>(to), sizeof *to);
}

// One RTP or RTCP packet to the client: over its RTSP connection as a "$"
// frame, or as a datagram through the network's habits.
static void Emit(bool rtcp, const uint8_t* bytes, size_t length, uint32_t now) {
    const Habits& h = Server.habits;
    if (Server.over) {
        uint8_t frame[4 + DATAGRAM_MAX];
        if (length > DATAGRAM_MAX) return;
        frame[0] = '$', frame[1] = Server.channels[rtcp], frame[2] = uint8_t(length >> 8), frame[3] = uint8_t(length);
        memcpy(frame + 4, bytes, length);
        send(Server.over->socket, reinterpret_cast<char*>(frame), int(length + 4), 0);
        return;
    }
    if (h.noUdp || Server.inOutage || Random(100) < h.lossPercent || length > DATAGRAM_MAX) return;
    for (int copies = h.dup && Random(10) == 0 ? 2 : 1; copies > 0; --copies) {
        if (!h.jitterMs) {
            SendNow(rtcp, bytes, length);
            continue;
        }
        if (Server.delayedCount == DELAYED_MAX) return;
        uint32_t due = now + Random(h.jitterMs + 1);
        if (!h.reorder && int32_t(Server.lastDue - due) > 0) due = Server.lastDue;  // a queue keeps the order
        Server.lastDue = due;
        Datagram* d = &Server.delayed[Server.delayedCount++];
        d->due = due, d->rtcp = rtcp, d->length = uint16_t(length);
        memcpy(d->bytes, bytes, length);
    }
}

// The datagrams whose delay has passed, in the order they fall due.
static void SendDue(uint32_t now) {
    for (;;) {
        int first = -1;
        for (int i = 0; i < Server.delayedCount; ++i)
            if (int32_t(now - Server.delayed[i].due) >= 0 &&
                (first < 0 || int32_t(Server.delayed[first].due - Server.delayed[i].due) > 0))
                first = i;
        if (first < 0) return;
        Datagram* d = &Server.delayed[first];
        if (Server.playing && !Server.over) SendNow(d->rtcp, d->bytes, d->length);
        *d = Server.delayed[--Server.delayedCount];
    }
}

// "outage": all UDP stops once, from OUTAGE_AFTER_MS after a PLAY.
static void CheckOutage(uint32_t now) {
    uint32_t ms = Server.habits.outageMs;
    if (!ms || Server.outageDone || !Server.playing || Server.over) return;
    bool in = int32_t(now - Server.outageAt) >= 0 && now - Server.outageAt < ms;
    if (in != Server.inOutage) DriverLog(now, in ? "Outage begins for %lu ms" : "Outage ends", (unsigned long)ms);
    Server.outageDone = Server.inOutage && !in;
    Server.inOutage = in;
}

// The status now; note gets where the dish points and what it hears.
static SatipStatus Measure(uint32_t now, char* note, size_t noteSize) {
    SatipStatus status = {1, 0, 0, 0, 0, 0, 0};
    note[0] = 0;
    if (Server.onlySystem >= 0 && Server.tune.system != Server.onlySystem) return status;
    if (Server.habits.strictMsys && Server.tune.system != TransponderSystem(&Server.tune)) return status;
    SignalSample sample;
    uint32_t ms = now - Server.tunedAt;
    if (Server.scenario.dish.present) {
        LnbChoice lnb = ChooseLnb(Server.tune.frequencyKhz);
        uint32_t polarization = Server.tune.polarization == 'v' || Server.tune.polarization == 'r';
        // src n is the n-th LNB of a DiSEqC switch: the card's value LNBn.
        CardTuning tuning = {lnb.tone,
                             lnb.secondOscillator ? lnb.secondOscillator : lnb.oscillator,
                             polarization,
                             Server.tune.symbolRate,
                             Server.tune.frequencyKhz,
                             2 + Server.tune.source};
        sample = DishCardSignal(&Server.dish, &Server.scenario.dish, &tuning, true, ms, note, noteSize);
    } else {
        sample = SignalAt(&Server.scenario, ms);
    }
    int32_t percent = sample.level < 0 ? 0 : sample.level > 100 ? 100 : sample.level;
    double quality = sample.snr * 15 / LEVEL_FULL_SCALE_DB + 0.5;
    status.lock = sample.lock;
    status.level = sample.lock ? uint32_t(percent * 255 + 50) / 100 : 0;
    status.quality = quality < 0 ? 0 : quality > 15 ? 15 : uint32_t(quality);
    return status;
}

// What the server says: the measurement, or the early full report. heard
// (when given) gets whether the tuner really has a lock: the stream follows it.
static SatipStatus Reported(uint32_t now, char* note, size_t noteSize, bool* heard = nullptr) {
    SatipStatus status = Measure(now, note, noteSize);
    if (heard) *heard = status.lock;
    if (Server.habits.early && (!Server.playing || now - Server.playedAt < EARLY_MS)) {
        status.level = 255, status.lock = 1, status.quality = 15;
        snprintf(note, noteSize, "early");
    }
    return status;
}

// Every REPORT_MS while playing: an RTCP report and RTP packets of MPEG-TS:
// with a lock the tables of the satellite heard (ts_feed.cpp), without one a
// null packet, enough for a client to see a stream.
static void Report(uint32_t now) {
    char note[128];
    bool heard;
    SatipStatus status = Reported(now, note, sizeof note, &heard);
    uint32_t packed = status.lock | status.level << 1 | status.quality << 9;
    if (packed != Server.lastReported) {
        Server.lastReported = packed;
        DriverLog(now, "Report %lu %s%slevel=%lu lock=%lu quality=%lu", (unsigned long)StatusPercent(&status), note,
                  note[0] ? " " : "", (unsigned long)status.level, (unsigned long)status.lock,
                  (unsigned long)status.quality);
    }
    char text[256];
    uint8_t packet[12 + 188];
    const Habits& h = Server.habits;
    if (!Server.noRtcp &&
        FormatTunerStatus(&Server.tune, &status, text, sizeof text, h.ver12 ? SATIP_STATUS_V12 : SATIP_STATUS_V10)) {
        uint32_t form =
            (h.compound ? uint32_t(SATIP_RTCP_COMPOUND) : 0u) | (h.longApp ? uint32_t(SATIP_RTCP_LONG_APP) : 0u);
        // The sender report's NTP timestamp: seconds and a fraction of them, from the server's clock.
        uint64_t sentAt = uint64_t(now / 1000 + 1) << 32 | uint64_t(now % 1000) * 4294967u;
        size_t length = BuildRtcpApp(STREAM_ID, text, packet, sizeof packet, form, sentAt);
        Emit(true, packet, length, now);
    }
    if (h.emptyRtp) {  // minisatip's sign of life when its tuner gives nothing: a bare RTP header
        uint16_t sequence = Server.sequence++;
        uint32_t stamp = now * 90;
        uint8_t header[12] = {0x80,
                              33,
                              uint8_t(sequence >> 8),
                              uint8_t(sequence),
                              uint8_t(stamp >> 24),
                              uint8_t(stamp >> 16),
                              uint8_t(stamp >> 8),
                              uint8_t(stamp),
                              0,
                              0,
                              0,
                              STREAM_ID};
        Emit(false, header, sizeof header, now);
        return;
    }
    SendFeed(Server.feed, &Server.feedAt, &Server.sequence, now, &Server.tune, heard,
             Server.scenario.dish.present ? Server.dish.heardKey : -1);
    uint8_t packet2[DATAGRAM_MAX];
    for (int got; (got = recv(Server.feed, reinterpret_cast<char*>(packet2), sizeof packet2, 0)) > 0;)
        Emit(false, packet2, size_t(got), now);
}

static void Reply(Client* client, const char* text, size_t length) { send(client->socket, text, int(length), 0); }

static uint16_t LocalPort(SOCKET s) {
    sockaddr_in local = {};
    int length = sizeof local;
    getsockname(s, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// A datagram to our RTP or RTCP port: a client opening the way through its
// firewall or NAT. Logged once a port and session.
static void Opened(bool rtcp) {
    uint8_t data[DATAGRAM_MAX];
    sockaddr_in from = {};
    int fromLength = sizeof from;
    int got = recvfrom(rtcp ? Server.rtcp : Server.rtp, reinterpret_cast<char*>(data), sizeof data, 0,
                       reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got <= 0 || Server.opened[rtcp]) return;
    Server.opened[rtcp] = true;
    bool report = got == SATIP_EMPTY_RR_SIZE && data[0] == 0x80 && data[1] == 201;
    DriverLog(DriverNow(), "Datagram to the %s port from %s:%u: %d bytes%s", rtcp ? "RTCP" : "RTP",
              inet_ntoa(from.sin_addr), ntohs(from.sin_port), got, report ? ", an empty receiver report" : "");
}

static int Answer(Client* client, const RtspRequest* request, char* extra, size_t extraSize, char* body,
                  size_t bodySize) {
    uint32_t now = DriverNow();
    bool ours = Server.session[0] && strcmp(request->session, Server.session) == 0;
    const char* method = request->method;
    if (strcmp(method, "OPTIONS") == 0) {
        snprintf(extra, extraSize, "Public: OPTIONS, SETUP, PLAY, TEARDOWN, DESCRIBE\r\n");
        if (ours) Server.lastRequest = now;
        return 200;
    }
    const Habits& h = Server.habits;
    if (strcmp(method, "SETUP") == 0) {
        SatipTune tune;
        if (Server.refuse) return Server.refuse;
        if (Server.kept && !ours) return 404;  // the old session still holds the tuner
        if (!ParseTuneQuery(request->uri, strlen(request->uri), &tune)) return 400;
        if (request->interleaved ? !h.tcp : !request->clientRtpPort) return 461;
        sockaddr_in peer = {};
        int length = sizeof peer;
        getpeername(client->socket, reinterpret_cast<sockaddr*>(&peer), &length);
        Server.rtpTo = Server.rtcpTo = peer;
        Server.rtpTo.sin_port = htons(request->clientRtpPort);
        Server.rtcpTo.sin_port = htons(request->clientRtcpPort ? request->clientRtcpPort : request->clientRtpPort + 1);
        Server.over = request->interleaved ? client : nullptr;
        Server.channels[0] = request->rtpChannel, Server.channels[1] = request->rtcpChannel;
        Server.opened[0] = Server.opened[1] = false;
        snprintf(Server.session, sizeof Server.session, "%08lX", (unsigned long)(0x5A7100 + ++Server.sessions));
        Server.tune = tune;
        Server.tunedAt = Server.lastRequest = now;
        Server.playing = Server.kept = false;
        char address[INET_ADDRSTRLEN] = "", timeout[24] = "";
        inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
        if (!h.noTimeout) snprintf(timeout, sizeof timeout, ";timeout=%lu", (unsigned long)Server.timeoutSeconds);
        unsigned rtp = request->clientRtpPort, rtcp = ntohs(Server.rtcpTo.sin_port);
        unsigned serverRtp = LocalPort(Server.rtp), serverRtcp = LocalPort(Server.rtcp);
        if (Server.over) {
            DriverLog(now, "Stream over the RTSP connection, channels %u-%u", Server.channels[0], Server.channels[1]);
            snprintf(extra, extraSize,
                     "Session: %s%s\r\nTransport: RTP/AVP/TCP;unicast;interleaved=%u-%u\r\ncom.ses.streamID: %lu\r\n",
                     Server.session, timeout, Server.channels[0], Server.channels[1], (unsigned long)STREAM_ID);
        } else if (h.headers)
            snprintf(extra, extraSize,
                     "session:%s%s\r\nTransport: RTP/AVP;unicast;source=%s;server_port=%u-%u;client_port=%u-%u;"
                     "destination=%s\r\ncom.ses.streamID: %04lu\r\n",
                     Server.session, timeout, "127.0.0.1", serverRtp, serverRtcp, rtp, rtcp, address,
                     (unsigned long)STREAM_ID);
        else
            snprintf(extra, extraSize,
                     "Session: %s%s\r\nTransport: RTP/AVP;unicast;destination=%s;client_port=%u-%u;"
                     "server_port=%u-%u\r\ncom.ses.streamID: %lu\r\n",
                     Server.session, timeout, address, rtp, rtcp, serverRtp, serverRtcp, (unsigned long)STREAM_ID);
        return 200;
    }
    if (strcmp(method, "PLAY") == 0 || strcmp(method, "TEARDOWN") == 0) {
        if (!ours) return 454;
        Server.lastRequest = now;
        snprintf(extra, extraSize, "Session: %s\r\n", Server.session);
        if (method[0] == 'T') {
            Server.kept = h.keep && !Server.kept;
            if (!Server.kept) Server.session[0] = 0;
            Server.playing = false;
            return 200;
        }
        if (h.play404) return 404;
        SatipTune tune;
        if (strchr(request->uri, '?')) {
            if (!ParseTuneQuery(request->uri, strlen(request->uri), &tune)) return 400;
            Server.tune = tune;
            Server.tunedAt = now;
        }
        Server.playing = true;
        Server.playedAt = now;
        if (!Server.outageDone && !Server.inOutage) Server.outageAt = now + OUTAGE_AFTER_MS;
        return 200;
    }
    if (strcmp(method, "DESCRIBE") == 0) {
        if (!Server.session[0]) return 404;
        if (ours) Server.lastRequest = now;
        char note[128];
        SatipStatus status = Reported(now, note, sizeof note);
        char text[256];
        FormatTunerStatus(&Server.tune, &status, text, sizeof text,
                          Server.habits.ver12 ? SATIP_STATUS_V12 : SATIP_STATUS_V10);
        int length = snprintf(body, bodySize,
                              "v=0\r\no=- %lu 1 IN IP4 0.0.0.0\r\ns=SatIPServer:1 1\r\nt=0 0\r\n"
                              "m=video 0 RTP/AVP 33\r\nc=IN IP4 0.0.0.0\r\na=control:stream=%lu\r\n"
                              "a=fmtp:33 %s\r\na=%s\r\n",
                              (unsigned long)Server.sessions, (unsigned long)STREAM_ID, text,
                              Server.playing ? "sendonly" : "inactive");
        snprintf(extra, extraSize, "Content-Type: application/sdp\r\nContent-Base: rtsp://%s/\r\n", "0.0.0.0");
        return length > 0 ? 200 : 500;
    }
    return 501;
}

static const char DESCRIPTION[] =
    "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
    "<specVersion><major>1</major><minor>1</minor></specVersion><device>"
    "<deviceType>urn:ses-com:device:SatIPServer:1</deviceType><friendlyName>Orvalis virtual dish</friendlyName>"
    "<manufacturer>Orvalis</manufacturer><modelName>dishserver</modelName>"
    "<UDN>uuid:0a5a7100-0000-4000-8000-000000000001</UDN>"
    "<satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">DVBS2-1</satip:X_SATIPCAP></device></root>\r\n";

// One request from a client; false when its connection should close.
static bool Serve(Client* client, const RtspRequest* request) {
    char reply[REPLY_MAX + sizeof DESCRIPTION];
    if (strcmp(request->method, "GET") == 0) {
        int length = snprintf(reply, sizeof reply,
                              "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %u\r\n"
                              "Connection: close\r\n\r\n%s",
                              unsigned(sizeof DESCRIPTION - 1), DESCRIPTION);
        Reply(client, reply, size_t(length));
        DriverLog(DriverNow(), "GET %s -> 200", request->uri);
        return false;
    }
    char extra[512] = "", body[1024] = "";
    int status = Answer(client, request, extra, sizeof extra, body, sizeof body);
    DriverLog(DriverNow(), "%s %s session=%s -> %d", request->method, request->uri,
              request->session[0] ? request->session : "-", status);
    int length = snprintf(reply, sizeof reply, "RTSP/1.0 %d %s\r\n%s: %lu\r\n%sContent-Length: %u\r\n\r\n%s", status,
                          status == 200 ? "OK" : "Error", Server.habits.headers ? "Cseq" : "CSeq",
                          (unsigned long)request->cseq, extra, unsigned(strlen(body)), body);
    if (length > 0) Reply(client, reply, size_t(length) < sizeof reply ? size_t(length) : sizeof reply - 1);
    return true;
}

static void CloseClient(Client* client) {
    if (client == Server.over) {  // the stream went over this connection: it ends with it
        DriverLog(DriverNow(), "Session %s ends with its connection", Server.session);
        Server.over = nullptr;
        Server.session[0] = 0;
        Server.playing = false;
    }
    closesocket(client->socket);
    client->socket = INVALID_SOCKET;
    client->have = 0;
}

static void ReadClient(Client* client) {
    int got = recv(client->socket, client->buffer + client->have, int(CLIENT_BUFFER - client->have), 0);
    if (got <= 0) return CloseClient(client);
    client->have += size_t(got);
    for (;;) {
        RtspRequest request;
        SatipParse parsed = ParseRtspRequest(client->buffer, client->have, &request);
        if (parsed == SATIP_INCOMPLETE && client->have < CLIENT_BUFFER) return;
        if (parsed != SATIP_COMPLETE) return CloseClient(client);  // nothing sensible will follow
        if (Server.silent) {
            client->have = 0;  // heard, and never answered
            return;
        }
        bool keep = Serve(client, &request);
        memmove(client->buffer, client->buffer + request.headerLength, client->have - request.headerLength);
        client->have -= request.headerLength;
        if (!keep) return CloseClient(client);
    }
}

// An M-SEARCH for SAT>IP servers (or for everything): our answer, with the
// address by which the asker reaches us.
static void AnswerDiscovery() {
    char message[1500];
    sockaddr_in from = {};
    int fromLength = sizeof from;
    int got =
        recvfrom(Server.discovery, message, sizeof message - 1, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got <= 0 || Server.silent) return;
    message[got] = 0;
    if (strncmp(message, "M-SEARCH", 8) != 0 || (!strstr(message, SATIP_SERVER_URN) && !strstr(message, "ssdp:all")))
        return;
    SOCKET probe = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local = {};
    int localLength = sizeof local;
    connect(probe, reinterpret_cast<sockaddr*>(&from), sizeof from);
    getsockname(probe, reinterpret_cast<sockaddr*>(&local), &localLength);
    closesocket(probe);
    char address[INET_ADDRSTRLEN] = "127.0.0.1";
    inet_ntop(AF_INET, &local.sin_addr, address, sizeof address);
    char answer[512], rtspPort[40] = "";
    if (Server.port != SATIP_RTSP_PORT) snprintf(rtspPort, sizeof rtspPort, "X-SATIP-RTSP-Port: %u\r\n", Server.port);
    int length = snprintf(answer, sizeof answer,
                          "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\n"
                          "LOCATION: http://%s:%u/desc.xml\r\nSERVER: Wine/1.0 UPnP/1.1 dishserver/1.0\r\n"
                          "ST: %s\r\nUSN: uuid:0a5a7100-0000-4000-8000-000000000001::%s\r\n"
                          "BOOTID.UPNP.ORG: 1\r\nCONFIGID.UPNP.ORG: 1\r\n%s\r\n",
                          address, Server.port, SATIP_SERVER_URN, SATIP_SERVER_URN, rtspPort);
    sendto(Server.discovery, answer, length, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    DriverLog(DriverNow(), "M-SEARCH from %s -> LOCATION http://%s:%u/desc.xml", inet_ntoa(from.sin_addr), address,
              Server.port);
}

// Every socket on 127.0.0.1 only: the practice dish is this machine's, and a
// test's server is nobody's business on the network. Discovery still finds
// it: the bridge asks 127.0.0.1 as well as the SSDP group.
static SOCKET BoundSocket(int type, uint16_t port) {
    SOCKET s = socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP);
    BOOL yes = TRUE;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        s = INVALID_SOCKET;
    }
    return s;
}

// The habits by name, as /quirks= gives them and the log says them.
static const struct {
    const char* name;
    bool Habits::*flag;
    uint32_t Habits::*value;
} HABITS[] = {{"early", &Habits::early, nullptr},
              {"play404", &Habits::play404, nullptr},
              {"keep", &Habits::keep, nullptr},
              {"headers", &Habits::headers, nullptr},
              {"notimeout", &Habits::noTimeout, nullptr},
              {"compound", &Habits::compound, nullptr},
              {"applength", &Habits::longApp, nullptr},
              {"ver12", &Habits::ver12, nullptr},
              {"emptyrtp", &Habits::emptyRtp, nullptr},
              {"mute", &Habits::mute, nullptr},
              {"strictmsys", &Habits::strictMsys, nullptr},
              {"tcp", &Habits::tcp, nullptr},
              {"notcp", nullptr, nullptr},
              {"noudp", &Habits::noUdp, nullptr},
              {"reorder", &Habits::reorder, nullptr},
              {"dup", &Habits::dup, nullptr},
              {"loss", nullptr, &Habits::lossPercent},
              {"jitter", nullptr, &Habits::jitterMs},
              {"outage", nullptr, &Habits::outageMs}};

// "/quirks=early,keep,loss=10": the habits by name, some with a figure.
static void ReadHabits(const char* names) {
    for (const char* p = names; *p;) {
        size_t n = strcspn(p, ",");
        size_t nameLength = strcspn(p, ",=");
        bool found = false;
        for (const auto& k : HABITS) {
            if (strlen(k.name) != nameLength || strncmp(p, k.name, nameLength) != 0) continue;
            found = true;
            if (k.flag) Server.habits.*k.flag = true;
            if (k.value) Server.habits.*k.value = uint32_t(atoi(p + nameLength + (nameLength < n)));
        }
        if (!found) fprintf(stderr, "dishserver: no quirk %.*s\n", int(n), p);
        p += n + (p[n] == ',');
    }
}

static void ReadOptions(int count, char** words) {
    for (int i = 1; i < count; ++i) {
        const char* w = words[i];
        if (strncmp(w, "/port=", 6) == 0) Server.port = uint16_t(atoi(w + 6));
        if (strncmp(w, "/timeout=", 9) == 0) Server.timeoutSeconds = uint32_t(atoi(w + 9));
        if (strncmp(w, "/refuse=", 8) == 0) Server.refuse = atoi(w + 8);
        if (strcmp(w, "/ssdp") == 0) Server.ssdp = true;
        if (strcmp(w, "/silent") == 0) Server.silent = true;
        if (strcmp(w, "/nortcp") == 0) Server.noRtcp = true;
        if (strcmp(w, "/msys=dvbs") == 0) Server.onlySystem = SATIP_DVBS;
        if (strcmp(w, "/msys=dvbs2") == 0) Server.onlySystem = SATIP_DVBS2;
        if (strncmp(w, "/quirks=", 8) == 0) ReadHabits(w + 8);
        ReadFeedOption(w);
    }
    if (Server.timeoutSeconds == 0) Server.timeoutSeconds = 60;
}

int main(int count, char** words) {
    DriverModule = GetModuleHandleA(nullptr);
    DriverLoadTick = GetTickCount64();
    ReadOptions(count, words);
    ReadProgramScenario(&Server.scenario);
    if (Server.scenario.dish.present) LoadDishCard(&Server.scenario.dish, &Server.dish);
    StartFeed(Server.scenario.dish.present ? Server.dish.sky : nullptr);
    if (Server.habits.strictMsys && (Server.sky = static_cast<Sky*>(calloc(1, sizeof(Sky)))) != nullptr) {
        char folder[260];  // read before serving: the lists take a while
        LoadSkyFolder("", Server.sky, folder, sizeof folder);
    }
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    Server.listener = BoundSocket(SOCK_STREAM, Server.port);
    Server.rtp = BoundSocket(SOCK_DGRAM, uint16_t(Server.port + 1));
    if (Server.rtp == INVALID_SOCKET) Server.rtp = BoundSocket(SOCK_DGRAM, 0);
    Server.rtcp = BoundSocket(SOCK_DGRAM, uint16_t(Server.port + 2));
    if (Server.rtcp == INVALID_SOCKET) Server.rtcp = BoundSocket(SOCK_DGRAM, 0);
    Server.feed = BoundSocket(SOCK_DGRAM, 0);
    u_long nonBlocking = 1;
    ioctlsocket(Server.feed, FIONBIO, &nonBlocking);
    int feedLength = sizeof Server.feedAt;
    getsockname(Server.feed, reinterpret_cast<sockaddr*>(&Server.feedAt), &feedLength);
    if (Server.listener == INVALID_SOCKET || listen(Server.listener, 8) != 0) {
        fprintf(stderr, "dishserver: port %u cannot be used\n", Server.port);
        return 1;
    }
    if (Server.ssdp) Server.discovery = BoundSocket(SOCK_DGRAM, SSDP_PORT);
    for (Client& client : Server.clients) client.socket = INVALID_SOCKET;
    const Habits& h = Server.habits;
    char quirks[256] = "";
    size_t used = 0;
    for (const auto& k : HABITS) {
        uint32_t value = k.value ? h.*k.value : 0;
        if (used < sizeof quirks && ((k.flag && h.*k.flag) || value))
            used += size_t(
                snprintf(quirks + used, sizeof quirks - used, value ? "%s=%lu," : "%s,", k.name, (unsigned long)value));
    }
    DriverLog(DriverNow(), "Serving port=%u timeout=%lu ssdp=%d refuse=%d silent=%d rtcp=%d quirks=%s-", Server.port,
              (unsigned long)Server.timeoutSeconds, Server.ssdp && Server.discovery != INVALID_SOCKET, Server.refuse,
              Server.silent, !Server.noRtcp, quirks);
    printf("dishserver: SAT>IP on port %u\n", Server.port);
    fflush(stdout);
    uint32_t nextReport = DriverNow();
    for (;;) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(Server.listener, &set);
        for (SOCKET s : {Server.discovery, Server.rtp, Server.rtcp})
            if (s != INVALID_SOCKET) FD_SET(s, &set);
        for (Client& client : Server.clients)
            if (client.socket != INVALID_SOCKET) FD_SET(client.socket, &set);
        uint32_t now = DriverNow();
        uint32_t wait = int32_t(nextReport - now) > 0 ? nextReport - now : 0;
        if (Server.delayedCount && wait > 5) wait = 5;  // the jitter's datagrams go out within 5 ms of their time
        timeval timeout = {0, long(wait * 1000)};
        select(0, &set, nullptr, nullptr, &timeout);
        if (FD_ISSET(Server.listener, &set)) {
            SOCKET accepted = accept(Server.listener, nullptr, nullptr);
            Client* free = nullptr;
            for (Client& client : Server.clients)
                if (client.socket == INVALID_SOCKET && !free) free = &client;
            if (free) {
                free->socket = accepted;
                BOOL noDelay = TRUE;
                setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
            } else if (accepted != INVALID_SOCKET) {
                closesocket(accepted);
            }
        }
        for (Client& client : Server.clients)
            if (client.socket != INVALID_SOCKET && FD_ISSET(client.socket, &set)) ReadClient(&client);
        if (Server.discovery != INVALID_SOCKET && FD_ISSET(Server.discovery, &set)) AnswerDiscovery();
        for (bool rtcp : {false, true})
            if (FD_ISSET(rtcp ? Server.rtcp : Server.rtp, &set)) Opened(rtcp);
        now = DriverNow();
        CheckOutage(now);
        SendDue(now);
        if (Server.session[0] && now - Server.lastRequest > Server.timeoutSeconds * 1000) {
            DriverLog(now, "Session %s timed out", Server.session);
            Server.session[0] = 0;
            Server.playing = false;
        }
        if (int32_t(now - nextReport) >= 0) {
            nextReport = now + REPORT_MS;
            bool muted = Server.habits.mute && now - Server.playedAt >= MUTE_AFTER_MS;  // a stalled tuner
            if (Server.playing && !Server.silent && !muted) Report(now);
        }
    }
}
