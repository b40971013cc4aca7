#pragma once
// The tables written: whole PAT, NIT and SDT sections with their CRC, and
// sections cut into transport stream packets. dishserver.exe sends them, and
// the host tests read back what it builds.
#include "driver/ts_tables.h"

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
