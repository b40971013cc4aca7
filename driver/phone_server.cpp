// The phone page's server: one thread, non-blocking sockets and a select()
// that wakes every 40 ms, so a change of the level reaches the phone within
// a poll or so, and a stop is seen within a tick. Eight clients are served
// at once; more are told 503. Nothing a client sends changes anything.
#include "driver/phone_server.h"
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "driver/driver_files.h"
#include "driver/driver_server.h"
#include "phone_page_html.h"  // generated from driver/phone_page.html: PHONE_PAGE_HTML and its _SIZE

constexpr int SERVED_MAX = 8;               // clients answered at once
constexpr int SLOTS = 16;                   // and a few more, told 503 and drained
constexpr uint32_t TICK_MS = 40;            // a poll's period is 50 ms: a change waits at most one tick
constexpr uint32_t IDLE_TICK_MS = 100;      // still far inside the release's 0.5 s
constexpr uint32_t SILENCE_MS = 10000;      // a request must come whole within this; an idle client goes
constexpr uint32_t DRAIN_MS = 2000;         // a closing client's last bytes
constexpr uint32_t EVENT_EVERY_MS = 180;    // at least five events a second while the finder runs
constexpr uint32_t IDLE_EVENT_MS = 15000;   // and one now and then, so a phone sees the PC is there
constexpr uint32_t FINDER_QUIET_MS = 1000;  // no poll for this long: the finder is stopped
constexpr uint32_t STOP_WAIT_MS = 500;
constexpr size_t IN_MAX = PHONE_HEAD_MAX + PHONE_BODY_MAX;
constexpr size_t OUT_MAX = 64 * 1024;
constexpr size_t JSON_MAX = 6144;  // every name's bytes escaped as \u00XX still fit
// The largest reply: the page and its head.
constexpr size_t REPLY_MAX = PHONE_PAGE_HTML_SIZE + 1024;
static_assert(2 * REPLY_MAX < OUT_MAX, "a client's buffer holds two pages: pipelined requests need no wait");

// ---- the notes of the tuner calls --------------------------------------------------

struct PhoneNotes {
    uint32_t lastPoll;
    bool polled;
    int32_t percent;
    float snr, fullScale;
    int32_t peak;
    bool tuned;
    uint32_t frequencyKhz, polarization, symbolRate;
    bool hasSatellite;
    PhoneSatellite satellite;
};

static SRWLOCK notesLock = SRWLOCK_INIT;
static PhoneNotes notes;

// A poll after a quiet spell starts a new run of the finder: the program's
// poller cleared its level and SNR when the last run ended.
static void NotePoll() {
    uint32_t now = DriverNow();
    if (!notes.polled || now - notes.lastPoll > FINDER_QUIET_MS) notes.percent = 0, notes.snr = 0.0f;
    notes.polled = true;
    notes.lastPoll = now;
}

void PhoneNoteTune(uint32_t frequencyKhz, uint32_t polarization, uint32_t symbolRate) {
    AcquireSRWLockExclusive(&notesLock);
    notes.tuned = true;
    notes.frequencyKhz = frequencyKhz, notes.polarization = polarization, notes.symbolRate = symbolRate;
    notes.percent = 0, notes.peak = 0, notes.snr = 0.0f;
    ReleaseSRWLockExclusive(&notesLock);
}

void PhoneNoteLockFailed() {
    AcquireSRWLockExclusive(&notesLock);
    NotePoll();
    notes.snr = 0.0f;
    ReleaseSRWLockExclusive(&notesLock);
}

void PhoneNotePercent(uint32_t written) {
    AcquireSRWLockExclusive(&notesLock);
    NotePoll();
    notes.percent = int32_t(written);  // the meter compares it as signed
    if (notes.percent > notes.peak) notes.peak = notes.percent;
    ReleaseSRWLockExclusive(&notesLock);
}

void PhoneNoteSnr(float written, float fullScale) {
    AcquireSRWLockExclusive(&notesLock);
    NotePoll();
    notes.snr = written, notes.fullScale = fullScale;
    ReleaseSRWLockExclusive(&notesLock);
}

void PhoneNoteSatellite(const PhoneSatellite* satellite) {
    AcquireSRWLockExclusive(&notesLock);
    notes.hasSatellite = satellite != nullptr;
    if (satellite) notes.satellite = *satellite;
    ReleaseSRWLockExclusive(&notesLock);
}

// What the program shows now: a stopped finder shows no level.
static PhoneReading CurrentReading(PhoneSatellite* satellite) {
    AcquireSRWLockShared(&notesLock);
    PhoneNotes n = notes;
    ReleaseSRWLockShared(&notesLock);
    PhoneReading r = {};
    r.finder = n.polled && DriverNow() - n.lastPoll <= FINDER_QUIET_MS;
    r.percent = r.finder ? n.percent : 0;
    r.lock = r.percent != 0;
    r.snr = r.finder ? n.snr : 0.0f;
    float quality = n.fullScale > 0 && std::isfinite(r.snr) ? r.snr / n.fullScale * 100.0f : 0.0f;
    r.quality = quality <= 0 ? 0 : quality >= 100 ? 100 : uint32_t(lroundf(quality));
    r.peak = n.peak;
    r.tuned = n.tuned;
    r.frequencyKhz = n.frequencyKhz, r.polarization = n.polarization ? 'V' : 'H', r.symbolRate = n.symbolRate;
    if (n.hasSatellite) *satellite = n.satellite, r.satellite = satellite;
    return r;
}

// ---- the connections ---------------------------------------------------------------

enum ClientState : uint8_t {
    CLIENT_FREE,
    CLIENT_SERVING,  // requests are read and answered in turn
    CLIENT_EVENTS,   // the event stream runs; what the client sends is dropped
    CLIENT_CLOSING,  // the last reply goes out, then our half closes and the rest is drained
};

struct PhoneClient {
    SOCKET socket;
    ClientState state;
    bool readClosed, shutDown, headStarted;
    uint32_t lastHeard, headSince, lastProgress, closingSince;
    uint32_t eventVersion;
    size_t inLength, outLength, outSent;
    char in[IN_MAX];
    char out[OUT_MAX];
};

struct PhoneServer {
    SOCKET listener;
    PhoneClient clients[SLOTS];
    char json[JSON_MAX];
    size_t jsonLength;
    uint32_t version, lastEventAt;
};

static std::atomic<uint32_t> running{0};
static std::atomic<uint32_t> quit{0};
static HANDLE serverThread;

static void Append(PhoneClient* c, const char* data, size_t length) {
    if (c->outLength + length > OUT_MAX) return;  // sizes are checked above; never cut a reply
    if (c->outLength == c->outSent) c->lastProgress = DriverNow();
    memcpy(c->out + c->outLength, data, length);
    c->outLength += length;
}

static void Drop(PhoneClient* c) {
    closesocket(c->socket);
    c->state = CLIENT_FREE;
}

// After what is queued has gone out: our side closes, and the client's
// last bytes are read, so that a reset does not wipe the reply at its end.
static void Finish(PhoneClient* c) {
    c->state = CLIENT_CLOSING;
    c->closingSince = DriverNow();
}

static void Reply(PhoneClient* c, int status, const char* type, const char* body, size_t length, bool sendBody,
                  bool keepAlive, bool eventStream = false) {
    char head[512];
    size_t n = FormatPhoneHead(head, sizeof head, status, type, length, eventStream, keepAlive);
    Append(c, head, n);
    if (sendBody) Append(c, body, length);
    if (!keepAlive) Finish(c);
}

static void ReplyError(PhoneClient* c, int status, bool keepAlive) {
    char body[64];
    int n = snprintf(body, sizeof body, "%d %s\n", status, PhoneStatusReason(status));
    Reply(c, status, "text/plain; charset=utf-8", body, size_t(n), true, keepAlive);
}

static void SendEvent(PhoneServer* server, PhoneClient* c) {
    char frame[JSON_MAX + 64];
    size_t n = FrameServerEvent(nullptr, server->json, server->jsonLength, frame, sizeof frame);
    Append(c, frame, n);
    c->eventVersion = server->version;
}

static void Answer(PhoneServer* server, PhoneClient* c, const PhoneRequest* request) {
    PhoneRoute route = RoutePhoneRequest(request);
    bool body = request->method == PHONE_GET;
    if (route.status != 200) return ReplyError(c, route.status, request->keepAlive);
    if (route.resource == PHONE_PAGE)
        return Reply(c, 200, "text/html; charset=utf-8", reinterpret_cast<const char*>(PHONE_PAGE_HTML),
                     PHONE_PAGE_HTML_SIZE, body, request->keepAlive);
    if (route.resource == PHONE_SIGNAL)
        return Reply(c, 200, "application/json", server->json, server->jsonLength, body, request->keepAlive);
    Reply(c, 200, "text/event-stream; charset=utf-8", "", 0, false, request->keepAlive || body, true);
    if (!body) return;
    // A broken stream is tried again after a second: the page says "PC gone" meanwhile.
    Append(c, "retry: 1000\n\n", 13);
    SendEvent(server, c);
    c->state = CLIENT_EVENTS;
}

// The requests that have come, in turn, as long as the largest reply still
// fits behind those not yet sent: a client that does not read stops being read.
static void AnswerRequests(PhoneServer* server, PhoneClient* c, uint32_t now) {
    while (c->state == CLIENT_SERVING && c->outLength + REPLY_MAX <= OUT_MAX && c->inLength > 0) {
        PhoneRequest request;
        PhoneParse parse = ParsePhoneRequest(c->in, c->inLength, &request);
        if (parse == PHONE_INCOMPLETE) {
            if (!c->headStarted) c->headStarted = true, c->headSince = now;
            break;
        }
        c->headStarted = false;
        if (parse == PHONE_TOO_LARGE) return ReplyError(c, 431, false);
        if (parse == PHONE_MALFORMED) return ReplyError(c, 400, false);
        Answer(server, c, &request);
        memmove(c->in, c->in + request.length, c->inLength - request.length);
        c->inLength -= request.length;
    }
    if (c->state == CLIENT_SERVING && c->readClosed && c->outSent == c->outLength) Finish(c);
}

static void Receive(PhoneClient* c, uint32_t now) {
    char discard[512];
    bool keep = c->state == CLIENT_SERVING;
    char* into = keep ? c->in + c->inLength : discard;
    size_t room = keep ? IN_MAX - c->inLength : sizeof discard;
    int n = recv(c->socket, into, int(room), 0);
    if (n > 0) {
        if (keep) c->inLength += size_t(n);
        c->lastHeard = now;
    } else if (n == 0) {
        // A stream's reader has gone; a closing client still gets its last
        // reply (CheckTimes drops it once that is out).
        c->readClosed = true;
        if (c->state == CLIENT_EVENTS) Drop(c);
    } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
        Drop(c);
    }
}

static void Transmit(PhoneClient* c, uint32_t now) {
    while (c->outSent < c->outLength) {
        int n = send(c->socket, c->out + c->outSent, int(c->outLength - c->outSent), 0);
        if (n <= 0) {
            if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK) Drop(c);
            return;
        }
        c->outSent += size_t(n);
        c->lastProgress = now;
    }
    c->outSent = c->outLength = 0;
    if (c->state == CLIENT_CLOSING && !c->shutDown) {
        shutdown(c->socket, SD_SEND);
        c->shutDown = true;
        c->closingSince = now;
    }
}

static int Served(const PhoneServer* server) {
    int served = 0;
    for (const PhoneClient& c : server->clients) served += c.state == CLIENT_SERVING || c.state == CLIENT_EVENTS;
    return served;
}

static void AcceptClients(PhoneServer* server, uint32_t now) {
    for (;;) {
        SOCKET s = accept(server->listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) return;
        PhoneClient* c = nullptr;
        for (PhoneClient& slot : server->clients)
            if (slot.state == CLIENT_FREE) c = &slot;
        if (!c) {
            closesocket(s);
            continue;
        }
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        BOOL noDelay = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        bool refused = Served(server) >= SERVED_MAX;
        c->socket = s;
        c->state = CLIENT_SERVING;
        c->readClosed = c->shutDown = c->headStarted = false;
        c->lastHeard = c->lastProgress = now;
        c->inLength = c->outLength = c->outSent = 0;
        if (refused) ReplyError(c, 503, false);
    }
}

// Slowloris and the silent: a request must come whole within SILENCE_MS of
// its first byte, an idle connection goes after as long, and so does a
// reader that takes nothing of what is sent.
static void CheckTimes(PhoneClient* c, uint32_t now) {
    bool sending = c->outSent < c->outLength;
    if (sending && now - c->lastProgress > SILENCE_MS) return Drop(c);
    if (c->state == CLIENT_SERVING && !sending &&
        ((c->headStarted && now - c->headSince > SILENCE_MS) || (!c->inLength && now - c->lastHeard > SILENCE_MS)))
        return Finish(c);
    if (c->state == CLIENT_CLOSING && c->shutDown && (c->readClosed || now - c->closingSince > DRAIN_MS)) Drop(c);
}

// The reading as JSON, and a new event when it changed, or when one is due.
static void UpdateReading(PhoneServer* server, uint32_t now) {
    PhoneSatellite satellite;
    PhoneReading reading = CurrentReading(&satellite);
    char json[JSON_MAX];
    size_t n = WritePhoneJson(&reading, json, sizeof json);
    bool changed = n != server->jsonLength || memcmp(json, server->json, n) != 0;
    uint32_t every = reading.finder ? EVENT_EVERY_MS : IDLE_EVENT_MS;
    if (!changed && now - server->lastEventAt < every) return;
    memcpy(server->json, json, n);
    server->jsonLength = n;
    server->version++;
    server->lastEventAt = now;
}

static void Serve(PhoneServer* server) {
    while (!quit.load(std::memory_order_acquire)) {
        fd_set reading, writing;
        FD_ZERO(&reading);
        FD_ZERO(&writing);
        FD_SET(server->listener, &reading);
        for (PhoneClient& c : server->clients) {
            if (c.state == CLIENT_FREE) continue;
            if (!c.readClosed && (c.state != CLIENT_SERVING || c.inLength < IN_MAX)) FD_SET(c.socket, &reading);
            if (c.outSent < c.outLength) FD_SET(c.socket, &writing);
        }
        // Without clients only a stop or a connection can matter: it wakes less often.
        timeval wait = {0, long((Served(server) ? TICK_MS : IDLE_TICK_MS) * 1000)};
        select(0, &reading, &writing, nullptr, &wait);
        uint32_t now = DriverNow();
        if (FD_ISSET(server->listener, &reading)) AcceptClients(server, now);
        UpdateReading(server, now);
        for (PhoneClient& c : server->clients) {
            if (c.state != CLIENT_FREE && FD_ISSET(c.socket, &reading)) Receive(&c, now);
            if (c.state == CLIENT_SERVING) AnswerRequests(server, &c, now);
            if (c.state == CLIENT_EVENTS && c.outSent == c.outLength && c.eventVersion != server->version)
                SendEvent(server, &c);
            if (c.state != CLIENT_FREE) Transmit(&c, now);
            if (c.state != CLIENT_FREE) CheckTimes(&c, now);
        }
    }
}

// The thread holds its own reference on the DLL, so it may outlive a
// release that did not wait long enough.
static DWORD WINAPI ServerThread(LPVOID parameter) {
    PhoneServer* server = static_cast<PhoneServer*>(parameter);
    Serve(server);
    for (PhoneClient& c : server->clients)
        if (c.state != CLIENT_FREE) closesocket(c.socket);
    closesocket(server->listener);
    free(server);
    WSACleanup();
    running.store(0);
    FreeLibraryAndExitThread(DriverModule, 0);
}

// ---- start and stop -----------------------------------------------------------------

static void LogAddress(const char* address, uint16_t port) {
    DriverLog(DriverNow(), "phone page: http://%s:%u/", address, port);
}

// One line per IPv4 interface that is up, the address to type on the phone.
static void LogAddresses(const PhoneSettings* settings) {
    if (settings->listen[0] && strcmp(settings->listen, "0.0.0.0") != 0)
        return LogAddress(settings->listen, settings->port);
    ULONG size = 16 * 1024;
    IP_ADAPTER_ADDRESSES* adapters = static_cast<IP_ADAPTER_ADDRESSES*>(malloc(size));
    ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    int logged = 0;
    if (adapters && GetAdaptersAddresses(AF_INET, flags, nullptr, adapters, &size) == NO_ERROR) {
        for (IP_ADAPTER_ADDRESSES* a = adapters; a; a = a->Next) {
            if (a->OperStatus != IfOperStatusUp) continue;
            for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
                char text[INET_ADDRSTRLEN];
                const sockaddr_in* in = reinterpret_cast<const sockaddr_in*>(u->Address.lpSockaddr);
                if (in->sin_family != AF_INET || !inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
                LogAddress(text, settings->port);
                logged++;
            }
        }
    }
    free(adapters);
    if (!logged) LogAddress("127.0.0.1", settings->port);
}

static SOCKET Listen(const PhoneSettings* settings, int* error) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings->port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (settings->listen[0]) inet_pton(AF_INET, settings->listen, &address.sin_addr);
    // Another program on the port must not share it with us.
    BOOL exclusive = TRUE;
    u_long nonBlocking = 1;
    if (s == INVALID_SOCKET ||
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive) ||
        bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) || listen(s, SOMAXCONN) ||
        ioctlsocket(s, FIONBIO, &nonBlocking)) {
        *error = WSAGetLastError();
        if (s != INVALID_SOCKET) closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

bool StartPhoneServer(const char* iniText, size_t length) {
    PhoneSettings settings;
    PhoneSwitch on = ParsePhoneSettings(iniText, length, &settings);
    if (on == PHONE_OFF) return false;
    if (on == PHONE_SETTINGS_BAD) {
        DriverLog(DriverNow(), "phone page: off, the [phone] section wants port=1..65535 and listen=an IPv4 address");
        DriverMessage(false,
                      "The phone page is off: its [phone] section wants port=1..65535 and, if given, "
                      "listen= an IPv4 address of this PC.\n\nThe tuner works on without it.");
        return false;
    }
    uint32_t stopped = 0;
    if (!running.compare_exchange_strong(stopped, 1)) return false;  // one page per process
    WSADATA data;
    int error = WSAStartup(MAKEWORD(2, 2), &data);
    bool winsock = error == 0;
    SOCKET listener = winsock ? Listen(&settings, &error) : INVALID_SOCKET;
    PhoneServer* server =
        listener == INVALID_SOCKET ? nullptr : static_cast<PhoneServer*>(calloc(1, sizeof(PhoneServer)));
    HMODULE held = nullptr;
    HANDLE thread = nullptr;
    if (server &&
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ServerThread), &held)) {
        server->listener = listener;
        quit.store(0);
        thread = CreateThread(nullptr, 0, ServerThread, server, 0, nullptr);
    }
    if (!thread) {
        if (held) FreeLibrary(held);
        free(server);
        if (listener != INVALID_SOCKET) closesocket(listener);
        if (!error) error = int(GetLastError());
        if (winsock) WSACleanup();
        running.store(0);
        DriverLog(DriverNow(), "phone page: port %u cannot be used on %s (error %d); the page is off", settings.port,
                  settings.listen[0] ? settings.listen : "every interface", error);
        DriverMessage(false,
                      "The phone page cannot listen on port %u: another program uses it, or the address "
                      "is not this PC's.\n\nThe tuner works on without the page. Choose another port= in "
                      "the [phone] section of the driver's ini.",
                      settings.port);
        return false;
    }
    serverThread = thread;
    LogAddresses(&settings);
    return true;
}

void StopPhoneServer() {
    if (!serverThread) return;
    quit.store(1, std::memory_order_release);
    DWORD waited = WaitForSingleObject(serverThread, STOP_WAIT_MS);
    if (waited != WAIT_OBJECT_0)
        DriverLog(DriverNow(), "phone page: its thread did not end within %lu ms", (unsigned long)STOP_WAIT_MS);
    CloseHandle(serverThread);
    serverThread = nullptr;
}
