// dishserver.exe: the virtual dish as a SAT>IP server (SAT>IP Protocol
// Specification 1.2.2 over RTSP, RFC 2326, and RTP/RTCP, RFC 3550), so that
// Orvalis through satipcard.dll, or any other SAT>IP client, can practise on
// it. One tuner: the newest SETUP takes it. The signal is the card's: the
// [dish] of the scenario (steered live by dishsim.exe when that runs), or
// its signal lines.
//
//   dishserver.exe [/port=<n>] [/timeout=<s>] [/ssdp] [/refuse=<status>]
//                  [/silent] [/nortcp] [/msys=dvbs|dvbs2] [/quirks=<name>,...]
//                  [/tables=none|nonit|no43|relay=<position>|badcrc|split]
//
// /ssdp answers discovery; /refuse answers every SETUP with that status;
// /silent accepts connections and never answers; /nortcp sends no RTCP, so
// a client must ask DESCRIBE; /msys locks only on that system; /quirks
// behaves like other servers (see Habits); /tables breaks the stream's
// tables (see ts_feed.h). Every request and every change of the reported
// level goes to the card's log.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "driver/satip_protocol.h"
#include "simcard/dishserver/ts_feed.h"
#include "simcard/scenario_file.h"
#include "simcard/simcard.h"
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
    bool early;      // "early": full level, lock and quality for EARLY_MS after each PLAY, and in a
                     // DESCRIBE of a stream that is not playing (minisatip since 2022)
    bool play404;    // "play404": any SETUP is taken, every PLAY answers 404 (minisatip without a tuner)
    bool keep;       // "keep": the session outlives its first TEARDOWN; SETUP answers 404 while it
                     // stands, a second TEARDOWN ends it (IDL4K, GSSBOX)
    bool headers;    // "headers": "Cseq:", "session:<id>;timeout=" without a space, Transport's keys
                     // in another order with source= and destination=, a zero-padded stream id
    bool noTimeout;  // "notimeout": Session without ";timeout=" (60 s)
    bool compound;   // "compound": RTCP as SR, SDES, then APP
    bool longApp;    // "applength": the APP's length word one word too long (old minisatip)
    bool ver12;      // "ver12": "ver=1.2;" and the fields after the fourth blank
    bool emptyRtp;   // "emptyrtp": RTP packets without payload
    bool mute;       // "mute": no RTP and no RTCP, while RTSP is answered (a stalled tuner)
};

constexpr uint32_t EARLY_MS = 600;

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
    SOCKET listener = INVALID_SOCKET, media = INVALID_SOCKET, discovery = INVALID_SOCKET;
    Client clients[CLIENTS];
    // The one stream.
    char session[SATIP_SESSION_MAX];
    bool playing;
    SatipTune tune;
    sockaddr_in rtpTo, rtcpTo;
    uint32_t tunedAt, playedAt, lastRequest, lastReported = UINT32_MAX, sessions;
    bool kept;  // "keep": the session was torn down once and still stands
    uint16_t sequence;
};

static DishServer Server;

// The status now; note gets where the dish points and what it hears.
static SatipStatus Measure(uint32_t now, char* note, size_t noteSize) {
    SatipStatus status = {1, 0, 0, 0, 0, 0, 0};
    note[0] = 0;
    if (Server.onlySystem >= 0 && Server.tune.system != Server.onlySystem) return status;
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
        size_t length = BuildRtcpApp(STREAM_ID, text, packet, sizeof packet, form);
        sendto(Server.media, reinterpret_cast<char*>(packet), int(length), 0,
               reinterpret_cast<sockaddr*>(&Server.rtcpTo), sizeof Server.rtcpTo);
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
        sendto(Server.media, reinterpret_cast<char*>(header), int(sizeof header), 0,
               reinterpret_cast<sockaddr*>(&Server.rtpTo), sizeof Server.rtpTo);
        return;
    }
    SendFeed(Server.media, &Server.rtpTo, &Server.sequence, now, &Server.tune, heard,
             Server.scenario.dish.present ? Server.dish.heardKey : -1);
}

static void Reply(Client* client, const char* text, size_t length) { send(client->socket, text, int(length), 0); }

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
        if (!request->clientRtpPort) return 461;
        sockaddr_in peer = {};
        int length = sizeof peer;
        getpeername(client->socket, reinterpret_cast<sockaddr*>(&peer), &length);
        Server.rtpTo = Server.rtcpTo = peer;
        Server.rtpTo.sin_port = htons(request->clientRtpPort);
        Server.rtcpTo.sin_port = htons(request->clientRtcpPort ? request->clientRtcpPort : request->clientRtpPort + 1);
        snprintf(Server.session, sizeof Server.session, "%08lX", (unsigned long)(0x5A7100 + ++Server.sessions));
        Server.tune = tune;
        Server.tunedAt = Server.lastRequest = now;
        Server.playing = Server.kept = false;
        char address[INET_ADDRSTRLEN] = "", timeout[24] = "";
        inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
        if (!h.noTimeout) snprintf(timeout, sizeof timeout, ";timeout=%lu", (unsigned long)Server.timeoutSeconds);
        unsigned rtp = request->clientRtpPort, rtcp = ntohs(Server.rtcpTo.sin_port);
        if (h.headers)
            snprintf(extra, extraSize,
                     "session:%s%s\r\nTransport: RTP/AVP;unicast;source=%s;server_port=%u-%u;client_port=%u-%u;"
                     "destination=%s\r\ncom.ses.streamID: %04lu\r\n",
                     Server.session, timeout, "127.0.0.1", Server.port, Server.port + 1, rtp, rtcp, address,
                     (unsigned long)STREAM_ID);
        else
            snprintf(extra, extraSize,
                     "Session: %s%s\r\nTransport: RTP/AVP;unicast;destination=%s;client_port=%u-%u;"
                     "server_port=%u-%u\r\ncom.ses.streamID: %lu\r\n",
                     Server.session, timeout, address, rtp, rtcp, Server.port, Server.port + 1,
                     (unsigned long)STREAM_ID);
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

// "/quirks=early,keep": the habits by name.
static void ReadHabits(const char* names) {
    static const struct {
        const char* name;
        bool Habits::*flag;
    } known[] = {{"early", &Habits::early},       {"play404", &Habits::play404},     {"keep", &Habits::keep},
                 {"headers", &Habits::headers},   {"notimeout", &Habits::noTimeout}, {"compound", &Habits::compound},
                 {"applength", &Habits::longApp}, {"ver12", &Habits::ver12},         {"emptyrtp", &Habits::emptyRtp},
                 {"mute", &Habits::mute}};
    for (const char* p = names; *p;) {
        size_t n = strcspn(p, ",");
        bool found = false;
        for (const auto& k : known)
            if (strlen(k.name) == n && strncmp(p, k.name, n) == 0) Server.habits.*k.flag = found = true;
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
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    Server.listener = BoundSocket(SOCK_STREAM, Server.port);
    Server.media = BoundSocket(SOCK_DGRAM, uint16_t(Server.port + 1));
    if (Server.media == INVALID_SOCKET) Server.media = BoundSocket(SOCK_DGRAM, 0);
    if (Server.listener == INVALID_SOCKET || listen(Server.listener, 8) != 0) {
        fprintf(stderr, "dishserver: port %u cannot be used\n", Server.port);
        return 1;
    }
    if (Server.ssdp) Server.discovery = BoundSocket(SOCK_DGRAM, SSDP_PORT);
    for (Client& client : Server.clients) client.socket = INVALID_SOCKET;
    const Habits& h = Server.habits;
    DriverLog(DriverNow(),
              "Serving port=%u timeout=%lu ssdp=%d refuse=%d silent=%d rtcp=%d quirks=%s%s%s%s%s%s%s%s%s%s-",
              Server.port, (unsigned long)Server.timeoutSeconds, Server.ssdp && Server.discovery != INVALID_SOCKET,
              Server.refuse, Server.silent, !Server.noRtcp, h.early ? "early," : "", h.play404 ? "play404," : "",
              h.keep ? "keep," : "", h.headers ? "headers," : "", h.noTimeout ? "notimeout," : "",
              h.compound ? "compound," : "", h.longApp ? "applength," : "", h.ver12 ? "ver12," : "",
              h.emptyRtp ? "emptyrtp," : "", h.mute ? "mute," : "");
    printf("dishserver: SAT>IP on port %u\n", Server.port);
    fflush(stdout);
    uint32_t nextReport = DriverNow();
    for (;;) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(Server.listener, &set);
        if (Server.discovery != INVALID_SOCKET) FD_SET(Server.discovery, &set);
        for (Client& client : Server.clients)
            if (client.socket != INVALID_SOCKET) FD_SET(client.socket, &set);
        uint32_t now = DriverNow();
        uint32_t wait = int32_t(nextReport - now) > 0 ? nextReport - now : 0;
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
        now = DriverNow();
        if (Server.session[0] && now - Server.lastRequest > Server.timeoutSeconds * 1000) {
            DriverLog(now, "Session %s timed out", Server.session);
            Server.session[0] = 0;
            Server.playing = false;
        }
        if (int32_t(now - nextReport) >= 0) {
            nextReport = now + REPORT_MS;
            if (Server.playing && !Server.silent && !Server.habits.mute) Report(now);
        }
    }
}
