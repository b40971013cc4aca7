#pragma once
// The SAT>IP protocol as text and bytes, with no sockets and no platform:
// the tune query (SES' SAT>IP Protocol Specification 1.2.2, section 3.5.11),
// RTSP requests and replies (RFC 2326), the tuner status that RTCP APP
// "SES1" packets (RFC 3550, section 6.7) and DESCRIBE's SDP carry, SSDP
// answers and device descriptions, and the bridge's satipcard.ini. The
// bridge (satipcard.dll) and the project's own server (dishserver.exe) both
// use it; the host tests and the fuzzers see all of it.
//
// Every parser takes a length and never reads past it, needs no NUL at the
// end, and fills its result only as far as it could read; what it returns
// says whether the input was usable.
#include <cstddef>
#include <cstdint>

constexpr uint16_t SATIP_RTSP_PORT = 554;
constexpr size_t SATIP_HOST_MAX = 64;     // a host name or dotted address, NUL included
constexpr size_t SATIP_SESSION_MAX = 64;  // a session identifier, NUL included
constexpr size_t SATIP_PATH_MAX = 128;    // the path of a description's address
constexpr size_t SATIP_QUERY_MAX =
    160;  // "src=1&freq=12302&pol=v&ro=0.35&msys=dvbs2&mtype=8psk&plts=on&sr=27500&pids=0,16,17"
constexpr size_t SATIP_URL_MAX = 192;      // a device description's address, NUL included
constexpr size_t SATIP_REQUEST_MAX = 512;  // one RTSP request, headers included

// ---- the tune ----------------------------------------------------------------

enum SatipSystem : uint8_t { SATIP_DVBS, SATIP_DVBS2 };

// One SAT>IP tune. frequencyKhz is the satellite's frequency (the program's
// SetFrequency value), not the IF; the LNB is the server's business.
struct SatipTune {
    uint32_t source;        // src: 1..4
    uint32_t frequencyKhz;  // freq, sent in MHz
    char polarization;      // 'h', 'v', 'l' or 'r'
    uint32_t symbolRate;    // sr, kS/s
    SatipSystem system;     // msys
};

// The program's burst as one tune: the DiSEqC value (None, Simple A,
// Simple B, LNB1..LNB4) becomes the port + 1, 1 without DiSEqC; the
// polarization value 0 is horizontal, any other vertical.
SatipTune TuneFromBurst(uint32_t diseqc, uint32_t polarization, uint32_t symbolRate, uint32_t frequencyKhz,
                        SatipSystem system);

// The other system, for the msys fallback when no lock comes.
SatipSystem OtherSystem(SatipSystem system);

// "src=1&freq=12302&pol=v&ro=0.35&msys=dvbs2&mtype=8psk&plts=on&sr=27500&pids=0,16,17";
// a frequency that is not whole MHz keeps its fraction ("freq=12302.5").
// ro, mtype and plts are always sent, with values that are known for the
// system: some boxes answer 500 without them, and some reject "auto".
// DVB-S is QPSK with roll-off 0.35 and no pilots by definition. For DVB-S2
// the program knows nothing but frequency, polarization and symbol rate, so
// the query names the common broadcast case, 8PSK with roll-off 0.35 and
// pilots on: boxes that go by the query (Triax, Kathrein) need pilots on and
// 0.35, and most DVB-S2 demodulators find the real modulation and pilots
// in the frame header whatever the query says. The pids are the PAT, the NIT
// and the SDT. Returns the length written, 0 when it does not fit.
size_t FormatTuneQuery(const SatipTune* tune, char* out, size_t size);

// Reads a query (what follows '?' in an rtsp:// address, or the address
// itself: everything up to '?' is skipped). Keys it does not know are
// ignored; src, freq, pol and sr must be there and valid, msys defaults to
// dvbs. False when the query is not a usable DVB-S tune.
bool ParseTuneQuery(const char* text, size_t length, SatipTune* tune);

// ---- RTSP ----------------------------------------------------------------------

// One RTSP request: "METHOD uri RTSP/1.0\r\nCSeq: n\r\n" + the session when it
// is given + extra (header lines, each ending in "\r\n", or nullptr) +
// "\r\n". Returns the length written, 0 when it does not fit.
size_t FormatRtspRequest(char* out, size_t size, const char* method, const char* uri, uint32_t cseq,
                         const char* session, const char* extra);

enum SatipParse { SATIP_MALFORMED = -1, SATIP_INCOMPLETE = 0, SATIP_COMPLETE = 1 };

// What a reply says, as far as the bridge needs it.
struct RtspReply {
    int status;                              // 200, 404, 503, ...
    uint32_t cseq;                           // 0 when absent
    char session[SATIP_SESSION_MAX];         // without ";timeout=..."; empty when absent
    uint32_t timeoutSeconds;                 // the session's timeout; 60 when not given
    uint32_t streamId;                       // com.ses.streamID; 0 when absent
    uint16_t serverRtpPort, serverRtcpPort;  // from Transport's server_port; 0 when absent
    bool interleaved;                        // Transport: RTP/AVP/TCP or interleaved=: the stream comes over RTSP
    uint8_t rtpChannel, rtcpChannel;         // Transport's interleaved=a-b; 0-1 when not given
    size_t headerLength;                     // bytes up to and including the empty line
    size_t contentLength;                    // the body's length after it
};

// A reply at the start of data: SATIP_COMPLETE once the headers and the
// whole body are there (the body is data + headerLength), SATIP_INCOMPLETE
// while more may come, SATIP_MALFORMED for anything that is not an RTSP
// reply (also a header block longer than the data can ever hold: 8 KiB).
SatipParse ParseRtspReply(const char* data, size_t length, RtspReply* reply);

// What a request says, as far as the server needs it.
struct RtspRequest {
    char method[16];
    char uri[256];
    uint32_t cseq;
    char session[SATIP_SESSION_MAX];
    uint16_t clientRtpPort, clientRtcpPort;  // Transport's client_port; 0 when absent
    bool interleaved;                        // Transport asks for RTP/AVP/TCP or interleaved=
    uint8_t rtpChannel, rtcpChannel;         // interleaved=a-b; 0-1 when not given
    size_t headerLength;
};

// A request at the start of data (requests carry no body here), or an HTTP
// GET, which has the same shape: then method is "GET".
SatipParse ParseRtspRequest(const char* data, size_t length, RtspRequest* request);

// ---- the tuner status ----------------------------------------------------------

// "src=<n>;tuner=<feID>,<level>,<lock>,<quality>,<freq>,<pol>,..." in a
// status text. The first four tuner fields are the measurement; the source,
// frequency and polarization only say which tune it describes, and are 0
// where the server leaves them out or blank.
struct SatipStatus {
    uint32_t frontend;
    uint32_t level;         // 0..255
    uint32_t lock;          // 0 or 1
    uint32_t quality;       // 0..15
    uint32_t source;        // the echoed src; 0 when not given
    uint32_t frequencyKhz;  // the echoed frequency; 0 when not given or blank
    char polarization;      // the echoed polarization; 0 when not given or blank
};

// A status describes the tune when what it echoes agrees: the frequency
// within 1 MHz, the polarization and the source. A field the server leaves
// out cannot disagree.
bool StatusMatchesTune(const SatipStatus* status, const SatipTune* tune);

// minisatip reports full level, lock and best quality (255, 1, 15) right
// after every tune until the tuner's first real reading, 300 to 600 ms
// later: that pattern is not believed for this long after a PLAY, which
// covers it and one 200 ms report period more.
constexpr uint32_t SATIP_EARLY_MS = 800;

// Whether a report counts for the meter: it describes the tune, and it is
// not minisatip's early pattern within SATIP_EARLY_MS of the PLAY. Any other
// report counts at once.
bool ReportCounts(const SatipStatus* status, const SatipTune* tune, uint32_t msSincePlay);

// Reads "ver=1.0;src=1;tuner=1,204,1,12,12302.00,v,dvbs2,8psk,off,0.35,27500,34;pids=0",
// also "ver=1.2;..." and fields after the fourth left blank ("tuner=1,204,1,12,,,,").
// Only the four measured fields must be there. False without a usable tuner
// field: out of range values are not usable either.
bool ParseTunerStatus(const char* text, size_t length, SatipStatus* status);

// The status from a compound RTCP packet (RR or SR, SDES, APP in any order):
// the first APP packet named "SES1" (its string length, then the status
// text). Old minisatip wrote the APP's length word one word off; the text is
// read as far as the datagram holds it. False when there is none. sentAt
// (when given) gets the NTP timestamp of a sender report before the APP, 0
// without one.
bool ParseRtcpApp(const uint8_t* data, size_t length, SatipStatus* status, uint64_t* sentAt = nullptr);

// The status from DESCRIBE's SDP: the "a=fmtp:33 ..." line.
bool ParseSdpStatus(const char* text, size_t length, SatipStatus* status);

// The meter's figures from a status: the level in percent (level x 100 / 255,
// rounded), and the SNR figure, which is the quality 0..15 as it stands (not dB).
uint32_t StatusPercent(const SatipStatus* status);
float StatusSnrFigure(const SatipStatus* status);

// The server's side: "ver=1.0;src=..;tuner=1,level,lock,quality,freq,pol,msys,..;pids=0"
// for a tune and a status; with SATIP_STATUS_V12 "ver=1.2;..." and every
// field after the fourth blank, as some boxes write it. Returns the length
// written, 0 when it does not fit.
enum SatipStatusForm : uint32_t { SATIP_STATUS_V10 = 0, SATIP_STATUS_V12 = 1 };
size_t FormatTunerStatus(const SatipTune* tune, const SatipStatus* status, char* out, size_t size,
                         SatipStatusForm form = SATIP_STATUS_V10);

// A compound RTCP packet as a SAT>IP server sends it: an empty receiver
// report, then APP "SES1" with the status text, padded to 32 bits. The form
// flags make it the way other servers do: a sender report (NTP timestamp
// sentAt) and an SDES before the APP, an APP length word one word too long.
// Returns the length written, 0 when it does not fit.
enum SatipRtcpForm : uint32_t { SATIP_RTCP_PLAIN = 0, SATIP_RTCP_COMPOUND = 1, SATIP_RTCP_LONG_APP = 2 };
size_t BuildRtcpApp(uint32_t ssrc, const char* statusText, uint8_t* out, size_t size, uint32_t form = SATIP_RTCP_PLAIN,
                    uint64_t sentAt = 0);

// An empty receiver report (RFC 3550, 6.4.2): 8 bytes, what every RTP
// receiver may send to the sender's RTCP port. The bridge sends it from its
// RTP and RTCP ports after SETUP to open the way for the server's datagrams
// through a stateful firewall or NAT.
constexpr size_t SATIP_EMPTY_RR_SIZE = 8;
void BuildEmptyReceiverReport(uint32_t ssrc, uint8_t* out);

// ---- the order of what arrives ----------------------------------------------

// Datagrams come late, twice or out of order over Wi-Fi; what is older than
// what was taken never replaces it. RTP by its sequence number; RTCP by its
// sender report's NTP timestamp, and by arrival where a server sends none
// (tvheadend's bare APP, a plain receiver report). Something far behind
// (1,000 packets, 10 s) is a restarted server's, and starts the order anew.
struct SatipOrder {
    bool rtpSeen, reportSeen;
    uint16_t rtpSequence;
    uint64_t reportSentAt;
};
bool RtpIsNewer(SatipOrder* order, uint16_t sequence);
bool ReportIsNewer(SatipOrder* order, uint64_t sentAt);  // sentAt 0: no timestamp, taken as it comes

// ---- RTP and RTCP over the RTSP connection (RFC 2326, section 10.12) ---------

// Interleaved, each packet comes as '$', its channel, its 16-bit length and
// the packet, between the RTSP replies on the same connection, split across
// reads as TCP pleases. The reader keeps what came in the caller's buffer;
// SATIP_FRAME_MAX bytes hold every frame. A frame longer than the buffer is
// dropped as it comes, bytes that are neither a frame nor a reply are
// skipped to the next '$' or 'R'.
constexpr size_t SATIP_FRAME_MAX = 4 + 0xFFFF;
struct SatipInterleaved {
    uint8_t* buffer;
    size_t size;
    size_t start, end;  // what came and is not yet taken
    size_t drop;        // bytes still to come of a frame longer than the buffer
};
enum SatipPieceKind { SATIP_PIECE_NONE, SATIP_PIECE_FRAME, SATIP_PIECE_REPLY, SATIP_PIECE_JUNK };
struct SatipPiece {
    SatipPieceKind kind;  // NONE: more must come
    uint8_t channel;      // a frame's
    const uint8_t* data;  // a frame's packet, a reply's text (head and body); valid until the next read
    size_t length;        // also the bytes a JUNK piece skipped
    RtspReply reply;      // a reply's
};
void InitInterleaved(SatipInterleaved* reader, uint8_t* buffer, size_t size);
// Where the next read goes and how much fits (what was taken is moved out first).
uint8_t* InterleavedRoom(SatipInterleaved* reader, size_t* room);
void InterleavedCame(SatipInterleaved* reader, size_t count);
// The next whole piece, taken out of the reader.
SatipPiece NextInterleaved(SatipInterleaved* reader);

// ---- finding a server ----------------------------------------------------------

constexpr char SATIP_SERVER_URN[] = "urn:ses-com:device:SatIPServer:1";

// An SSDP answer (a unicast "HTTP/1.1 200 OK" to an M-SEARCH, or a NOTIFY)
// for a SAT>IP server: its LOCATION, the description's address, and the
// RTSP port from X-SATIP-RTSP-Port (554 when not given). False for any other
// device or a message without a location.
bool ParseSsdpAnswer(const char* data, size_t length, char* location, size_t locationSize, uint16_t* rtspPort);

// "http://host[:port]/path": host, port (80 when not given) and path ("/"
// when not given). False for anything else.
bool ParseHttpUrl(const char* url, char* host, size_t hostSize, uint16_t* port, char* path, size_t pathSize);

// The DVB-S2 tuners that a device description offers: the count after
// "DVBS2-" in <satip:X_SATIPCAP>. 0 when it offers none or says nothing.
uint32_t DescriptionSatelliteTuners(const char* xml, size_t length);

// ---- satipcard.ini and the bridge's cache --------------------------------------

enum SatipAddress {
    SATIP_ADDRESS_BAD = -1,
    SATIP_ADDRESS_NONE = 0,
    SATIP_ADDRESS_GIVEN = 1,
    SATIP_ADDRESS_DESCRIPTION = 2
};

// address=host[:port] in the [server] section (port 554 when not given), or
// address=http://host:port/desc.xml, the server's device description
// (DESCRIPTION: the address goes to url, which must hold SATIP_URL_MAX).
// NONE when the file has no address (discovery then finds one), BAD when the
// address cannot be used (an empty host, a port out of 1..65535).
// Lines end in \n or \r\n; ';' and '#' start comments; keys and sections are
// case-blind.
SatipAddress ParseServerAddress(const char* text, size_t length, char* host, size_t hostSize, uint16_t* port,
                                char* url);

// transport=auto|udp|tcp in [server]: how the stream comes. auto (also
// when absent or unknown): UDP, and the RTSP connection when nothing comes
// over UDP; tcp: the RTSP connection first, UDP where the server refuses it.
enum SatipTransport { SATIP_TRANSPORT_AUTO, SATIP_TRANSPORT_UDP, SATIP_TRANSPORT_TCP };
SatipTransport ParseServerTransport(const char* text, size_t length);

// The cache beside the bridge: the system each transponder last locked on,
// so that the first query asks for it. One tune query a line for those that
// locked on DVB-S2; a transponder not in it is asked as DVB-S, the system of
// every listed transponder. A tune is the same transponder at the same
// source and polarization within 1 MHz.
constexpr size_t SATIP_CACHE_LINES = 64;
constexpr size_t SATIP_CACHE_MAX = SATIP_CACHE_LINES * SATIP_QUERY_MAX;
SatipSystem CachedSystem(const char* text, size_t length, const SatipTune* tune);
// The cache with the tune's system noted, the oldest lines dropped beyond
// SATIP_CACHE_LINES: the new text's length (out holds SATIP_CACHE_MAX).
size_t NoteCachedSystem(const char* text, size_t length, const SatipTune* tune, char* out);
