#pragma once
// Inside satipcard.dll, the card driver's COM server that tunes a SAT>IP
// server instead of a card: the COM object hands the program's burst to one
// session thread, which speaks RTSP to the server and keeps the last tuner
// status from its RTCP reports; the program's polls are answered from that
// status at once, and never wait on the network.
#include <winsock2.h>
#include <atomic>
#include "driver/satip_protocol.h"
#include "driver/satellite_watch.h"
#include "driver/driver_files.h"
#include "driver/driver_server.h"

// No network wait lasts longer: a connect, a reply, a description.
constexpr uint32_t NETWORK_WAIT_MS = 2000;

// "192.168.1.20:554", the way the log and the boxes name a server.
constexpr size_t SERVER_NAME_MAX = SATIP_HOST_MAX + 8;

struct SatipServer {
    char host[SATIP_HOST_MAX];
    uint16_t port;
    char name[SERVER_NAME_MAX];
    sockaddr_in address;  // looked up once: the session never waits on a name server
    SatipTransport transport;
};

struct Bridge {
    DriverObject object;  // first: the filter is the bridge's identity
    // The burst as the program gives it; the main thread's alone.
    uint32_t polarization, symbolRate, frequency;
    SatipServer server;
    // The main thread's tune for the session thread: a new generation is a
    // new tune to send.
    SRWLOCK tuneLock;
    SatipTune tune;
    std::atomic<uint32_t> generation;
    std::atomic<int32_t> chosenKey;  // the satellite chosen in the program at the tune
    // The session thread's answer for the poller: BridgeStatus packed.
    std::atomic<uint32_t> status;
    std::atomic<uint32_t> lastPoll;  // DriverNow() of the program's last poll
    std::atomic<uint32_t> quit;
    HANDLE thread;
    SatelliteWatch watch;  // the session thread's alone
    bool phone;            // this bridge started the phone page
};

// The status as one word: the lock, the percent and the quality.
uint32_t PackStatus(uint32_t lock, uint32_t percent, uint32_t quality);
inline uint32_t StatusLock(uint32_t packed) { return packed & 1; }
inline uint32_t StatusLevel(uint32_t packed) { return (packed >> 1) & 0xFF; }
inline uint32_t StatusQuality(uint32_t packed) { return packed >> 9; }

// ---- the server: satipcard.ini, or SSDP discovery ------------------------------

// Where the server is. False when none can be used: the log has said why,
// and so has a box.
bool FindServer(SatipServer* server);
void NameServer(SatipServer* server);

// ---- the session thread --------------------------------------------------------

// Checks that the server answers and starts the thread. False when it does
// not answer: the log and a box have said so.
bool StartSession(Bridge* bridge);
// Ends the thread, with a TEARDOWN when a session stands. False when the
// thread did not end in time (the bridge must then be kept).
bool StopSession(Bridge* bridge);

// ---- the stream's tables: which satellite is it? ------------------------------

// Reads one RTP packet (the tables' PIDs) for the tune that tunedAt stamps
// into the bridge's watch (driver/satellite_watch.h), which tells the user
// which satellite it is; with nullptr, once a pass after the packets, the
// watch judges what they say. Never waits. The packets come over UDP or the
// RTSP connection alike.
void ReadStreamTables(Bridge* bridge, const uint8_t* rtp, size_t length, const SatipTune* tune, uint32_t tunedAt);

// ---- sockets, each wait bounded by NETWORK_WAIT_MS ----------------------------

bool StartWinsock();
// The host's address, into server->address; false when it has none.
bool ResolveServer(SatipServer* server);
SOCKET ConnectServer(const SatipServer* server);
// Waits until the socket can be read (or written); false when the time ran out.
bool WaitForSocket(SOCKET socket, bool writing, uint32_t ms);
bool SendAll(SOCKET socket, const char* data, size_t length);
// Reads until a whole reply has come; its body follows the headers in buffer.
// SATIP_INCOMPLETE when the time ran out or the server closed the connection.
SatipParse ReceiveReply(SOCKET socket, char* buffer, size_t size, RtspReply* reply);
// An even and odd UDP port pair on every interface, for RTP and RTCP.
bool OpenClientPorts(SOCKET* rtp, SOCKET* rtcp, uint16_t* rtpPort);
void CloseSocket(SOCKET* socket);

// ---- what the user and the log are told ----------------------------------------

// One line of satipcard.log beside the DLL (or where SATIPCARD_LOG says).
#define BridgeLog(...) DriverLog(DriverNow(), __VA_ARGS__)
// The driver's box (driver_files.h), captioned "SAT>IP tuner".
#define BridgeMessage DriverMessage
