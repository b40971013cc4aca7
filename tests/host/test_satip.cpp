// The SAT>IP protocol's texts: the tune query, RTSP, the tuner status, SSDP and the ini.
// Readers' results are printed into one line each, so a case is one input and one expected line.
#include "driver/satip_protocol.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Query(const SatipTune& tune) {
    char out[SATIP_QUERY_MAX];
    return std::string(out, FormatTuneQuery(&tune, out, sizeof out));
}

std::string Reply(const std::string& text) {
    RtspReply r;
    SatipParse p = ParseRtspReply(text.data(), text.size(), &r);
    if (p != SATIP_COMPLETE) return p == SATIP_INCOMPLETE ? "incomplete" : "malformed";
    char s[200];
    int n = snprintf(s, sizeof s, "%d cseq %u session %s timeout %u stream %u ports %u-%u head %zu body %zu", r.status,
                     r.cseq, r.session, r.timeoutSeconds, r.streamId, r.serverRtpPort, r.serverRtcpPort, r.headerLength,
                     r.contentLength);
    if (r.interleaved) snprintf(s + n, sizeof s - n, " interleaved %u-%u", r.rtpChannel, r.rtcpChannel);
    return s;
}

std::string Address(const std::string& ini) {
    char host[SATIP_HOST_MAX], url[SATIP_URL_MAX] = "";
    uint16_t port = 0;
    SatipAddress a = ParseServerAddress(ini.data(), ini.size(), host, sizeof host, &port, url);
    if (a <= SATIP_ADDRESS_NONE) return a == SATIP_ADDRESS_NONE ? "none" : "bad";
    return std::string(host) + ":" + std::to_string(port) + (a == SATIP_ADDRESS_DESCRIPTION ? " " : "") + url;
}

// What the interleaved reader takes from the bytes, read chunk bytes at a time
// into a buffer of that size: "R200" a reply, "F0:1328" a frame's channel and
// length, "F1:level 204" a report, "J3" junk skipped.
std::string Interleaved(const std::string& bytes, size_t chunk, size_t bufferSize = SATIP_FRAME_MAX) {
    std::vector<uint8_t> buffer(bufferSize);
    SatipInterleaved reader;
    InitInterleaved(&reader, buffer.data(), buffer.size());
    std::string seen;
    size_t junk = 0, room = 0;
    for (size_t at = 0; at < bytes.size();) {
        uint8_t* to = InterleavedRoom(&reader, &room);
        size_t n = std::min({chunk, room, bytes.size() - at});
        if (!n) return seen + " stuck";
        memcpy(to, bytes.data() + at, n);
        at += n;
        InterleavedCame(&reader, n);
        for (SatipPiece p; (p = NextInterleaved(&reader)).kind != SATIP_PIECE_NONE;) {
            SatipStatus status;
            if (p.kind == SATIP_PIECE_JUNK) {
                junk += p.length;
                continue;
            }
            if (junk) seen += " J" + std::to_string(junk), junk = 0;
            if (p.kind == SATIP_PIECE_REPLY)
                seen += " R" + std::to_string(p.reply.status) + std::string(p.reply.contentLength ? "+body" : "");
            else if (p.channel == 1 && ParseRtcpApp(p.data, p.length, &status))
                seen += " F1:level " + std::to_string(status.level);
            else
                seen += " F" + std::to_string(p.channel) + ":" + std::to_string(p.length);
        }
    }
    return seen;
}

std::string Frame(uint8_t channel, const std::string& packet) {
    return std::string{'$', char(channel), char(packet.size() >> 8), char(packet.size() & 0xFF)} + packet;
}

TEST(Satip, TheBurstBecomesOneQueryAndBack) {
    // DiSEqC None, Simple A, Simple B, LNB1..LNB4 -> src 1, 1, 2, 1..4
    const uint32_t sources[] = {1, 1, 2, 1, 2, 3, 4, 1};
    for (uint32_t d = 0; d < 8; ++d) EXPECT_EQ(TuneFromBurst(d, 1, 27500, 12302000, SATIP_DVBS2).source, sources[d]);
    SatipTune t = TuneFromBurst(5, 0, 22000, 11778500, SATIP_DVBS2);
    EXPECT_EQ(Query(t), "src=3&freq=11778.5&pol=h&ro=0.35&msys=dvbs2&mtype=8psk&plts=on&sr=22000&pids=0,16,17");
    t.frequencyKhz = 12302000, t.polarization = 'v', t.system = OtherSystem(t.system);
    EXPECT_EQ(Query(t), "src=3&freq=12302&pol=v&ro=0.35&msys=dvbs&mtype=qpsk&plts=off&sr=22000&pids=0,16,17");
    char tiny[16];
    EXPECT_EQ(FormatTuneQuery(&t, tiny, sizeof tiny), 0u);

    SatipTune back;  // as our own server reads a client's query: upper case, fec ignored, msys absent
    ASSERT_TRUE(ParseTuneQuery("rtsp://10.0.0.2/?src=2&freq=11778.5&pol=H&sr=22000&fec=34&pids=0", 64, &back));
    EXPECT_EQ(Query(back), "src=2&freq=11778.5&pol=h&ro=0.35&msys=dvbs&mtype=qpsk&plts=off&sr=22000&pids=0,16,17");
    for (const char* bad : {"src=1&freq=12302&pol=v", "src=0&freq=12302&pol=v&sr=27500", "src=1&freq=12x&pol=v&sr=1",
                            "src=1&freq=12302&pol=q&sr=27500", "src=1&freq=12302&pol=v&sr=27500&msys=dvbt"})
        EXPECT_FALSE(ParseTuneQuery(bad, strlen(bad), &back)) << bad;
}

TEST(Satip, RtspRepliesComeWholeOrNotAtAll) {
    std::string setup =
        "RTSP/1.0 200 OK\r\nCSeq: 3\r\nSession: 12AB34;timeout=30\r\n"
        "Transport: RTP/AVP;unicast;client_port=5000-5001;server_port=6970-6971\r\n"
        "com.ses.streamID: 7\r\n\r\n";
    EXPECT_EQ(Reply(setup), "200 cseq 3 session 12AB34 timeout 30 stream 7 ports 6970-6971 head 149 body 0");
    // Every cut of it is incomplete, never malformed.
    for (size_t n = 0; n < setup.size(); ++n) EXPECT_EQ(Reply(setup.substr(0, n)), "incomplete") << n;
    std::string body = "RTSP/1.0 503 Service Unavailable\nContent-Length: 4\n\nabc";
    EXPECT_EQ(Reply(body), "incomplete");
    EXPECT_EQ(Reply(body + "d"), "503 cseq 0 session  timeout 60 stream 0 ports 0-0 head 52 body 4");
    // Other boxes: an opaque session with its zeros, header names in any
    // case, Transport's keys in any order, a zero-padded stream id.
    EXPECT_EQ(Reply("RTSP/1.0 200 OK\r\nCseq: 2\r\nsession:0012AB34\r\nTransport: RTP/AVP;unicast;source=10.0.0.2;"
                    "server_port=6970-6971;client_port=5000-5001;destination=10.0.0.9;ttl=0\r\n"
                    "com.ses.streamID: 0003\r\n\r\n"),
              "200 cseq 2 session 0012AB34 timeout 60 stream 3 ports 6970-6971 head 185 body 0");
    EXPECT_EQ(Reply("RTSP/1.0 200 OK\r\nCSEQ : 4\r\nSession: 0A1;timeout=30\r\n\r\n"),
              "200 cseq 4 session 0A1 timeout 30 stream 0 ports 0-0 head 54 body 0");
    // RTP over the RTSP connection: the channels the server chose, 0-1 when it names none.
    EXPECT_EQ(Reply("RTSP/1.0 200 OK\r\nCSeq: 5\r\nTransport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n\r\n"),
              "200 cseq 5 session  timeout 60 stream 0 ports 0-0 head 76 body 0 interleaved 2-3");
    EXPECT_EQ(Reply("RTSP/1.0 200 OK\r\nTransport: RTP/AVP/TCP;unicast\r\n\r\n"),
              "200 cseq 0 session  timeout 60 stream 0 ports 0-0 head 51 body 0 interleaved 0-1");
    for (const std::string& bad : std::initializer_list<std::string>{
             "SIP/2.0 200 OK\r\n\r\n", "RTSP/1.0 OK\r\n\r\n", "RTSP/1.0 200 OK\r\nCSeq: x\r\n\r\n",
             "RTSP/1.0 200 OK\r\nContent-Length: 99999999\r\n\r\n",
             "RTSP/1.0 200 OK\r\nSession: " + std::string(80, 'A') + "\r\n\r\n",
             "RTSP/1.0 200 OK\r\nX: " + std::string(9000, 'a')})
        EXPECT_EQ(Reply(bad), "malformed") << bad.substr(0, 40);

    char request[SATIP_REQUEST_MAX];
    size_t n = FormatRtspRequest(request, sizeof request, "SETUP", "rtsp://h/?src=1", 4, "12AB34",
                                 "Transport: RTP/AVP;unicast;client_port=5000-5001\r\n");
    RtspRequest q;
    ASSERT_EQ(ParseRtspRequest(request, n, &q), SATIP_COMPLETE);
    EXPECT_TRUE(q.method == std::string("SETUP") && q.uri == std::string("rtsp://h/?src=1") && q.cseq == 4 &&
                q.session == std::string("12AB34") && q.clientRtpPort == 5000 && q.clientRtcpPort == 5001 &&
                q.headerLength == n)
        << request;
    EXPECT_EQ(FormatRtspRequest(request, 20, "SETUP", "rtsp://h/", 4, nullptr, nullptr), 0u);
    EXPECT_EQ(ParseRtspRequest("FOO / RTSP/1.0\r\n\r\n", 18, &q), SATIP_MALFORMED);
}

// Reports by RTCP as minisatip, tvheadend and the boxes send them, or by SDP,
// and whether they count: only for the tune, and only once the tuner has settled.
TEST(Satip, TheTunerStatusCountsForTheTuneOnceSettled) {
    SatipTune tune = TuneFromBurst(0, 1, 27500, 12302000, SATIP_DVBS2);
    SatipStatus sent = {1, 204, 1, 12, 0, 0, 0}, got = {};
    char text[256];
    uint8_t packet[512];
    size_t n = 0;
    for (uint32_t form : {0u, 1u, 2u, 3u}) {  // plain, SR + SDES + APP, a long APP length, both
        for (SatipStatusForm version : {SATIP_STATUS_V10, SATIP_STATUS_V12}) {
            ASSERT_GT(FormatTunerStatus(&tune, &sent, text, sizeof text, version), 0u);
            n = BuildRtcpApp(7, text, packet, sizeof packet, form);
            ASSERT_TRUE(n % 4 == 0 && ParseRtcpApp(packet, n, &got)) << form << " " << text;
            EXPECT_TRUE(got.level == 204 && got.lock == 1 && got.quality == 12) << form << " " << text;
            EXPECT_EQ(got.frequencyKhz, version == SATIP_STATUS_V12 ? 0u : 12302000u);
            for (size_t cut = 0; cut < n - 3; cut += 5) EXPECT_FALSE(ParseRtcpApp(packet, cut, &got)) << form << cut;
        }
    }
    EXPECT_EQ(StatusPercent(&got), 80u);  // 204 x 100 / 255
    EXPECT_EQ(StatusSnrFigure(&got), 12.0f);
    n = BuildRtcpApp(7, text, packet, sizeof packet);
    packet[8] = 'X';  // another APP name
    EXPECT_FALSE(ParseRtcpApp(packet, n, &got));

    const char sdp[] = "v=0\r\nm=video 0 RTP/AVP 33\r\na=fmtp:33 ver=1.0;src=1;tuner=1,255,0,15,12302.00,v\r\n";
    ASSERT_TRUE(ParseSdpStatus(sdp, sizeof sdp - 1, &got));
    EXPECT_TRUE(StatusPercent(&got) == 100 && got.lock == 0);
    auto parse = [&got](const std::string& text) { return ParseTunerStatus(text.data(), text.size(), &got); };
    for (const char* bad : {"ver=1.0;tuner=1,256,1,12", "tuner=1,200,2,12", "tuner=1,200,1,16", "tuner=1,200,1",
                            "xtuner=1,200,1,3", "tuner=1,2x0,1,3"})
        EXPECT_FALSE(parse(bad)) << bad;

    ASSERT_TRUE(parse("ver=1.0;src=2;tuner=1,255,1,15,12303.00,v,dvbs2,8psk,on,0.35,27500,34;pids=0,16,17"));
    EXPECT_FALSE(StatusMatchesTune(&got, &tune));  // another source
    tune.source = 2;
    EXPECT_TRUE(StatusMatchesTune(&got, &tune));  // 1 MHz apart is the same transponder
    // minisatip's early pattern (255, lock, 15) is not believed right after PLAY; anything else counts at once.
    EXPECT_FALSE(ReportCounts(&got, &tune, SATIP_EARLY_MS - 1));
    EXPECT_TRUE(ReportCounts(&got, &tune, SATIP_EARLY_MS));
    got.quality = 14;
    EXPECT_TRUE(ReportCounts(&got, &tune, 0));
    tune.frequencyKhz = 12300999;
    EXPECT_FALSE(StatusMatchesTune(&got, &tune));
    tune.frequencyKhz = 12302000, tune.polarization = 'h';
    EXPECT_FALSE(StatusMatchesTune(&got, &tune));
    ASSERT_TRUE(parse("ver=1.2;tuner=1,200,1,9,,,,,,,,"));  // nothing echoed: nothing to disagree
    EXPECT_TRUE(ReportCounts(&got, &tune, 0));
    ASSERT_TRUE(parse("ver=1.0;src=x;tuner=1,200,1,9,12302.x,vh;pids="));  // what cannot be read is not echoed
    EXPECT_EQ(got.source + got.frequencyKhz + uint32_t(got.polarization), 0u);
}

// RTP and RTCP over the RTSP connection as minisatip frames them (7 TS
// packets an RTP packet, an SR, SDES and APP) and as tvheadend does (42 TS
// packets, a bare APP), replies between, split across reads anyhow.
TEST(Satip, TheRtspConnectionCarriesTheStreamBetweenReplies) {
    SatipTune tune = TuneFromBurst(0, 1, 27500, 12302000, SATIP_DVBS);
    SatipStatus level = {1, 204, 1, 12, 0, 0, 0};
    char text[256];
    uint8_t rtcp[512];
    FormatTunerStatus(&tune, &level, text, sizeof text);
    std::string compound(reinterpret_cast<char*>(rtcp), BuildRtcpApp(1, text, rtcp, sizeof rtcp, SATIP_RTCP_COMPOUND));
    size_t plain = BuildRtcpApp(1, text, rtcp, sizeof rtcp);
    std::string bareApp(reinterpret_cast<char*>(rtcp) + 8, plain - 8);
    auto rtp = [](size_t packets) { return "\x80\x21" + std::string(10, '\0') + std::string(packets * 188, '\x47'); };
    std::string bytes =
        "RTSP/1.0 200 OK\r\nCSeq: 1\r\nSession: 5A71;timeout=60\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n"
        "com.ses.streamID: 1\r\n\r\n" +
        Frame(0, rtp(7)) + Frame(1, compound) + "RTSP/1.0 200 OK\r\nCSeq: 2\r\n\r\n" + Frame(0, rtp(42)) +
        Frame(1, bareApp) + Frame(5, "abcd") + "RTSP/1.0 200 OK\r\nCSeq: 3\r\nContent-Length: 4\r\n\r\nv=0\n" + "xyz" +
        Frame(0, rtp(7));
    const std::string read = " R200 F0:1328 F1:level 204 R200 F0:7908 F1:level 204 F5:4 R200+body J3 F0:1328";
    for (size_t chunk : {size_t(1), size_t(2), size_t(3), size_t(5), size_t(190), size_t(1500), bytes.size()})
        EXPECT_EQ(Interleaved(bytes, chunk), read) << chunk;
    // A buffer too small for tvheadend's frame: that one is dropped, the rest read on.
    EXPECT_EQ(Interleaved(bytes, 1000, 2000), " R200 F0:1328 F1:level 204 R200 F1:level 204 F5:4 R200+body J3 F0:1328");
    EXPECT_EQ(Interleaved("$\x01\x00", 3), "");  // more must come
    // A reply that can never fit the buffer is junk, and the reader goes on.
    EXPECT_EQ(Interleaved("RTSP/1.0 200 OK\r\nX: " + std::string(300, 'a') + Frame(0, "pq"), 64, 100), " J320 F0:2");
}

// Wi-Fi's late and doubled datagrams: what is older never replaces what was taken.
TEST(Satip, LateOrDoubledPacketsNeverReplaceNewerOnes) {
    SatipOrder order = {};
    std::string taken;
    // a wrap past 65535, one doubled, two late, a gap, and a restarted server far behind
    for (uint16_t sequence : {65534, 65535, 65535, 0, 65533, 3, 1, 4, 30000, 29990})
        taken += RtpIsNewer(&order, sequence) ? "+" : "-";
    EXPECT_EQ(taken, "++-+-+-++-");
    taken.clear();
    for (uint64_t seconds : {100, 100, 99, 101, 0, 0, 95, 80})  // 0: no sender report, taken as it comes
        taken += ReportIsNewer(&order, seconds << 32) ? "+" : "-";
    EXPECT_EQ(taken, "+--+++-+");
    // The sender report's NTP timestamp, as minisatip sends it before the APP.
    SatipTune tune = TuneFromBurst(0, 1, 27500, 12302000, SATIP_DVBS);
    SatipStatus level = {1, 204, 1, 12, 0, 0, 0}, got;
    char text[256];
    uint8_t packet[512];
    FormatTunerStatus(&tune, &level, text, sizeof text);
    uint64_t sentAt = 1;
    size_t n = BuildRtcpApp(7, text, packet, sizeof packet, SATIP_RTCP_COMPOUND, 0xE1234567'89ABCDEFull);
    EXPECT_TRUE(ParseRtcpApp(packet, n, &got, &sentAt) && sentAt == 0xE1234567'89ABCDEFull);
    n = BuildRtcpApp(7, text, packet, sizeof packet);
    EXPECT_TRUE(ParseRtcpApp(packet, n, &got, &sentAt) && sentAt == 0);
}

// The first query asks for the system the transponder last locked on.
TEST(Satip, TheCacheAsksForTheSystemLastLocked) {
    SatipTune a = TuneFromBurst(0, 1, 27500, 12302000, SATIP_DVBS2), near = a, other = a;
    near.frequencyKhz += 900, near.system = SATIP_DVBS;
    other.polarization = 'h';
    char out[SATIP_CACHE_MAX];
    std::string cache = "not a tune\n";
    EXPECT_EQ(CachedSystem(cache.data(), cache.size(), &a), SATIP_DVBS);  // DVB-S, as every listed transponder
    cache.assign(out, NoteCachedSystem(cache.data(), cache.size(), &a, out));
    EXPECT_EQ(cache, "src=1&freq=12302&pol=v&ro=0.35&msys=dvbs2&mtype=8psk&plts=on&sr=27500&pids=0,16,17\n");
    EXPECT_TRUE(CachedSystem(cache.data(), cache.size(), &near) == SATIP_DVBS2 &&
                CachedSystem(cache.data(), cache.size(), &other) == SATIP_DVBS);
    EXPECT_EQ(NoteCachedSystem(cache.data(), cache.size(), &near, out), 0u);  // it locked on DVB-S since
    for (uint32_t i = 0; i < SATIP_CACHE_LINES + 6; ++i) {
        other.frequencyKhz = 10700000 + i * 5000, other.system = SATIP_DVBS2;
        cache.assign(out, NoteCachedSystem(cache.data(), cache.size(), &other, out));
    }
    EXPECT_EQ(std::count(cache.begin(), cache.end(), '\n'), long(SATIP_CACHE_LINES));
    other.frequencyKhz = 10700000 + 5 * 5000;  // the oldest went
    EXPECT_EQ(CachedSystem(cache.data(), cache.size(), &other), SATIP_DVBS);
    other.frequencyKhz += 5000;
    EXPECT_EQ(CachedSystem(cache.data(), cache.size(), &other), SATIP_DVBS2);
}

TEST(Satip, ServersAreFoundBySsdpOrTheIni) {
    char location[128], host[SATIP_HOST_MAX], path[SATIP_PATH_MAX];
    uint16_t port = 0;
    auto ssdp = [&](const std::string& text) {
        bool found = ParseSsdpAnswer(text.data(), text.size(), location, sizeof location, &port);
        return found ? location + std::string(" rtsp ") + std::to_string(port) : "none";
    };
    auto url = [&](const char* text) {
        bool read = ParseHttpUrl(text, host, sizeof host, &port, path, sizeof path);
        return read ? host + (":" + std::to_string(port)) + path : "bad";
    };
    EXPECT_EQ(ssdp("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nLOCATION: http://192.168.1.20:8080/desc.xml\r\n"
                   "ST: urn:ses-com:device:SatIPServer:1\r\n\r\n"),
              "http://192.168.1.20:8080/desc.xml rtsp 554");
    // An OctopusNet announcing itself, with its RTSP port elsewhere.
    EXPECT_EQ(ssdp("NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: urn:ses-com:device:SatIPServer:1\r\n"
                   "NTS: ssdp:alive\r\nLOCATION: http://192.168.1.30:8888/octonet.xml\r\n"
                   "X-SATIP-RTSP-Port: 8554\r\n\r\n"),
              "http://192.168.1.30:8888/octonet.xml rtsp 8554");
    EXPECT_EQ(ssdp("HTTP/1.1 200 OK\r\nLOCATION: http://p/\r\nST: upnp:rootdevice\r\n\r\n"), "none");  // a printer
    EXPECT_EQ(ssdp("NOTIFY * HTTP/1.1\r\nNT: urn:ses-com:device:SatIPServer:1\r\nNTS: ssdp:byebye\r\n"
                   "LOCATION: http://p/\r\n\r\n"),
              "none");
    EXPECT_EQ(url("http://192.168.1.20:8080/desc.xml"), "192.168.1.20:8080/desc.xml");
    EXPECT_EQ(url("http://tuner"), "tuner:80/");
    EXPECT_EQ(url("http://h:99999/"), "bad");
    const char desc[] = "<device><satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">DVBT-2,DVBS2-2</satip:X_SATIPCAP>";
    EXPECT_EQ(DescriptionSatelliteTuners(desc, sizeof desc - 1), 2u);
    EXPECT_EQ(DescriptionSatelliteTuners(desc, 60), 0u);  // cut before the figure

    const std::pair<const char*, const char*> ini[] = {
        {"[Server]\r\n Address = tuner.local ; the loft\r\n", "tuner.local:554"},
        {"[other]\naddress=1.2.3.4\n[server]\naddress=127.0.0.1:8554", "127.0.0.1:8554"},
        // A Fritz!Box's description: the RTSP port stays 554, the one in the address is HTTP's.
        {"[server]\naddress=http://192.168.1.9:49000/satipdesc.xml ; a Fritz!Box\n",
         "192.168.1.9:554 http://192.168.1.9:49000/satipdesc.xml"},
        {"", "none"},
        {"[server]\n;address=1.2.3.4\n", "none"},
        {"[server]\naddress=\n", "none"},
        {"[other]\naddress=1.2.3.4\n", "none"},
        {"[server]\naddress=http://h:99999/desc.xml", "bad"},
        {"[server]\naddress=:554", "bad"},
        {"[server]\naddress=h:0", "bad"},
        {"[server]\naddress=h:65536", "bad"},
        {"[server]\naddress=a b", "bad"},
        {"[server]\naddress=h:5x", "bad"}};
    for (auto [text, expected] : ini) EXPECT_EQ(Address(text), expected) << text;
    const std::pair<const char*, SatipTransport> transports[] = {
        {"[server]\n Transport = TCP ; the LAN\n", SATIP_TRANSPORT_TCP},
        {"[server]\ntransport=udp", SATIP_TRANSPORT_UDP},
        {"[server]\ntransport=pigeon\n", SATIP_TRANSPORT_AUTO},
        {"[phone]\ntransport=tcp\n", SATIP_TRANSPORT_AUTO}};
    for (auto [text, expected] : transports) EXPECT_EQ(ParseServerTransport(text, strlen(text)), expected) << text;
}

}  // namespace
