// The session thread: the only one that talks to the server. It turns each
// new tune into SETUP and PLAY (RFC 2326; SAT>IP Protocol Specification
// 1.2.2, section 3.5), keeps the session alive, reads the RTCP reports
// (RFC 3550) and the tables in the RTP data, and publishes the last status for the
// program's poller, which never waits on the network.
#include "satip/satip.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr uint32_t WAIT_MS = 20;        // the loop's pause: a new tune goes out within it
constexpr uint32_t FALLBACK_MS = 1500;  // no lock on one msys this long: the other is tried
constexpr uint32_t SILENCE_MS = 2000;   // no RTCP this long: DESCRIBE is asked
constexpr uint32_t DESCRIBE_EVERY_MS = 1000;
constexpr uint32_t IDLE_MS = 1000;          // no poll this long: the finder stopped, TEARDOWN
constexpr uint32_t WATCHDOG_MS = 5000;      // no RTP and no RTCP at all this long: set up anew, as VDR and tvheadend do
constexpr uint32_t TEARDOWN_PACE_MS = 250;  // OctopusNet takes a SETUP this long after a TEARDOWN
constexpr uint32_t STOP_WAIT_MS = 3 * NETWORK_WAIT_MS;
constexpr size_t REPLY_MAX = 16 * 1024;
constexpr size_t URI_MAX = SATIP_HOST_MAX + SATIP_QUERY_MAX + 32;

struct Session {
    Bridge* bridge;
    SOCKET control, rtp, rtcp;
    uint16_t rtpPort;
    char id[SATIP_SESSION_MAX];
    uint32_t stream, timeoutMs, cseq;
    uint32_t lastRequest, lastReport, lastDescribe, lastData;
    uint32_t playedAt;               // when the server took the tune: reports count from the settle time after it
    uint32_t tornDownAt;             // the last TEARDOWN, for the pacing before the next SETUP
    char keptId[SATIP_SESSION_MAX];  // the session last torn down: some boxes keep it and refuse the next SETUP
    uint32_t keptStream;
    SatipTune tune;
    uint32_t generation;
    bool locked, fellBack, idle;   // a session stands while id is set: SETUP and PLAY went through
    bool counted, mismatchLogged;  // this tune's first counted report, its first report of another tune
    RtspReply answer;
    char reply[REPLY_MAX];
};

uint32_t PackStatus(uint32_t lock, uint32_t percent, uint32_t quality) {
    return (lock ? 1u : 0u) | (percent & 0xFF) << 1 | quality << 9;
}

// A report counts only once the tuner has settled on this tune; until then
// the program reads no lock, 0, and the msys fallback sees no lock either.
static void Publish(Session* s, const SatipStatus* status) {
    uint32_t since = DriverNow() - s->playedAt;
    if (!StatusMatchesTune(status, &s->tune) && !s->mismatchLogged) {
        s->mismatchLogged = true;
        BridgeLog("a report of another tune ignored: %lu kHz %c src %lu", (unsigned long)status->frequencyKhz,
                  status->polarization ? status->polarization : '-', (unsigned long)status->source);
    }
    if (!ReportCounts(status, &s->tune, since)) {
        s->bridge->status.store(PackStatus(0, 0, 0));
        return;
    }
    if (!s->counted) {
        s->counted = true;
        BridgeLog("the first report that counts came %lu ms after PLAY: level %lu lock %lu", (unsigned long)since,
                  (unsigned long)status->level, (unsigned long)status->lock);
    }
    s->locked = s->locked || status->lock;
    s->bridge->status.store(PackStatus(status->lock, StatusPercent(status), status->quality));
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

// One request and its reply: the status, or 0 when no reply came. A control
// connection that the server closed in between (the request fails at once)
// is opened once more; a server that lets the time run out is not asked again.
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
        if (length && SendAll(s->control, request, length))
            parsed = ReceiveReply(s->control, s->reply, sizeof s->reply, &s->answer);
        if (parsed == SATIP_COMPLETE) {
            s->lastRequest = DriverNow();
            BridgeLog("%s %s -> %d", method, uri, s->answer.status);
            return s->answer.status;
        }
        CloseSocket(&s->control);
        if (parsed == SATIP_MALFORMED) {
            BridgeLog("%s %s -> a malformed reply from %s", method, uri, s->bridge->server.name);
            return 0;
        }
        if (fresh || DriverNow() - sent >= NETWORK_WAIT_MS / 2) break;
    }
    BridgeLog("%s %s -> no reply", method, uri);
    return 0;
}

// Nothing stands any more: the next tune starts a new session.
static void EndSession(Session* s) {
    CloseSocket(&s->control);
    CloseSocket(&s->rtp);
    CloseSocket(&s->rtcp);
    s->id[0] = 0;
    s->stream = 0;
    s->bridge->status.store(PackStatus(0, 0, 0));
}

static void Lost(Session* s, const char* what) {
    BridgeLog("%s %s", what, s->bridge->server.name);
    EndSession(s);
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
    CloseSocket(&s->control);
    memcpy(s->id, s->keptId, sizeof s->id);
    s->stream = s->keptStream;
    char uri[URI_MAX];
    StreamUri(s, true, false, uri);
    Request(s, "TEARDOWN", uri, nullptr);
    CloseSocket(&s->control);
    s->id[0] = s->keptId[0] = 0;
    s->stream = 0;
    s->tornDownAt = DriverNow();
    PaceAfterTeardown(s);
    return true;
}

// SETUP and PLAY for a new session, PLAY with the query in a standing one.
static void Tune(Session* s) {
    s->bridge->status.store(PackStatus(0, 0, 0));
    s->locked = s->counted = s->mismatchLogged = false;
    s->playedAt = s->lastReport = s->lastData = DriverNow();
    char uri[URI_MAX];
    bool standing = s->id[0] != 0;
    if (!standing) {
        if (s->rtp == INVALID_SOCKET && !OpenClientPorts(&s->rtp, &s->rtcp, &s->rtpPort)) {
            BridgeLog("no free UDP ports for RTP and RTCP");
            return;
        }
        char transport[96];
        snprintf(transport, sizeof transport, "Transport: RTP/AVP;unicast;client_port=%u-%u\r\n", s->rtpPort,
                 s->rtpPort + 1);
        PaceAfterTeardown(s);
        StreamUri(s, false, true, uri);
        int status = Request(s, "SETUP", uri, transport);
        if (status == 404 && TeardownKept(s)) status = Request(s, "SETUP", uri, transport);
        if (status == 0) return Lost(s, "no SAT>IP server answered at");
        if (status != 200 || !s->answer.session[0]) return Refused(s, status, false);
        memcpy(s->id, s->answer.session, sizeof s->id);
        s->keptId[0] = 0;
        s->stream = s->answer.streamId;
        s->timeoutMs = s->answer.timeoutSeconds * 1000;
        StreamUri(s, true, false, uri);
    } else {
        StreamUri(s, true, true, uri);
    }
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

// Only the newest report of those waiting counts: an older one may be from
// before the tune settled. An RTP packet without payload (minisatip's sign of
// life when the tuner gives nothing) is data too; no receiver reports go back.
static void ReadStream(Session* s) {
    char packet[2048];
    SatipStatus status, newest;
    bool reported = false;
    for (int i = 0; i < 64; ++i) {
        int got = recv(s->rtcp, packet, sizeof packet, 0);
        if (got <= 0) break;
        s->lastData = DriverNow();
        if (ParseRtcpApp(reinterpret_cast<uint8_t*>(packet), size_t(got), &status)) newest = status, reported = true;
    }
    if (reported) {
        Publish(s, &newest);
        s->lastReport = DriverNow();
    }
    if (ReadStreamTables(s->bridge, s->rtp, &s->tune, s->playedAt)) s->lastData = DriverNow();
}

// A playing session: reports, keep-alive, the DESCRIBE poll, the msys fallback.
static void Watch(Session* s) {
    ReadStream(s);
    uint32_t now = DriverNow();
    char uri[URI_MAX];
    if (now - s->bridge->lastPoll.load() > IDLE_MS) {
        BridgeLog("the program stopped asking for the signal");
        Teardown(s);
        s->idle = true;
        return;
    }
    if (now - s->lastData > WATCHDOG_MS) {
        BridgeLog("no data from the SAT>IP server at %s for %lu s: setting up anew", s->bridge->server.name,
                  (unsigned long)(WATCHDOG_MS / 1000));
        Teardown(s);
        return Tune(s);
    }
    if (now - s->lastReport > SILENCE_MS && now - s->lastDescribe >= DESCRIBE_EVERY_MS) {
        s->lastDescribe = now;
        StreamUri(s, true, false, uri);
        int status = Request(s, "DESCRIBE", uri, "Accept: application/sdp\r\n");
        SatipStatus reported;
        if (status != 200) return Lost(s, "lost the SAT>IP stream from");
        if (ParseSdpStatus(s->reply + s->answer.headerLength, s->answer.contentLength, &reported))
            Publish(s, &reported);
    }
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
    if (s->rtcp == INVALID_SOCKET) {
        Sleep(WAIT_MS);
        return;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s->rtcp, &set);
    FD_SET(s->rtp, &set);
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
