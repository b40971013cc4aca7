#pragma once
// Which satellite the stream comes from, read from the stream itself: MPEG
// transport stream packets (ISO/IEC 13818-1), the PAT, and the NIT actual
// and SDT actual of ETSI EN 300 468, then the identification and the verdict
// against the user's transponder lists. No sockets and no platform: the
// bridge (satipcard.dll) reads with it, dishserver.exe writes with it, and
// the host tests and the fuzzer see both sides.
//
// Readers take a length and never read past it; a section that does not add
// up (a bad CRC, a descriptor running past its loop) counts as not received.
#include <cstddef>
#include <cstdint>

constexpr size_t TS_PACKET_SIZE = 188;
constexpr uint16_t TS_PID_PAT = 0x0000, TS_PID_NIT = 0x0010, TS_PID_SDT = 0x0011;
constexpr uint8_t TS_TABLE_PAT = 0x00, TS_TABLE_NIT_ACTUAL = 0x40, TS_TABLE_SDT_ACTUAL = 0x42;
constexpr size_t TS_SECTION_MAX = 1024;        // PSI and SI sections: section_length at most 1021
constexpr size_t TS_NAME_MAX = 64;             // a name in UTF-8, NUL included; longer ones are cut
constexpr uint32_t TS_STREAMS_MAX = 64;        // transport streams of a NIT kept
constexpr uint32_t TS_SERVICES_MAX = 3;        // the first service names kept
constexpr uint32_t TS_NO_POSITION_MS = 15000;  // no position by then: the stream is named without one

// A satellite delivery system descriptor (0x43) as numbers.
struct TsDelivery {
    uint32_t frequencyKhz;   // BCD, in 10 kHz steps
    uint16_t orbitalTenths;  // BCD, tenths of a degree
    bool east;               // west_east_flag
    char polarization;       // 'h', 'v', 'l', 'r'
    bool s2;                 // modulation_system
    uint32_t symbolRate;     // kS/s (BCD in 100 S/s steps)
};

// One transport stream of the NIT's loop.
struct TsStream {
    uint16_t tsid, onid;
    bool hasDelivery;
    TsDelivery delivery;
};

// How far one table has come: the sections of its current version.
struct TsProgress {
    bool started, complete;
    uint16_t extension;  // table_id_extension: the PAT's and SDT's tsid, the NIT's network_id
    uint8_t version, last;
    uint8_t got[32];  // a bit per section_number
};

// A section being put together from the packets of one PID.
struct TsAssembly {
    uint8_t data[TS_SECTION_MAX];
    size_t have;
    bool open;       // a section has begun and is not yet whole
    int8_t counter;  // the last continuity_counter, -1 before the first packet
};

struct TsTables {
    TsAssembly pid[3];  // PAT, NIT, SDT
    TsProgress pat, nit, sdt;
    uint16_t tsid;  // the PAT's
    uint16_t networkId;
    char network[TS_NAME_MAX];
    TsStream streams[TS_STREAMS_MAX];
    uint32_t streamCount;
    uint16_t onid;  // the SDT's original_network_id
    char provider[TS_NAME_MAX];
    char services[TS_SERVICES_MAX][TS_NAME_MAX];
    uint32_t serviceCount;
    uint32_t sections, badCrc, breaks, malformed;  // counts, for the log and the tests
};

// Everything forgotten: a new tune or a lost lock.
void ResetTsTables(TsTables* tables);

// The RTP payload: whole 188-byte packets. Packets without the sync byte,
// with transport_error_indicator, or of other PIDs are skipped; a continuity
// break drops the section it interrupts.
void ReadTsPackets(TsTables* tables, const uint8_t* data, size_t length);

// The payload of an RTP packet (RFC 3550): after the fixed header, the CSRC
// list and an extension, without the padding. False for anything else.
bool RtpPayload(const uint8_t* packet, size_t length, size_t* offset, size_t* payloadLength);

// CRC-32 of ISO/IEC 13818-1 Annex A (polynomial 0x04C11DB7, no reflection):
// 0 over a whole section with its CRC.
uint32_t TsCrc32(const uint8_t* data, size_t length);

// A name of EN 300 468 Annex A as UTF-8: the character-set byte first when
// below 0x20 (ISO 8859-1, -5, -9 and -15, ISO 10646 BMP and UTF-8 are known;
// the default table is taken as ASCII). A character that is unknown, or not
// printable, becomes '?' (control codes 0x80..0x9F are dropped, 0x8A is a
// space). Cut at a character's boundary; returns the length written.
size_t DecodeDvbText(const uint8_t* text, size_t length, char* out, size_t size);

// ---- the writer (dishserver) ---------------------------------------------------

constexpr size_t TS_WRITER_STREAMS_MAX = 4;

struct TsNetworkContent {
    uint16_t tsid, onid, networkId;
    uint8_t version;
    const char* network;                      // UTF-8
    TsStream streams[TS_WRITER_STREAMS_MAX];  // of the NIT's loop
    uint32_t streamCount;
    const char* provider;
    const char* services[TS_SERVICES_MAX];
    uint32_t serviceCount;
};

// Whole sections with their CRC; the names go out as UTF-8 (0x15) when they
// are not plain ASCII. Each returns the length written, 0 when it does not fit.
size_t BuildPatSection(const TsNetworkContent* content, uint8_t* out, size_t size);
size_t BuildNitSection(const TsNetworkContent* content, uint8_t* out, size_t size);
size_t BuildSdtSection(const TsNetworkContent* content, uint8_t* out, size_t size);

// A section as packets of one PID: payload_unit_start and a pointer_field on
// the first, the continuity counter running on from *counter, at most chunk
// bytes of section in each packet (the rest of a packet is adaptation-field
// stuffing, then 0xFF after the section's end). Returns the bytes written
// (a multiple of 188), 0 when they do not fit.
size_t PacketizeSection(uint16_t pid, uint8_t* counter, const uint8_t* section, size_t length, size_t chunk,
                        uint8_t* out, size_t size);

// ---- the identification and the verdict ----------------------------------------

enum TsIdentityState : uint8_t { IDENTITY_NONE, IDENTITY_CONFIRMED, IDENTITY_TENTATIVE, IDENTITY_NO_POSITION };

struct TsIdentity {
    TsIdentityState state;
    uint32_t positionKey;  // the lists' key: tenths of a degree east, above 1800 west
    char position[8];      // "19.2e", "0.8w"
    char network[TS_NAME_MAX];
    char services[TS_SERVICES_MAX][TS_NAME_MAX];
    uint32_t serviceCount;
};

// What the tables say msSinceLock after the stream came: confirmed when the
// NIT's entry for the PAT's tsid has the SDT's original_network_id and a
// position, tentative when only the tsid matches (or no SDT came within
// TS_NO_POSITION_MS), no position when the NIT gave none by then; NONE
// while it is too early to say. The network is the NIT's name, or the SDT's
// provider without one.
void IdentifyTables(const TsTables* tables, uint32_t msSinceLock, TsIdentity* identity);
bool SameIdentity(const TsIdentity* a, const TsIdentity* b);

// "Satellite 19.2e confirmed, network "ASTRA", services "Das Erste", "ZDF"".
size_t FormatIdentity(const TsIdentity* identity, char* out, size_t size);

// The lists' positions that hold a transponder.
constexpr uint32_t LISTED_POSITIONS_MAX = 16;
struct ListedPositions {
    uint32_t keys[LISTED_POSITIONS_MAX];
    uint32_t count;
};

// A transponder file's bytes hold frequencyKhz within 2 MHz on polarization
// ('h' or 'v'; 'l' counts as 'h' and 'r' as 'v', as the card is told).
bool ListHoldsTransponder(const char* data, size_t size, uint32_t frequencyKhz, char polarization);
void AddListedPosition(ListedPositions* listed, uint32_t key);

enum TsVerdict : uint8_t { VERDICT_NONE, VERDICT_RIGHT, VERDICT_WRONG, VERDICT_NOT_LISTED };

// The identified position against the lists, and the sentence that says it:
// "the dish receives 19.2E (ASTRA), not 23.5E: 11597 V 27500 is in your list
// of 23.5E". upper: positions as "19.2E" (the box) or as the lists write
// them, "19.2e" (the log). NONE (and an empty sentence) without a position.
TsVerdict JudgeIdentity(const TsIdentity* identity, const ListedPositions* listed, uint32_t frequencyKhz,
                        char polarization, uint32_t symbolRate, bool upper, char* sentence, size_t size);
