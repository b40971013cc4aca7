#pragma once
// The stream's own tables read: MPEG transport stream packets (ISO/IEC
// 13818-1), the PAT, and the NIT actual and SDT actual of ETSI EN 300 468.
// No sockets and no platform: the bridge (satipcard.dll) reads with it, and
// so do the host tests and the fuzzer. ts_writer.h writes what this reads,
// satellite_identity.h says what it names, satellite_verdict.h holds that
// against the lists.
//
// Readers take a length and never read past it; a section that does not add
// up (a bad CRC, a descriptor running past its loop) counts as not received.
#include <cstddef>
#include <cstdint>

constexpr size_t TS_PACKET_SIZE = 188;
constexpr uint16_t TS_PID_PAT = 0x0000, TS_PID_NIT = 0x0010, TS_PID_SDT = 0x0011;
constexpr uint8_t TS_TABLE_PAT = 0x00, TS_TABLE_NIT_ACTUAL = 0x40, TS_TABLE_SDT_ACTUAL = 0x42;
constexpr uint8_t TS_SYNC_BYTE = 0x47;
constexpr uint8_t TS_NETWORK_NAME_DESCRIPTOR = 0x40, TS_SATELLITE_DELIVERY_DESCRIPTOR = 0x43,
                  TS_SERVICE_DESCRIPTOR = 0x48;
constexpr size_t TS_SECTION_HEADER = 8;  // table_id .. last_section_number
constexpr size_t TS_CRC_SIZE = 4;
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
