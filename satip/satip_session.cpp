// The session thread: the only one that talks to the server. It turns each
// new tune into SETUP and PLAY (RFC 2326; SAT>IP Protocol Specification
// 1.2.2, section 3.5), keeps the session alive, reads the RTCP reports
// (RFC 3550) and the tables in the RTP data, over UDP or interleaved on the
// RTSP connection (RFC 2326, 10.12), and publishes the last fresh status for
// the program's poller, which never waits on the network.
#include "satip/satip.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr uint32_t WAIT_MS = 20;        // the loop's pause: a new tune goes out within it
constexpr uint32_t FALLBACK_MS = 1500;  // no lock on one msys this long: the other is tried
constexpr uint32_t UDP_WAIT_MS = 1500;  // nothing over UDP this long after PLAY: the RTSP connection is asked
constexpr uint32_t HOLD_MS = 1000;      // no report this long (a Wi-Fi hiccup): DESCRIBE is asked
constexpr uint32_t DESCRIBE_EVERY_MS = 500;
constexpr uint32_t STALE_MS = 1500;         // no fresh figure this long: no lock, 0, never a frozen figure
constexpr uint32_t IDLE_MS = 1000;          // no poll this long: the finder stopped, TEARDOWN
constexpr uint32_t WATCHDOG_MS = 5000;      // the stream stopped this long: set up anew, as VDR and tvheadend do
constexpr uint32_t TEARDOWN_PACE_MS = 250;  // OctopusNet takes a SETUP this long after a TEARDOWN
constexpr uint32_t PUNCH_EVERY_MS = 15000;  // a NAT forgets a UDP mapping after 30 s without a datagram out
constexpr uint32_t STOP_WAIT_MS = 3 * NETWORK_WAIT_MS;
constexpr size_t REPLY_MAX = 16 * 1024;
constexpr size_t URI_MAX = SATIP_HOST_MAX + SATIP_QUERY_MAX + 32;
constexpr char CACHE_FILE[] = "satipcard.cache";
constexpr char BLOCKED_TEXT[] =
    "No reports reach this PC from %s. Windows Defender Firewall may block them: allow Orvalis on private "
    "networks (user guide, 'A SAT>IP tuner').";

struct Session {
    Bridge* bridge;
    SOCKET control, rtp, rtcp;
    uint16_t rtpPort;
    char id[SATIP_SESSION_MAX];
    uint32_t stream, timeoutMs, cseq;
    uint32_t lastRequest, lastDescribe, lastData, punchedAt;
    uint32_t freshAt;                // the last figure that counted, from a report or DESCRIBE
    uint32_t playedAt;               // when the server took the tune
    uint32_t tornDownAt;             // the last TEARDOWN, for the pacing before the next SETUP
    char keptId[SATIP_SESSION_MAX];  // the session last torn down: some boxes keep it and refuse the next SETUP
    uint32_t keptStream;
    SatipTune tune;
    uint32_t generation;
    bool locked, fellBack, idle;   // a session stands while id is set: SETUP and PLAY went through
    bool counted, mismatchLogged;  // this tune's first counted report, its first report of another tune
    // How the stream comes: over the RTSP connection (tcp) or UDP. Once UDP
    // brought nothing, later sessions ask for the connection first; a server
    // that refused it once is not asked again.
    bool tcp, preferTcp, tcpRefused;
    bool flowed, described;     // RTP or RTCP came in this session; DESCRIBE told a status
    bool toldTcp, toldBlocked;  // the log line and the box, once each
    uint8_t rtpChannel, rtcpChannel;
    uint16_t serverPorts[2];  // the server's RTP and RTCP ports, where the way is opened
    SatipOrder order;
    RtspReply answer;
    char reply[REPLY_MAX];
    SatipInterleaved connection;  // what the RTSP connection brought and is not yet read
    uint8_t received[SATIP_FRAME_MAX];
    char cache[SATIP_CACHE_MAX];  // CACHE_FILE: the transponders that last locked on DVB-S2
    size_t cacheLength;
};

uint32_t PackStatus(uint32_t lock, uint32_t percent, uint32_t quality) {
    return (lock ? 1u : 0u) | (percent & 0xFF) << 1 | quality << 9;
}

// The system this transponder locked on, kept beside the bridge for the next
// first query; the file is written only when that changes.
static void RememberSystem(Session* s) {
    if (CachedSystem(s->cache, s->cacheLength, &s->tune) == s->tune.system) return;
    char noted[SATIP_CACHE_MAX];
    s->cacheLength = NoteCachedSystem(s->cache, s->cacheLength, &s->tune, noted);
    memcpy(s->cache, noted, s->cacheLength);
    char path[MAX_PATH];
    DriverFilePath(nullptr, CACHE_FILE, path, sizeof path);
    HANDLE file =
        path[0] ? CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr) : INVALID_HANDLE_VALUE;
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE || !WriteFile(file, s->cache, DWORD(s->cacheLength), &written, nullptr))
        BridgeLog("%s cannot be written", path);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// A report of the tune, from RTCP or DESCRIBE. One of another tune, or
// minisatip's early pattern right after PLAY, leaves the meter as it is.
static void Publish(Session* s, const SatipStatus* status) {
    uint32_t since = DriverNow() - s->playedAt;
    if (!StatusMatchesTune(status, &s->tune) && !s->mismatchLogged) {
        s->mismatchLogged = true;
        BridgeLog("a report of another tune ignored: %lu kHz %c src %lu", (unsigned long)status->frequencyKhz,
                  status->polarization ? status->polarization : '-', (unsigned long)status->source);
    }
    if (!ReportCounts(status, &s->tune, since)) return;
    if (!s->counted) {
        s->counted = true;
        BridgeLog("the first report that counts came %lu ms after PLAY: level %lu lock %lu", (unsigned long)since,
                  (unsigned long)status->level, (unsigned long)status->lock);
    }
    if (status->lock && !s->locked) RememberSystem(s);
    s->locked = s->locked || status->lock;
    s->freshAt = DriverNow();
    s->bridge->status.store(PackStatus(status->lock, StatusPercent(status), status->quality));
}

// An RTP packet, over UDP or the RTSP connection: the tables, unless it came
// late or twice.
static void TakeRtp(Session* s, const uint8_t* packet, size_t length) {
    s->flowed = true;
    s->lastData = DriverNow();
    if (length >= 4 && RtpIsNewer(&s->order, uint16_t(packet[2] << 8 | packet[3])))
        ReadStreamTables(s->bridge, packet, length, &s->tune, s->playedAt);
}

// An RTCP packet: the tuner's report, unless its sender report is older than
// one already taken.
static void TakeRtcp(Session* s, const uint8_t* packet, size_t length) {
    s->flowed = true;
    s->lastData = DriverNow();
    SatipStatus status;
    uint64_t sentAt;
    if (ParseRtcpApp(packet, length, &status, &sentAt) && ReportIsNewer(&s->order, sentAt)) Publish(s, &status);
}

static void TakeFrame(Session* s, const SatipPiece* frame) {
    if (frame->channel == s->rtpChannel) TakeRtp(s, frame->data, frame->length);
    if (frame->channel == s->rtcpChannel) TakeRtcp(s, frame->data, frame->length);
}

static const char* Reason(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 414:
            return "Request-URI Too Long";
        case 453:
            return "Not Enough Bandwidth";
        case 454:
            return "Session Not Found";
        case 461:
            return "Unsupported Transport";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "";
    }
}

// "rtsp://host:port/", then "stream=<id>" for a standing session, then
// "?<query>" when a tune goes with it.
static void StreamUri(const Session* s, bool withStream, bool withQuery, char* uri) {
    int used = snprintf(uri, URI_MAX, "rtsp://%s/", s->bridge->server.name);
    if (withStream && s->stream) used += snprintf(uri + used, URI_MAX - used, "stream=%lu", (unsigned long)s->stream);
    if (withQuery) {
        uri[used++] = '?';
        FormatTuneQuery(&s->tune, uri + used, URI_MAX - used);
    }
}

// The RTSP connection closed: what it brought goes with it.
static void Hangup(Session* s) {
    CloseSocket(&s->control);
    InitInterleaved(&s->connection, s->received, sizeof s->received);
}

// Reads the RTSP connection until the reply to the last request has come,
// handing the frames before it to their readers: SATIP_MALFORMED for
// anything else where a reply belongs, SATIP_INCOMPLETE when the time ran
// out or the server closed the connection.
static SatipParse AwaitReply(Session* s) {
    ULONGLONG deadline = GetTickCount64() + NETWORK_WAIT_MS;
    for (;;) {
        for (SatipPiece p; (p = NextInterleaved(&s->connection)).kind != SATIP_PIECE_NONE;) {
            if (p.kind == SATIP_PIECE_JUNK) return SATIP_MALFORMED;
            if (p.kind == SATIP_PIECE_FRAME) TakeFrame(s, &p);
            if (p.kind != SATIP_PIECE_REPLY || (p.reply.cseq && p.reply.cseq != s->cseq)) continue;
            s->answer = p.reply;
            size_t kept = p.length < sizeof s->reply ? p.length : sizeof s->reply;
            memcpy(s->reply, p.data, kept);
            if (s->answer.headerLength + s->answer.contentLength > kept)
                s->answer.contentLength = kept - s->answer.headerLength;
            return SATIP_COMPLETE;
        }
        size_t room;
        uint8_t* to = InterleavedRoom(&s->connection, &room);
        ULONGLONG now = GetTickCount64();
        if (now >= deadline || !WaitForSocket(s->control, false, uint32_t(deadline - now))) return SATIP_INCOMPLETE;
        int got = recv(s->control, reinterpret_cast<char*>(to), int(room), 0);
        if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (got <= 0) return SATIP_INCOMPLETE;  // closed, or broken
        InterleavedCame(&s->connection, size_t(got));
    }
}

// One request and its reply: the status, or 0 when no reply came. A control
// connection that the server closed in between (the request fails at once)
// is opened once more, unless the stream came over it; a server that lets
// the time run out is not asked again.
static int Request(Session* s, const char* method, const char* uri, const char* extra) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool fresh = s->control == INVALID_SOCKET;
        if (fresh) s->control = ConnectServer(&s->bridge->server);
        if (s->control == INVALID_SOCKET) break;
        char request[SATIP_REQUEST_MAX + URI_MAX];
        size_t length =
            FormatRtspRequest(request, sizeof request, method, uri, ++s->cseq, s->id[0] ? s->id : nullptr, extra);
        uint32_t sent = DriverNow();
        SatipParse parsed = SATIP_MALFORMED;
        if (length && SendAll(s->control, request, length)) parsed = AwaitReply(s);
        if (parsed == SATIP_COMPLETE) {
            s->lastRequest = DriverNow();
            BridgeLog("%s %s -> %d", method, uri, s->answer.status);
            return s->answer.status;
        }
        Hangup(s);
        if (parsed == SATIP_MALFORMED) {
            BridgeLog("%s %s -> a malformed reply from %s", method, uri, s->bridge->server.name);
            return 0;
        }
        if (fresh || s->tcp || DriverNow() - sent >= NETWORK_WAIT_MS / 2) break;
    }
    BridgeLog("%s %s -> no reply", method, uri);
    return 0;
}

// Nothing stands any more: the next tune starts a new session. What the
// meter shows is the caller's to say.
static void EndSession(Session* s) {
    Hangup(s);
    CloseSocket(&s->rtp);
    CloseSocket(&s->rtcp);
    s->id[0] = 0;
    s->stream = 0;
    s->tcp = false;
}

// The stream is gone: the meter reads no lock, 0, and the next tune tries again.
static void Lost(Session* s, const char* what) {
    BridgeLog("%s %s", what, s->bridge->server.name);
    EndSession(s);
    s->bridge->status.store(PackStatus(0, 0, 0));
}

static void Teardown(Session* s) {
    if (s->id[0]) {
        char uri[URI_MAX];
        StreamUri(s, true, false, uri);
        Request(s, "TEARDOWN", uri, nullptr);
        memcpy(s->keptId, s->id, sizeof s->keptId);
        s->keptStream = s->stream;
        s->tornDownAt = DriverNow();
    }
    EndSession(s);
}

// minisatip takes any SETUP and tunes only at PLAY, so its refusals come there.
static void Refused(Session* s, int status, bool atPlay) {
    const char* hint = status == 503 ? "It has no free tuner: another client may be using them all."
                       : status == 404 && atPlay
                           ? "It has no free tuner, does not support this system, or the frequency is out of "
                             "its range."
                       : status == 404 ? "It does not know this source: check the DiSEqC setting against "
                                         "the sources the server offers."
                                       : "Check the transponder and the DiSEqC setting.";
    const char* when = atPlay ? " at PLAY" : "";
    BridgeLog("the SAT>IP server at %s refused the tune%s: %d %s", s->bridge->server.name, when, status,
              Reason(status));
    BridgeMessage(false, "The SAT>IP server at %s refused the tune%s:\n%d %s\n\n%s\n\nThe meter reads no signal.",
                  s->bridge->server.name, when, status, Reason(status), hint);
    s->bridge->status.store(PackStatus(0, 0, 0));
    if (atPlay) return Teardown(s);  // the session stands on the server: free its tuner
    EndSession(s);
}

// OctopusNet refuses a SETUP that comes too soon after a TEARDOWN.
static void PaceAfterTeardown(Session* s) {
    uint32_t since = DriverNow() - s->tornDownAt;
    if (s->tornDownAt && since < TEARDOWN_PACE_MS) Sleep(TEARDOWN_PACE_MS - since);
}

// IDL4K and GSSBOX boxes keep a session after its TEARDOWN and answer 404 to
// the next SETUP: the old session is torn down again on a new connection
// (as tvheadend does), and the SETUP is tried once more.
static bool TeardownKept(Session* s) {
    if (!s->keptId[0]) return false;
    BridgeLog("SETUP refused with 404 after a TEARDOWN: tearing down %s again", s->keptId);
    Hangup(s);
    memcpy(s->id, s->keptId, sizeof s->id);
    s->stream = s->keptStream;
    char uri[URI_MAX];
    StreamUri(s, true, false, uri);
    Request(s, "TEARDOWN", uri, nullptr);
    Hangup(s);
    s->id[0] = s->keptId[0] = 0;
    s->stream = 0;
    s->tornDownAt = DriverNow();
    PaceAfterTeardown(s);
    return true;
}

// A stateful firewall or NAT lets in what answers a datagram that went out:
// an empty receiver report from each of our ports to the pair the server
// announced, at its RTSP address (see the README for why it cannot confuse a
// server). Again now and then, so that a NAT keeps the mapping.
static void OpenTheWay(Session* s) {
    s->punchedAt = DriverNow();
    uint8_t report[SATIP_EMPTY_RR_SIZE];
    BuildEmptyReceiverReport(0x5A7100u + s->rtpPort, report);
    SOCKET from[2] = {s->rtp, s->rtcp};
    for (int i = 0; i < 2 && s->serverPorts[0]; ++i) {
        sockaddr_in to = s->bridge->server.address;
        to.sin_port = htons(s->serverPorts[i]);
        sendto(from[i], reinterpret_cast<char*>(report), int(sizeof report), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to);
    }
}

// SETUP for a new session, over the RTSP connection or UDP as the session prefers.
// A server that refuses the RTSP connection (461, or a UDP transport in its
// answer) is set up over UDP, and not asked again. False when no session stands.
static bool Setup(Session* s) {
    bool tcp = s->preferTcp && !s->tcpRefused;
    if (!tcp && s->rtp == INVALID_SOCKET && !OpenClientPorts(&s->rtp, &s->rtcp, &s->rtpPort)) {
        BridgeLog("no free UDP ports for RTP and RTCP");
        return false;
    }
    char transport[96], uri[URI_MAX];
    if (tcp)
        snprintf(transport, sizeof transport, "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
    else
        snprintf(transport, sizeof transport, "Transport: RTP/AVP;unicast;client_port=%u-%u\r\n", s->rtpPort,
                 s->rtpPort + 1);
    PaceAfterTeardown(s);
    StreamUri(s, false, true, uri);
    int status = Request(s, "SETUP", uri, transport);
    if (status == 404 && TeardownKept(s)) status = Request(s, "SETUP", uri, transport);
    if (status == 0) {
        Lost(s, "no SAT>IP server answered at");
        return false;
    }
    if (tcp && (status == 461 || (status == 200 && !s->answer.interleaved))) {
        s->tcpRefused = true;
        BridgeLog("the SAT>IP server at %s does not send the stream over RTSP (%s): UDP", s->bridge->server.name,
                  status == 461 ? "461 Unsupported Transport" : "it answered with UDP");
        if (status == 200 && s->answer.session[0]) {
            memcpy(s->id, s->answer.session, sizeof s->id);
            s->stream = s->answer.streamId;
            Teardown(s);
        }
        return Setup(s);
    }
    if (status != 200 || !s->answer.session[0]) {
        Refused(s, status, false);
        return false;
    }
    memcpy(s->id, s->answer.session, sizeof s->id);
    s->keptId[0] = 0;
    s->stream = s->answer.streamId;
    s->timeoutMs = s->answer.timeoutSeconds * 1000;
    s->tcp = tcp;
    s->rtpChannel = tcp ? s->answer.rtpChannel : 0;
    s->rtcpChannel = tcp ? s->answer.rtcpChannel : 1;
    s->serverPorts[0] = s->answer.serverRtpPort;
    s->serverPorts[1] = s->answer.serverRtcpPort ? s->answer.serverRtcpPort : uint16_t(s->answer.serverRtpPort + 1);
    if (!tcp) OpenTheWay(s);
    return true;
}

// SETUP and PLAY for a new session, PLAY with the query in a standing one.
// again: the same tune once more over another transport, and the meter
// keeps what it shows until a fresher figure comes or it goes stale.
static void Tune(Session* s, bool again = false) {
    if (!again) {
        s->bridge->status.store(PackStatus(0, 0, 0));
        s->freshAt = DriverNow();
    }
    s->locked = s->counted = s->mismatchLogged = s->flowed = s->described = false;
    s->playedAt = s->lastData = DriverNow();
    s->order = SatipOrder{};
    char uri[URI_MAX];
    bool standing = s->id[0] != 0;
    if (!standing && !Setup(s)) return;
    StreamUri(s, true, standing, uri);
    int status = Request(s, "PLAY", uri, nullptr);
    if (status == 454 && standing) {  // the server has forgotten the session (it restarted): a new one
        EndSession(s);
        return Tune(s);
    }
    if (status == 404 && !s->fellBack) {
        // minisatip answers 404 at PLAY to a system its tuner lacks: the other one, in the same
        // session (a second session would want a second tuner).
        s->fellBack = true;
        s->tune.system = OtherSystem(s->tune.system);
        BridgeLog("PLAY refused with 404: msys=%s", s->tune.system == SATIP_DVBS2 ? "dvbs2" : "dvbs");
        StreamUri(s, true, true, uri);
        status = Request(s, "PLAY", uri, nullptr);
    }
    if (status == 0) return Lost(s, "no SAT>IP server answered at");
    if (status != 200) return Refused(s, status, true);
    s->playedAt = DriverNow();
}

// The datagrams waiting on our ports, within bounds.
static void ReadDatagrams(Session* s) {
    uint8_t packet[2048];
    for (SOCKET socket : {s->rtcp, s->rtp}) {
        for (int i = 0; i < 256; ++i) {
            int got = recv(socket, reinterpret_cast<char*>(packet), sizeof packet, 0);
            if (got < 0 && WSAGetLastError() == WSAECONNRESET) continue;  // an ICMP answer to our own datagram
            if (got <= 0) break;
            (socket == s->rtp ? TakeRtp : TakeRtcp)(s, packet, size_t(got));
        }
    }
}

// What the RTSP connection brought while no request waits: frames, and
// nothing else that matters. False when the server closed it.
static bool ReadConnection(Session* s) {
    for (int i = 0; i < 16; ++i) {
        size_t room;
        uint8_t* to = InterleavedRoom(&s->connection, &room);
        int got = recv(s->control, reinterpret_cast<char*>(to), int(room), 0);
        if (got < 0) return WSAGetLastError() == WSAEWOULDBLOCK;
        if (got == 0) return false;
        InterleavedCame(&s->connection, size_t(got));
        for (SatipPiece p; (p = NextInterleaved(&s->connection)).kind != SATIP_PIECE_NONE;)
            if (p.kind == SATIP_PIECE_FRAME) TakeFrame(s, &p);
    }
    return true;
}

// Nothing came over UDP: the same tune again, the stream over the RTSP
// connection, and later sessions ask for that first.
static void OverRtsp(Session* s) {
    if (!s->toldTcp)
        BridgeLog("nothing came over UDP from %s within %lu ms of PLAY: RTP and RTCP over the RTSP connection",
                  s->bridge->server.name, (unsigned long)UDP_WAIT_MS);
    s->toldTcp = s->preferTcp = true;
    Teardown(s);
    Tune(s, true);
}

// Reports missing for a moment hold the meter; longer, DESCRIBE gives a fresh
// figure, and without one the meter reads no lock, 0. False when the server
// no longer answers.
static bool KeepFresh(Session* s) {
    uint32_t now = DriverNow();
    if (now - s->freshAt >= HOLD_MS && now - s->lastDescribe >= DESCRIBE_EVERY_MS) {
        s->lastDescribe = now;
        char uri[URI_MAX];
        StreamUri(s, true, false, uri);
        if (Request(s, "DESCRIBE", uri, "Accept: application/sdp\r\n") != 200) return false;
        SatipStatus reported;
        if (ParseSdpStatus(s->reply + s->answer.headerLength, s->answer.contentLength, &reported)) {
            s->described = true;
            Publish(s, &reported);
        }
    }
    if (DriverNow() - s->freshAt > STALE_MS) s->bridge->status.store(PackStatus(0, 0, 0));
    return true;
}

// A playing session: the stream, the way it comes, the meter's freshness,
// keep-alive, the msys fallback.
static void Watch(Session* s) {
    if (!s->tcp) ReadDatagrams(s);
    if (s->tcp && !ReadConnection(s)) return Lost(s, "lost the SAT>IP stream from");
    if (s->flowed) ReadStreamTables(s->bridge, nullptr, 0, &s->tune, s->playedAt);  // no stream, no tables to wait for
    uint32_t now = DriverNow();
    char uri[URI_MAX];
    if (now - s->bridge->lastPoll.load() > IDLE_MS) {
        BridgeLog("the program stopped asking for the signal");
        Teardown(s);
        s->idle = true;
        return;
    }
    if (s->flowed && now - s->lastData > WATCHDOG_MS) {  // a stall; a stream that never came is the firewall's
        BridgeLog("no data from the SAT>IP server at %s for %lu s: setting up anew", s->bridge->server.name,
                  (unsigned long)(WATCHDOG_MS / 1000));
        Teardown(s);
        return Tune(s);
    }
    bool udpOnly = s->tcpRefused || s->bridge->server.transport == SATIP_TRANSPORT_UDP;
    if (!s->flowed && now - s->playedAt > UDP_WAIT_MS && !s->tcp && !udpOnly) return OverRtsp(s);
    if (!KeepFresh(s)) return Lost(s, "lost the SAT>IP stream from");
    if (!s->flowed && s->described && now - s->playedAt > UDP_WAIT_MS && !s->toldBlocked) {
        s->toldBlocked = true;
        const char* name = s->bridge->server.name;
        BridgeLog(BLOCKED_TEXT, name);
        BridgeMessage(false, BLOCKED_TEXT, name);
    }
    if (!s->tcp && now - s->punchedAt > PUNCH_EVERY_MS) OpenTheWay(s);
    if (DriverNow() - s->lastRequest > s->timeoutMs / 2) {  // DESCRIBE may just have kept it alive
        StreamUri(s, false, false, uri);
        if (Request(s, "OPTIONS", uri, nullptr) != 200) return Lost(s, "lost the SAT>IP stream from");
    }
    if (!s->locked && !s->fellBack && now - s->playedAt > FALLBACK_MS) {
        s->fellBack = true;
        s->tune.system = OtherSystem(s->tune.system);
        BridgeLog("no lock within %lu ms: msys=%s", (unsigned long)FALLBACK_MS,
                  s->tune.system == SATIP_DVBS2 ? "dvbs2" : "dvbs");
        Tune(s);
    }
}

static void Pause(Session* s) {
    fd_set set;
    FD_ZERO(&set);
    for (SOCKET socket : {s->rtcp, s->rtp, s->tcp ? s->control : INVALID_SOCKET})
        if (socket != INVALID_SOCKET) FD_SET(socket, &set);
    if (!set.fd_count) return Sleep(WAIT_MS);
    timeval wait = {0, long(WAIT_MS * 1000)};
    select(0, &set, nullptr, nullptr, &wait);
}

static DWORD WINAPI SessionThread(LPVOID parameter) {
    Session* s = static_cast<Session*>(parameter);
    Bridge* bridge = s->bridge;
    while (!bridge->quit.load()) {
        uint32_t generation = bridge->generation.load(std::memory_order_acquire);
        if (generation != s->generation) {
            s->generation = generation;
            AcquireSRWLockShared(&bridge->tuneLock);
            s->tune = bridge->tune;
            ReleaseSRWLockShared(&bridge->tuneLock);
            s->tune.system = CachedSystem(s->cache, s->cacheLength, &s->tune);
            s->fellBack = false;
            s->idle = false;
            Tune(s);
        } else if (s->id[0]) {
            Watch(s);
        } else if (s->idle && DriverNow() - bridge->lastPoll.load() < IDLE_MS) {
            s->idle = false;  // the finder runs again on the same transponder
            Tune(s);
        }
        Pause(s);
    }
    Teardown(s);
    free(s);
    FreeLibraryAndExitThread(DriverModule, 0);
}

static Session* NewSession(Bridge* bridge) {
    Session* s = static_cast<Session*>(calloc(1, sizeof(Session)));
    if (!s) return nullptr;
    s->bridge = bridge;
    s->control = s->rtp = s->rtcp = INVALID_SOCKET;
    s->timeoutMs = 60000;
    s->preferTcp = bridge->server.transport == SATIP_TRANSPORT_TCP;
    InitInterleaved(&s->connection, s->received, sizeof s->received);
    char path[MAX_PATH];
    DWORD length = 0;
    HRESULT result;
    if (char* cache = ReadDriverFile(nullptr, CACHE_FILE, sizeof s->cache, path, sizeof path, &length, &result)) {
        memcpy(s->cache, cache, length);
        s->cacheLength = length;
        free(cache);
    }
    return s;
}

bool StartSession(Bridge* bridge) {
    Session* s = StartWinsock() ? NewSession(bridge) : nullptr;
    if (!s) return false;
    char uri[URI_MAX];
    StreamUri(s, false, false, uri);
    if (!ResolveServer(&bridge->server) || Request(s, "OPTIONS", uri, nullptr) == 0) {
        BridgeLog("no SAT>IP server answered at %s", bridge->server.name);
        BridgeMessage(true,
                      "No SAT>IP server answered at %s.\n\n"
                      "Check that the tuner is switched on and connected to this network, and that "
                      "satipcard.ini beside satipcard.dll names it:\n[server]\naddress=host:port",
                      bridge->server.name);
        CloseSocket(&s->control);
        free(s);
        return false;
    }
    HMODULE held;
    bridge->lastPoll.store(DriverNow());
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&SessionThread), &held)) {
        bridge->thread = CreateThread(nullptr, 0, SessionThread, s, 0, nullptr);
        if (bridge->thread) return true;
        FreeLibrary(held);
    }
    CloseSocket(&s->control);
    free(s);
    return false;
}

bool StopSession(Bridge* bridge) {
    if (!bridge->thread) return true;
    bridge->quit.store(1);
    bool ended = WaitForSingleObject(bridge->thread, STOP_WAIT_MS) == WAIT_OBJECT_0;
    CloseHandle(bridge->thread);
    bridge->thread = nullptr;
    return ended;
}
