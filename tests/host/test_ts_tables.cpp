// The stream's own tables: packets, sections and names, the identification
// and the verdict. What our writer builds is also decoded by VideoLAN's
// libdvbpsi, so reader and writer cannot share one misreading.
#include "driver/satellite_verdict.h"
#include "driver/ts_writer.h"
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

// A section as packets of chunk bytes each (0: as many as fit). Each PID's
// continuity counter runs on across calls, as a real stream's would.
Bytes Packets(uint16_t pid, const Bytes& section, size_t chunk = 0) {
    static uint8_t counters[32];
    Bytes out(16 * TS_PACKET_SIZE);
    uint8_t* counter = &counters[pid % 32];
    out.resize(PacketizeSection(pid, counter, section.data(), section.size(), chunk, out.data(), out.size()));
    return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// PAT, NIT and SDT as packets.
Bytes Stream(const TsNetworkContent& c, size_t chunk, bool withSdt = true) {
    Bytes both = Cat(Packets(TS_PID_PAT, Section(BuildPatSection, c), chunk),
                     Packets(TS_PID_NIT, Section(BuildNitSection, c), chunk));
    return withSdt ? Cat(both, Packets(TS_PID_SDT, Section(BuildSdtSection, c), chunk)) : both;
}

void Read(TsTables* t, const Bytes& packets) { ReadTsPackets(t, packets.data(), packets.size()); }

// Fresh tables that have read the packets (static: the tables are large).
TsTables& Tables(const Bytes& packets) {
    static TsTables t;
    ResetTsTables(&t);
    Read(&t, packets);
    return t;
}

TsIdentity Identify(const Bytes& packets, uint32_t ms = 1000) {
    TsIdentity id;
    IdentifyTables(&Tables(packets), ms, &id);
    return id;
}

std::string Line(const TsIdentity& id) {
    char line[256];
    FormatIdentity(&id, line, sizeof line);
    return line;
}

// A section with bytes changed, its CRC made right again.
Bytes Edit(Bytes s, std::initializer_list<std::pair<size_t, uint8_t>> edits) {
    for (auto [at, value] : edits) s[at] = value;
    uint32_t crc = TsCrc32(s.data(), s.size() - 4);
    for (int i = 0; i < 4; ++i) s[s.size() - 4 + i] = uint8_t(crc >> (24 - 8 * i));
    return s;
}

std::string Decode(const Bytes& b, size_t size = TS_NAME_MAX) {
    char out[TS_NAME_MAX];
    size_t n = DecodeDvbText(b.data(), b.size(), out, size);
    EXPECT_EQ(n, strlen(out));
    return out;
}

TEST(TsTables, SectionsAcrossPacketsIdentifyTheSatellite) {
    for (size_t chunk : {size_t(0), size_t(7), size_t(40)})  // whole, and cut across many packets
        EXPECT_EQ(Line(Identify(Stream(Astra(192, true), chunk))),
                  "Satellite 19.2e confirmed, network \"ASTRA\", services \"Das Erste\", \"Ærø TV\", \"3sat\"")
            << chunk;
    // 0.8W: west_east_flag 0; the lists' key is 3600 - 8.
    EXPECT_EQ(Identify(Stream(Astra(8, false), 40)).positionKey, 3592u);

    // Two sections in one payload, the second right after the first.
    Bytes pat = Section(BuildPatSection, Astra(192, true));
    TsTables& t = Tables(Packets(TS_PID_PAT, Cat(pat, pat)));
    EXPECT_TRUE(t.sections == 2 && t.pat.complete);

    // The RTP around the packets: CSRCs, an extension and padding skipped, a short one refused.
    const uint8_t rtp[] = {0xB1, 33,   0, 1, 0, 0, 0, 0, 0,    0,    0,    1,    9, 9, 9, 9,
                           0xBE, 0xDE, 0, 1, 7, 7, 7, 7, 0x47, 0x1F, 0xFF, 0x10, 0, 0, 2};
    size_t offset, length;
    EXPECT_TRUE(RtpPayload(rtp, sizeof rtp, &offset, &length) && offset == 24 && length == 5);
    EXPECT_FALSE(RtpPayload(rtp, 20, &offset, &length));  // the extension runs past it
}

TEST(TsTables, DamagedStreamsAreNotBelieved) {
    Bytes nit = Section(BuildNitSection, Astra(192, true)), bad = nit;
    bad[20] ^= 1;  // a bad CRC: not taken until a good copy comes
    TsTables& t = Tables(Packets(TS_PID_NIT, bad));
    EXPECT_FALSE(t.nit.complete);
    Read(&t, Packets(TS_PID_NIT, nit));
    EXPECT_TRUE(t.badCrc == 1 && t.nit.complete);

    // A continuity break: the section it cuts is dropped, the next copy counts.
    Bytes split = Packets(TS_PID_NIT, nit, 20);
    split.erase(split.begin() + TS_PACKET_SIZE, split.begin() + 2 * TS_PACKET_SIZE);
    Tables(split);  // the same static tables as t, reset
    EXPECT_TRUE(t.breaks == 1 && !t.nit.complete);
    Bytes again = Packets(TS_PID_NIT, nit, 20);
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
    ASSERT_EQ(nit[10], 0x40);  // the network name's descriptor
    Tables(Packets(TS_PID_NIT, Edit(nit, {{11, 0xF0}})));
    EXPECT_TRUE(t.malformed == 1 && !t.nit.complete && t.streamCount == 0 && !t.network[0]);
}

TEST(TsTables, MultiSectionTablesCountOnceWholeAndANewVersionStartsOver) {
    Bytes nit = Section(BuildNitSection, Astra(192, true));
    Bytes first = Edit(nit, {{7, 1}});                       // last_section_number: this is 0 of 0..1
    Bytes second = Edit(nit, {{6, 1}, {7, 1}, {20, 0x12}});  // section 1, another tsid in it
    Bytes next = Edit(nit, {{5, 0xC1 | 4 << 1}, {7, 1}});    // version 4, section 0 of 0..1
    TsTables& t = Tables(Packets(TS_PID_NIT, first));
    Read(&t, Packets(TS_PID_NIT, first));  // section 0 again: counted once
    EXPECT_TRUE(!t.nit.complete && t.streamCount == 2);
    Read(&t, Packets(TS_PID_NIT, second));
    EXPECT_TRUE(t.nit.complete && t.streamCount == 4);
    Read(&t, Packets(TS_PID_NIT, next));  // forgotten until whole again
    EXPECT_TRUE(!t.nit.complete && t.streamCount == 2);
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
    EXPECT_TRUE(id.state == IDENTITY_NO_POSITION && id.network == std::string("ASTRA"));
    // The provider stands in for the network.
    EXPECT_EQ(Line(Identify(Packets(TS_PID_SDT, Section(BuildSdtSection, c)), TS_NO_POSITION_MS)),
              "Satellite unknown: no position in the stream's tables, network \"ARD\", services "
              "\"Das Erste\", \"Ærø TV\", \"3sat\"");
}

TEST(TsTables, NamesCarryTheirCharacterSet) {
    EXPECT_EQ(Decode({'Z', 'D', 'F', 0x86, 'n', 0x87, 0x8A, 'x'}), "ZDFn x");  // default, control codes
    EXPECT_EQ(Decode({0x10, 0x00, 0x01, 'K', 0xF8, 'b', 'e', 'n', 'h', 'a', 'v', 'n'}), "København");
    EXPECT_EQ(Decode({0x05, 'T', 'R', 'T', ' ', 0xDE, 'e', 'h', 'i', 'r'}), "TRT Şehir");  // 8859-9
    EXPECT_EQ(Decode({0x01, 0xBF, 0xD5, 0xE0, 0xD2, 0xEB, 0xD9}), "Первый");               // 8859-5
    EXPECT_EQ(Decode({0x0B, 0xA4, '5'}), "€5");                                            // 8859-15
    EXPECT_EQ(Decode({0x11, 0x00, 'A', 0x04, 0x1F, 0x00}), "AП?");                         // UCS-2, odd end
    EXPECT_EQ(Decode({0x15, 'N', 0xC3, 0xA4, 0xC3, 'x', 0xFF}), "Nä?x?");                  // UTF-8, broken
    EXPECT_EQ(Decode({0x13, 0xB0, 0xA1}), "?");                                            // GB2312 unknown
    EXPECT_EQ(Decode({0x10, 0x00, 0x01, 'a', 'b', 0xE9}, 4), "ab");  // cut at a character: "é" does not fit half
}

TEST(TsTables, ListsHoldATransponderWithinFrequencyPolarizationAndSymbolRate) {
    const char file[] = "[SATTYPE]\r\n1=0235\r\n2=Astra 3\r\n\r\n[DVB]\r\n0=2\r\n1=11597,V,4500\r\n2=11739,V,27500\r\n";
    auto holds = [&](uint32_t khz, char pol, uint32_t rate) {
        TunedTransponder tp = {khz, pol, rate};
        return ListHoldsTransponder(file, sizeof file - 1, &tp);
    };
    EXPECT_TRUE(holds(11739000, 'v', 27500) && holds(11740500, 'r', 28050));   // 1.5 MHz and 2 % off
    EXPECT_FALSE(holds(11739000, 'v', 22000) || holds(11597000, 'v', 22000));  // 20 % off; 4500 is another carrier
    EXPECT_FALSE(holds(11742000, 'v', 27500) || holds(11739000, 'h', 27500));  // 3 MHz off; the other polarization
    // The program's satellite list, by position or by name; other lists name none.
    EXPECT_EQ(LabelPosition(" 23.5e - Astra 3 "), 235);
    EXPECT_EQ(LabelPosition("Astra 1KR/1L/1M/1N  19.2e"), 192);
    EXPECT_EQ(LabelPosition("23.5E Astra 3B"), 235);
    EXPECT_EQ(LabelPosition(" 30.0w - Hispasat "), 3300);
    for (const char* other : {"Simple A", "", "11739 V 27500", "Eutelsat 9B", "1800.0e"})
        EXPECT_EQ(LabelPosition(other), NOT_CHOSEN) << other;
}

TEST(TsTables, VerdictAgainstTheChosenSatelliteOrEveryList) {
    TsIdentity id = Identify(Stream(Astra(192, true), 0));
    TunedTransponder tp = {11739000, 'v', 27500};
    auto judge = [&](int32_t chosen, std::initializer_list<uint32_t> keys, bool upper = true) {
        ListedPositions listed = {};
        for (uint32_t key : keys) AddListedPosition(&listed, key);
        char s[256];
        TsVerdict verdict = JudgeIdentity(&id, &listed, chosen, &tp, upper, s, sizeof s);
        return std::string(VERDICT_NAMES[verdict]) + ": " + s;
    };
    // 23.5E chosen: its neighbour 19.2E carries the typed transponder too.
    EXPECT_EQ(judge(235, {192, 235, 235}),
              "wrong: the dish receives 19.2E (ASTRA), not 23.5E, which you chose: 11739 V 27500 is on both");
    EXPECT_EQ(judge(235, {192}, false),
              "wrong: the dish receives 19.2e (ASTRA), not 23.5e, which you chose: 11739 V 27500 is in your list of "
              "19.2e only");
    // 19.2E's list lacks it: a relayed stream, say; no box for that.
    EXPECT_EQ(judge(235, {235}),
              "unlisted: the dish receives 19.2E (ASTRA), not 23.5E, which you chose: 11739 V 27500 is not in your "
              "list of 19.2E");
    EXPECT_EQ(judge(192, {}), "right: the dish receives 19.2E (ASTRA), the satellite you chose");
    id.state = IDENTITY_TENTATIVE;
    EXPECT_EQ(judge(235, {192, 235}),
              "tentative: the dish may receive 19.2E (ASTRA), not 23.5E, which you chose: 11739 V 27500 is on both");
    id.state = IDENTITY_CONFIRMED;
    // Nothing chosen that can be read: every list that holds it.
    EXPECT_EQ(judge(NOT_CHOSEN, {}),
              "unlisted: the dish receives 19.2E (ASTRA): 11739 V 27500 is in none of your lists");
    EXPECT_EQ(judge(NOT_CHOSEN, {235, 3592}, false),
              "wrong: the dish receives 19.2e (ASTRA), not 23.5e or 0.8w: 11739 V 27500 is in your lists of 23.5e and "
              "0.8w");
    EXPECT_EQ(judge(NOT_CHOSEN, {235, 3592, 192}, false),
              "right: the dish receives 19.2e (ASTRA): 11739 V 27500 is in your lists of 23.5e, 0.8w and 19.2e");
    tp.frequencyKhz = 11778500;
    EXPECT_EQ(judge(NOT_CHOSEN, {}),
              "unlisted: the dish receives 19.2E (ASTRA): 11778.5 V 27500 is in none of your lists");
    id.state = IDENTITY_NO_POSITION;
    EXPECT_EQ(judge(235, {192, 235}), ": ");
}

// ---- the cross-check: libdvbpsi decodes what our writer builds ----------------
// Each table as libdvbpsi reads it is written into one log line.

void Log(void* log, const char* format, unsigned a, unsigned b = 0, unsigned c = 0, unsigned d = 0, unsigned e = 0,
         unsigned f = 0) {
    char line[128];
    snprintf(line, sizeof line, format, a, b, c, d, e, f);
    *static_cast<std::string*>(log) += line;
}

void Name(void* log, const uint8_t* name, size_t length) {
    static_cast<std::string*>(log)->append(reinterpret_cast<const char*>(name), length) += ";";
}

void OnPat(void* log, dvbpsi_pat_t* pat) {
    Log(log, "pat %u;", pat->i_ts_id);
    dvbpsi_pat_delete(pat);
}

void OnNit(void* log, dvbpsi_nit_t* nit) {
    Log(log, "nit %u;", nit->i_network_id);
    for (dvbpsi_descriptor_t* r = nit->p_first_descriptor; r; r = r->p_next)
        if (dvbpsi_network_name_dr_t* n = r->i_tag == 0x40 ? dvbpsi_DecodeNetworkNameDr(r) : nullptr)
            Name(log, n->i_name_byte, n->i_name_length);
    for (dvbpsi_descriptor_t* r = nit->p_first_ts ? nit->p_first_ts->p_first_descriptor : nullptr; r; r = r->p_next)
        if (dvbpsi_sat_deliv_sys_dr_t* s = r->i_tag == 0x43 ? dvbpsi_DecodeSatDelivSysDr(r) : nullptr)
            Log(log, "%08x %04x west_east %u pol %u sys %u %07x;", s->i_frequency, s->i_orbital_position,
                s->i_west_east_flag, s->i_polarization, s->i_modulation_system, s->i_symbol_rate);
    dvbpsi_nit_delete(nit);
}

void OnSdt(void* log, dvbpsi_sdt_t* sdt) {
    Log(log, "sdt %u;", sdt->i_network_id);
    dvbpsi_sdt_service_t* service = sdt->p_first_service;
    for (dvbpsi_descriptor_t* r = service ? service->p_first_descriptor : nullptr; r; r = r->p_next)
        if (dvbpsi_service_dr_t* s = r->i_tag == 0x48 ? dvbpsi_DecodeServiceDr(r) : nullptr)
            Name(log, s->i_service_name, s->i_service_name_length);
    dvbpsi_sdt_delete(sdt);
}

void OnSubtable(dvbpsi_t* handle, uint8_t table, uint16_t extension, void* log) {
    if (table == 0x40) dvbpsi_nit_attach(handle, table, extension, OnNit, log);
    if (table == 0x42) dvbpsi_sdt_attach(handle, table, extension, OnSdt, log);
}

TEST(TsTables, LibdvbpsiReadsWhatTheWriterBuilds) {
    TsNetworkContent c = Astra(8, false);
    c.network = "Réseau";
    Bytes stream = Stream(c, 40);
    std::string log;
    dvbpsi_t* handles[3];  // PAT, NIT, SDT
    for (dvbpsi_t*& h : handles) h = dvbpsi_new(nullptr, DVBPSI_MSG_NONE);
    ASSERT_TRUE(dvbpsi_pat_attach(handles[0], OnPat, &log));
    ASSERT_TRUE(dvbpsi_AttachDemux(handles[1], OnSubtable, &log) && dvbpsi_AttachDemux(handles[2], OnSubtable, &log));
    for (size_t at = 0; at < stream.size(); at += TS_PACKET_SIZE) {
        uint16_t pid = uint16_t((stream[at + 1] & 0x1F) << 8 | stream[at + 2]);
        dvbpsi_packet_push(handles[pid == TS_PID_PAT ? 0 : pid == TS_PID_NIT ? 1 : 2], &stream[at]);
    }
    // The name after its UTF-8 byte; in BCD 011.59700 GHz, 000.8 degrees, 022.0000 Msymbol/s;
    // west, vertical, DVB-S2.
    EXPECT_EQ(log,
              "pat 1019;nit 1;\x15R\xC3\xA9seau;01159700 0008 west_east 0 pol 1 sys 1 0220000;"
              "sdt 1;Das Erste;");
    dvbpsi_pat_detach(handles[0]), dvbpsi_DetachDemux(handles[1]), dvbpsi_DetachDemux(handles[2]);
    for (dvbpsi_t* h : handles) dvbpsi_delete(h);
}

}  // namespace
