#pragma once
// The phone page's HTTP/1.1 (RFC 9110, RFC 9112) as text, with no sockets:
// the request reader, the routing of the three resources, the reply's head,
// the JSON of one reading and the framing of Server-Sent Events (the HTML
// Living Standard's text/event-stream). Both card drivers serve the page;
// the host tests and the fuzzer see all of this.
//
// Every reader takes a length and never reads past it; every writer returns
// the length written and 0 when the result does not fit.
#include <cstddef>
#include <cstdint>

// A request head (request line and headers) longer than this gets 431.
constexpr size_t PHONE_HEAD_MAX = 8192;
// A request may carry a small body (it is skipped); a larger one gets 400.
constexpr size_t PHONE_BODY_MAX = 8192;

enum PhoneParse { PHONE_MALFORMED = -1, PHONE_INCOMPLETE = 0, PHONE_COMPLETE = 1, PHONE_TOO_LARGE = 2 };

enum PhoneMethod : uint8_t { PHONE_GET, PHONE_HEAD, PHONE_OTHER_METHOD };

struct PhoneRequest {
    PhoneMethod method;
    char path[256];    // without the query; "" when the target did not fit
    bool hostAllowed;  // no Host (HTTP/1.0), an IP literal, or localhost
    bool keepAlive;    // HTTP/1.1 without "Connection: close", or 1.0 with keep-alive
    size_t length;     // head and body: where the next pipelined request starts
};

// One request at the start of data. PHONE_INCOMPLETE while more may come,
// PHONE_TOO_LARGE for a head over PHONE_HEAD_MAX (431), PHONE_MALFORMED for
// anything that is not a request this server can read (400): then the
// connection cannot go on, since where the next request starts is unknown.
PhoneParse ParsePhoneRequest(const char* data, size_t length, PhoneRequest* request);

// A Host header's value that a page elsewhere cannot have made through DNS
// rebinding: an IPv4 or bracketed IPv6 literal, or "localhost", with an
// optional port.
bool PhoneHostAllowed(const char* value, size_t length);

enum PhoneResource : uint8_t { PHONE_PAGE, PHONE_SIGNAL, PHONE_EVENTS, PHONE_NONE };

// What a request gets: its resource and the status (200, 403, 404 or 405).
struct PhoneRoute {
    PhoneResource resource;
    int status;
};
PhoneRoute RoutePhoneRequest(const PhoneRequest* request);

// "HTTP/1.1 <status> <reason>\r\n" and the headers of a reply: its type and
// length (no length for the event stream, which ends with the connection),
// no caching, "Connection: close" unless keepAlive, "Allow" on a 405.
size_t FormatPhoneHead(char* out, size_t size, int status, const char* contentType, size_t contentLength,
                       bool eventStream, bool keepAlive);
// A short text body for an error status, and the reason phrase.
const char* PhoneStatusReason(int status);

// ---- what the page shows ---------------------------------------------------------

// The identification of the satellite that the stream comes from, as bounded
// UTF-8 texts; state is "confirmed", "tentative" or "none", verdict "right",
// "wrong", "unlisted" or "tentative".
constexpr size_t PHONE_SERVICES = 3;
struct PhoneSatellite {
    char position[16];  // "19.2e"
    char state[12];
    char network[64];
    char services[PHONE_SERVICES][64];  // empty ones are left out
    char verdict[12];
    char text[384];  // "the dish receives 19.2E (ASTRA), not 23.5E: ..."
};

// One reading as the program sees it: the figures its poller took from the
// driver, the tune they belong to, and the satellite (nullptr: not known).
struct PhoneReading {
    bool finder;       // the program polls
    bool lock;         // the red button is green: percent is not 0
    int32_t percent;   // as the meter prints it, out of range included
    int32_t peak;      // the highest percent since the tune
    float snr;         // the meter's SNR figure
    uint32_t quality;  // 0..100, for the quality bar
    bool tuned;
    uint32_t frequencyKhz;
    char polarization;  // 'H' or 'V'
    uint32_t symbolRate;
    const PhoneSatellite* satellite;
};

// {"finder":true,"lock":true,"percent":57,"peak":84,"snr":8.25,"quality":55,
//  "transponder":{"frequency":11778,"polarization":"V","symbolRate":27500,"text":"11778 V 27500"},
//  "satellite":null}, on one line.
size_t WritePhoneJson(const PhoneReading* reading, char* out, size_t size);

// A JSON string: quotes, backslashes and control characters escaped, and any
// byte that is not part of well-formed UTF-8 written as U+FFFD, so that the
// result is always valid JSON whatever the driver was given.
size_t WriteJsonString(const char* text, size_t length, char* out, size_t size);

// One event: an "event:" line when name is given, one "data:" line per line
// of data (LF, CR or CRLF split it), and the empty line that ends it.
size_t FrameServerEvent(const char* name, const char* data, size_t length, char* out, size_t size);

// ---- the [phone] section of the driver's ini ---------------------------------------

enum PhoneSwitch { PHONE_SETTINGS_BAD = -1, PHONE_OFF = 0, PHONE_ON = 1 };

struct PhoneSettings {
    uint16_t port;
    char listen[16];  // a dotted IPv4 address; "" for every interface
};

// port=1..65535 switches the page on; listen= names the address. OFF without
// a port (a listener on the network is the user's choice), BAD for a port or
// an address that cannot be used. Lines end in \n or \r\n; ';' and '#' start
// comments; sections and keys are case-blind; other sections are skipped.
PhoneSwitch ParsePhoneSettings(const char* text, size_t length, PhoneSettings* settings);
