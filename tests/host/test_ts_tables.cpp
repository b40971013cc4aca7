// The stream's own tables: packets, sections and names, the identification
// and the verdict. What our writer builds is also decoded by VideoLAN's
// libdvbpsi, so reader and writer cannot share one misreading.
#include "driver/ts_tables.h"
#include <sys/types.h>  // libdvbpsi's headers use ssize_t without it
#include <dvbpsi/dvbpsi.h>
#include <dvbpsi/demux.h>
#include <dvbpsi/descriptor.h>
#include <dvbpsi/dr.h>
#include <dvbpsi/nit.h>
#include <dvbpsi/pat.h>
#include <dvbpsi/sdt.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TsNetworkContent Astra(uint16_t orbital, bool east) {
    TsNetworkContent c = {};
    c.tsid = 1019, c.onid = 1, c.networkId = 1, c.version = 3, c.network = "ASTRA", c.provider = "ARD";
    c.streams[0] = {1019, 1, true, {11597000, orbital, east, 'v', true, 22000}};
    c.streams[1] = {1020, 1, false, {}};
    c.streamCount = 2;
    c.services[0] = "Das Erste", c.services[1] = "Ærø TV", c.services[2] = "3sat";
    c.serviceCount = 3;
    return c;
}

Bytes Section(size_t (*build)(const TsNetworkContent*, uint8_t*, size_t), const TsNetworkContent& c) {
    Bytes s(TS_SECTION_MAX);
    s.resize(build(&c, s.data(), s.size()));
    return s;
}

Bytes Packets(uint16_t pid, const Bytes& section, size_t chunk, uint8_t* counter) {
    Bytes out(16 * TS_PACKET_SIZE);
    out.resize(PacketizeSection(pid, counter, section.data(), section.size(), chunk, out.data(), out.size()));
    return out;
}

// PAT, NIT and SDT as packets, the sections cut into chunk bytes per packet.
Bytes Stream(const TsNetworkContent& c, size_t chunk, bool withSdt = true) {
    uint8_t counters[3] = {0, 0, 0};
    Bytes all = Packets(TS_PID_PAT, Section(BuildPatSection, c), chunk, &counters[0]);
    for (Bytes b : {Packets(TS_PID_NIT, Section(BuildNitSection, c), chunk, &counters[1]),
                    withSdt ? Packets(TS_PID_SDT, Section(BuildSdtSection, c), chunk, &counters[2]) : Bytes()})
        all.insert(all.end(), b.begin(), b.end());
    return all;
}

void Read(TsTables* t, const Bytes& packets) { ReadTsPackets(t, packets.data(), packets.size()); }

TsIdentity Identify(const Bytes& stream, uint32_t ms = 1000) {
    static TsTables t;
    ResetTsTables(&t);
    Read(&t, stream);
    TsIdentity id;
    IdentifyTables(&t, ms, &id);
    return id;
}

// A section with its CRC made right again after an edit.
void Recrc(Bytes* s) {
    uint32_t crc = TsCrc32(s->data(), s->size() - 4);
    for (int i = 0; i < 4; ++i) (*s)[s->size() - 4 + i] = uint8_t(crc >> (24 - 8 * i));
}

std::string Decode(const Bytes& b) {
    char out[TS_NAME_MAX];
    size_t n = DecodeDvbText(b.data(), b.size(), out, sizeof out);
    EXPECT_EQ(n, strlen(out));
    return out;
}

TEST(TsTables, SectionsAcrossPacketsIdentifyTheSatellite) {
    TsNetworkContent c = Astra(192, true);
    for (size_t chunk : {size_t(0), size_t(7), size_t(40)}) {  // whole, and cut across many packets
        TsIdentity id = Identify(Stream(c, chunk));
        EXPECT_EQ(id.state, IDENTITY_CONFIRMED) << chunk;
        EXPECT_EQ(id.positionKey, 192u);
        char line[256];
        FormatIdentity(&id, line, sizeof line);
        EXPECT_STREQ(line, "Satellite 19.2e confirmed, network \"ASTRA\", services \"Das Erste\", \"Ærø TV\", \"3sat\"");
    }
    // 0.8W: west_east_flag 0; the lists' key is 3600 - 8.
    EXPECT_EQ(Identify(Stream(Astra(8, false), 40)).positionKey, 3592u);

    // Two sections in one payload, the second right after the first.
    Bytes two = Section(BuildPatSection, c), pat = two;
    two.insert(two.end(), pat.begin(), pat.end());
    uint8_t counter = 0;
    TsTables t;
    ResetTsTables(&t);
    Read(&t, Packets(TS_PID_PAT, two, 0, &counter));
    EXPECT_EQ(t.sections, 2u);
    EXPECT_TRUE(t.pat.complete);

    // The RTP around the packets: CSRCs, an extension and padding skipped, a short one refused.
    const uint8_t rtp[] = {0xB1, 33, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 9, 9, 9, 9, 0xBE, 0xDE, 0, 1, 7, 7, 7, 7,
                           0x47, 0x1F, 0xFF, 0x10, 0, 0, 2};
    size_t offset, length;
    EXPECT_TRUE(RtpPayload(rtp, sizeof rtp, &offset, &length) && offset == 24 && length == 5);
    EXPECT_FALSE(RtpPayload(rtp, 20, &offset, &length));  // the extension runs past it
}

TEST(TsTables, DamagedStreamsAreNotBelieved) {
    Bytes nit = Section(BuildNitSection, Astra(192, true)), bad = nit;
    TsTables t;
    ResetTsTables(&t);
    uint8_t counter = 0;
    bad[20] ^= 1;  // a bad CRC: not taken until a good copy comes
    Read(&t, Packets(TS_PID_NIT, bad, 0, &counter));
    EXPECT_FALSE(t.nit.complete);
    Read(&t, Packets(TS_PID_NIT, nit, 0, &counter));
    EXPECT_EQ(t.badCrc, 1u);
    EXPECT_TRUE(t.nit.complete);

    // A continuity break: the section it cuts is dropped, the next copy counts.
    ResetTsTables(&t);
    Bytes split = Packets(TS_PID_NIT, nit, 20, &counter);
    Bytes lost(split.begin(), split.begin() + TS_PACKET_SIZE);
    lost.insert(lost.end(), split.begin() + 2 * TS_PACKET_SIZE, split.end());
    Read(&t, lost);
    EXPECT_EQ(t.breaks, 1u);
    EXPECT_FALSE(t.nit.complete);
    Bytes again = Packets(TS_PID_NIT, nit, 20, &counter);
    Read(&t, again);
    EXPECT_TRUE(t.nit.complete);
    // A repeated packet, a transport error and a lost sync byte are no breaks.
    Bytes noise(again.end() - TS_PACKET_SIZE, again.end());
    noise.insert(noise.end(), again.begin(), again.begin() + 2 * TS_PACKET_SIZE);
    noise[TS_PACKET_SIZE + 1] |= 0x80, noise[2 * TS_PACKET_SIZE] = 0;
    Read(&t, noise);
    EXPECT_EQ(t.breaks, 1u);

    // A descriptor length running past its loop (its CRC right): the
    // section is as if it had not come, and nothing of it is kept.
    Bytes overrun = nit;
    ASSERT_EQ(overrun[10], 0x40);  // the network name's descriptor
    overrun[11] = 0xF0;
    Recrc(&overrun);
    ResetTsTables(&t);
    Read(&t, Packets(TS_PID_NIT, overrun, 0, &counter));
    EXPECT_TRUE(t.malformed == 1 && !t.nit.complete && t.streamCount == 0 && !t.network[0]);
}

TEST(TsTables, MultiSectionTablesCountOnceWholeAndANewVersionStartsOver) {
    Bytes first = Section(BuildNitSection, Astra(192, true)), second = first, next = first;
    first[7] = 1;  // last_section_number: this is 0 of 0..1
    second[6] = second[7] = 1;
    second[20] = 0x12;  // another tsid in section 1
    next[5] = uint8_t(0xC1 | 4 << 1), next[7] = 1;  // version 4, section 0 of 0..1
    for (Bytes* s : {&first, &second, &next}) Recrc(s);
    TsTables t;
    ResetTsTables(&t);
    uint8_t counter = 0;
    Read(&t, Packets(TS_PID_NIT, first, 0, &counter));
    Read(&t, Packets(TS_PID_NIT, first, 0, &counter));  // section 0 again: counted once
    EXPECT_FALSE(t.nit.complete);
    EXPECT_EQ(t.streamCount, 2u);
    Read(&t, Packets(TS_PID_NIT, second, 0, &counter));
    EXPECT_TRUE(t.nit.complete);
    EXPECT_EQ(t.streamCount, 4u);
    Read(&t, Packets(TS_PID_NIT, next, 0, &counter));  // forgotten until whole again
    EXPECT_FALSE(t.nit.complete);
    EXPECT_EQ(t.streamCount, 2u);
}

TEST(TsTables, IdentificationConfirmedTentativeOrWithoutPosition) {
    TsNetworkContent c = Astra(192, true), relayed = c, no43 = c;
    relayed.onid = 0x22;  // another original_network_id in the SDT: only the tsid matches
    EXPECT_EQ(Identify(Stream(relayed, 0)).state, IDENTITY_TENTATIVE);
    EXPECT_EQ(Identify(Stream(c, 0, false), 1000).state, IDENTITY_NONE);  // the SDT may still come
    EXPECT_EQ(Identify(Stream(c, 0, false), TS_NO_POSITION_MS).state, IDENTITY_TENTATIVE);
    // No descriptor 0x43 for our stream, or no NIT at all: named without a position.
    no43.streams[0].hasDelivery = false;
    EXPECT_EQ(Identify(Stream(no43, 0), TS_NO_POSITION_MS - 1).state, IDENTITY_NONE);
    TsIdentity id = Identify(Stream(no43, 0), TS_NO_POSITION_MS);
    EXPECT_EQ(id.state, IDENTITY_NO_POSITION);
    EXPECT_STREQ(id.network, "ASTRA");
    uint8_t counter = 0;
    id = Identify(Packets(TS_PID_SDT, Section(BuildSdtSection, c), 0, &counter), TS_NO_POSITION_MS);
    char line[256];
    FormatIdentity(&id, line, sizeof line);  // the provider stands in for the network
    EXPECT_STREQ(line, "Satellite unknown: no position in the stream's tables, network \"ARD\", services "
                       "\"Das Erste\", \"Ærø TV\", \"3sat\"");
}

TEST(TsTables, NamesCarryTheirCharacterSet) {
    EXPECT_EQ(Decode({'Z', 'D', 'F', 0x86, 'n', 0x87, 0x8A, 'x'}), "ZDFn x");           // default, control codes
    EXPECT_EQ(Decode({0x10, 0x00, 0x01, 'K', 0xF8, 'b', 'e', 'n', 'h', 'a', 'v', 'n'}), "København");
    EXPECT_EQ(Decode({0x05, 'T', 'R', 'T', ' ', 0xDE, 'e', 'h', 'i', 'r'}), "TRT Şehir");  // 8859-9
    EXPECT_EQ(Decode({0x01, 0xBF, 0xD5, 0xE0, 0xD2, 0xEB, 0xD9}), "Первый");               // 8859-5
    EXPECT_EQ(Decode({0x0B, 0xA4, '5'}), "€5");                                             // 8859-15
    EXPECT_EQ(Decode({0x11, 0x00, 'A', 0x04, 0x1F, 0x00}), "AП?");                           // UCS-2, odd end
    EXPECT_EQ(Decode({0x15, 'N', 0xC3, 0xA4, 0xC3, 'x', 0xFF}), "Nä?x?");                   // UTF-8, broken
    EXPECT_EQ(Decode({0x02, 'A', 0xE9}), "A?");                                             // 8859-6 unknown
    EXPECT_EQ(Decode({0x13, 0xB0, 0xA1}), "?");                                             // GB2312 unknown
    char small[4];  // cut at a character's boundary: "é" does not fit half
    const uint8_t e[] = {0x10, 0x00, 0x01, 'a', 'b', 0xE9};
    EXPECT_EQ(DecodeDvbText(e, sizeof e, small, sizeof small), 2u);
    EXPECT_STREQ(small, "ab");
}

TEST(TsTables, VerdictAgainstTheLists) {
    const char file[] = "[SATTYPE]\r\n1=0235\r\n2=Astra 3\r\n\r\n[DVB]\r\n0=2\r\n1=11597,V,22000\r\n2=12000,H,27500\r\n";
    EXPECT_TRUE(ListHoldsTransponder(file, sizeof file - 1, 11598500, 'v'));
    EXPECT_FALSE(ListHoldsTransponder(file, sizeof file - 1, 11600000, 'v'));  // 3 MHz off
    EXPECT_FALSE(ListHoldsTransponder(file, sizeof file - 1, 11597000, 'h'));
    EXPECT_TRUE(ListHoldsTransponder(file, sizeof file - 1, 12000000, 'l'));

    TsIdentity id = Identify(Stream(Astra(192, true), 0));
    ListedPositions listed = {};
    char s[256];
    EXPECT_EQ(JudgeIdentity(&id, &listed, 11597000, 'v', 22000, true, s, sizeof s), VERDICT_NOT_LISTED);
    EXPECT_STREQ(s, "the dish receives 19.2E (ASTRA): 11597 V 22000 is in none of your lists");
    AddListedPosition(&listed, 235);
    AddListedPosition(&listed, 235);
    EXPECT_EQ(JudgeIdentity(&id, &listed, 11597000, 'v', 27500, true, s, sizeof s), VERDICT_WRONG);
    EXPECT_STREQ(s, "the dish receives 19.2E (ASTRA), not 23.5E: 11597 V 27500 is in your list of 23.5E");
    AddListedPosition(&listed, 3592);
    JudgeIdentity(&id, &listed, 11597500, 'v', 22000, false, s, sizeof s);
    EXPECT_STREQ(s, "the dish receives 19.2e (ASTRA), not 23.5e or 0.8w: 11597.5 V 22000 is in your lists of "
                    "23.5e and 0.8w");
    AddListedPosition(&listed, 192);
    EXPECT_EQ(JudgeIdentity(&id, &listed, 11597000, 'v', 22000, false, s, sizeof s), VERDICT_RIGHT);
    EXPECT_STREQ(s, "the dish receives 19.2e (ASTRA): 11597 V 22000 is in your lists of 23.5e, 0.8w and 19.2e");
    id.state = IDENTITY_NO_POSITION;
    EXPECT_EQ(JudgeIdentity(&id, &listed, 11597000, 'v', 22000, false, s, sizeof s), VERDICT_NONE);
}

// ---- the cross-check: libdvbpsi decodes what our writer builds ----------------

struct Decoded {
    uint16_t patTsid = 0, nitNetwork = 0, sdtOnid = 0;
    std::string networkName, serviceName;
    uint32_t frequency = 0, symbolRate = 0, orbital = 0, westEast = 9, polarization = 9, system = 9, tables = 0;
};

template <typename Table>
dvbpsi_descriptor_t* First(Table* table) { return table ? table->p_first_descriptor : nullptr; }

void OnPat(void* data, dvbpsi_pat_t* pat) {
    static_cast<Decoded*>(data)->patTsid = pat->i_ts_id;
    static_cast<Decoded*>(data)->tables++;
    dvbpsi_pat_delete(pat);
}

void OnNit(void* data, dvbpsi_nit_t* nit) {
    Decoded* d = static_cast<Decoded*>(data);
    d->tables++, d->nitNetwork = nit->i_network_id;
    for (dvbpsi_descriptor_t* r = nit->p_first_descriptor; r; r = r->p_next)
        if (dvbpsi_network_name_dr_t* n = r->i_tag == 0x40 ? dvbpsi_DecodeNetworkNameDr(r) : nullptr)
            d->networkName.assign(reinterpret_cast<char*>(n->i_name_byte), n->i_name_length);
    for (dvbpsi_descriptor_t* r = First(nit->p_first_ts); r; r = r->p_next)
        if (dvbpsi_sat_deliv_sys_dr_t* s = r->i_tag == 0x43 ? dvbpsi_DecodeSatDelivSysDr(r) : nullptr)
            d->frequency = s->i_frequency, d->orbital = s->i_orbital_position, d->westEast = s->i_west_east_flag,
            d->polarization = s->i_polarization, d->system = s->i_modulation_system, d->symbolRate = s->i_symbol_rate;
    dvbpsi_nit_delete(nit);
}

void OnSdt(void* data, dvbpsi_sdt_t* sdt) {
    Decoded* d = static_cast<Decoded*>(data);
    d->tables++, d->sdtOnid = sdt->i_network_id;
    for (dvbpsi_descriptor_t* r = First(sdt->p_first_service); r; r = r->p_next)
        if (dvbpsi_service_dr_t* s = r->i_tag == 0x48 ? dvbpsi_DecodeServiceDr(r) : nullptr)
            d->serviceName.assign(reinterpret_cast<char*>(s->i_service_name), s->i_service_name_length);
    dvbpsi_sdt_delete(sdt);
}

void OnSubtable(dvbpsi_t* handle, uint8_t table, uint16_t extension, void* data) {
    if (table == 0x40) dvbpsi_nit_attach(handle, table, extension, OnNit, data);
    if (table == 0x42) dvbpsi_sdt_attach(handle, table, extension, OnSdt, data);
}

TEST(TsTables, LibdvbpsiReadsWhatTheWriterBuilds) {
    TsNetworkContent c = Astra(8, false);
    c.network = "Réseau";
    Bytes stream = Stream(c, 40);
    Decoded d;
    dvbpsi_t* handles[3] = {dvbpsi_new(nullptr, DVBPSI_MSG_NONE), dvbpsi_new(nullptr, DVBPSI_MSG_NONE),
                            dvbpsi_new(nullptr, DVBPSI_MSG_NONE)};  // PAT, NIT, SDT
    ASSERT_TRUE(dvbpsi_pat_attach(handles[0], OnPat, &d));
    ASSERT_TRUE(dvbpsi_AttachDemux(handles[1], OnSubtable, &d) && dvbpsi_AttachDemux(handles[2], OnSubtable, &d));
    for (size_t at = 0; at < stream.size(); at += TS_PACKET_SIZE) {
        uint16_t pid = uint16_t((stream[at + 1] & 0x1F) << 8 | stream[at + 2]);
        dvbpsi_packet_push(handles[pid == TS_PID_PAT ? 0 : pid == TS_PID_NIT ? 1 : 2], &stream[at]);
    }
    EXPECT_TRUE(d.tables == 3 && d.patTsid == 1019 && d.nitNetwork == 1 && d.sdtOnid == 1);
    EXPECT_EQ(d.networkName, "\x15R\xC3\xA9seau");  // the UTF-8 byte, then the name
    EXPECT_EQ(d.frequency, 0x01159700u);             // BCD 011.59700 GHz
    EXPECT_EQ(d.orbital, 0x0008u);                   // BCD 000.8 degrees, west
    EXPECT_TRUE(d.westEast == 0 && d.polarization == 1 && d.system == 1);  // west, vertical, DVB-S2
    EXPECT_EQ(d.symbolRate, 0x0220000u);  // BCD 022.0000 Msymbol/s
    EXPECT_EQ(d.serviceName, "Das Erste");
    dvbpsi_pat_detach(handles[0]), dvbpsi_DetachDemux(handles[1]), dvbpsi_DetachDemux(handles[2]);
    for (dvbpsi_t* h : handles) dvbpsi_delete(h);
}

}  // namespace
