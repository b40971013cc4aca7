// The SAT>IP protocol's texts: the tune query, RTSP, the tuner status, SSDP and the ini.
#include "driver/satip_protocol.h"
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Query(const SatipTune& tune) {
    char out[SATIP_QUERY_MAX];
    size_t n = FormatTuneQuery(&tune, out, sizeof out);
    return std::string(out, n);
}

SatipParse Reply(const std::string& text, RtspReply* reply) { return ParseRtspReply(text.data(), text.size(), reply); }

TEST(Satip, TheBurstBecomesOneQueryAndBack) {
    // DiSEqC None, Simple A, Simple B, LNB1..LNB4 -> src 1, 1, 2, 1..4
    const uint32_t sources[] = {1, 1, 2, 1, 2, 3, 4, 1};
    for (uint32_t d = 0; d < 8; ++d) EXPECT_EQ(TuneFromBurst(d, 1, 27500, 12302000, SATIP_DVBS2).source, sources[d]);
    SatipTune t = TuneFromBurst(5, 0, 22000, 11778500, SATIP_DVBS2);
    EXPECT_EQ(Query(t), "src=3&freq=11778.5&pol=h&msys=dvbs2&sr=22000&pids=0,16,17");
    t.frequencyKhz = 12302000, t.polarization = 'v', t.system = OtherSystem(t.system);
    EXPECT_EQ(Query(t), "src=3&freq=12302&pol=v&msys=dvbs&sr=22000&pids=0,16,17");
    char tiny[16];
    EXPECT_EQ(FormatTuneQuery(&t, tiny, sizeof tiny), 0u);

    SatipTune back;
    ASSERT_TRUE(ParseTuneQuery("rtsp://10.0.0.2/?src=2&freq=11778.5&pol=H&sr=22000&fec=34&pids=0", 64, &back));
    EXPECT_EQ(back.source, 2u);
    EXPECT_EQ(back.frequencyKhz, 11778500u);
    EXPECT_EQ(back.polarization, 'h');
    EXPECT_EQ(back.system, SATIP_DVBS);  // msys absent
    for (const char* bad : {"src=1&freq=12302&pol=v", "src=0&freq=12302&pol=v&sr=27500", "src=1&freq=12x&pol=v&sr=1",
                            "src=1&freq=12302&pol=q&sr=27500", "src=1&freq=12302&pol=v&sr=27500&msys=dvbt"})
        EXPECT_FALSE(ParseTuneQuery(bad, strlen(bad), &back)) << bad;
}

TEST(Satip, RtspRepliesComeWholeOrNotAtAll) {
    std::string setup = "RTSP/1.0 200 OK\r\nCSeq: 3\r\nSession: 12AB34;timeout=30\r\n"
                        "Transport: RTP/AVP;unicast;client_port=5000-5001;server_port=6970-6971\r\n"
                        "com.ses.streamID: 7\r\n\r\n";
    RtspReply r;
    ASSERT_EQ(Reply(setup, &r), SATIP_COMPLETE);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.cseq, 3u);
    EXPECT_STREQ(r.session, "12AB34");
    EXPECT_EQ(r.timeoutSeconds, 30u);
    EXPECT_EQ(r.streamId, 7u);
    EXPECT_EQ(r.serverRtpPort, 6970);
    EXPECT_EQ(r.serverRtcpPort, 6971);
    EXPECT_EQ(r.headerLength, setup.size());
    // Every cut of it is incomplete, never malformed.
    for (size_t n = 0; n < setup.size(); ++n) EXPECT_EQ(Reply(setup.substr(0, n), &r), SATIP_INCOMPLETE) << n;

    std::string body = "RTSP/1.0 503 Service Unavailable\nContent-Length: 4\n\nabc";
    EXPECT_EQ(Reply(body, &r), SATIP_INCOMPLETE);
    ASSERT_EQ(Reply(body + "d", &r), SATIP_COMPLETE);
    EXPECT_EQ(r.status, 503);
    EXPECT_EQ(r.timeoutSeconds, 60u);  // not given
    EXPECT_EQ(r.contentLength, 4u);
    for (const std::string& bad : std::initializer_list<std::string>{"SIP/2.0 200 OK\r\n\r\n", "RTSP/1.0 OK\r\n\r\n", "RTSP/1.0 200 OK\r\nCSeq: x\r\n\r\n",
                            "RTSP/1.0 200 OK\r\nContent-Length: 99999999\r\n\r\n",
                            "RTSP/1.0 200 OK\r\nSession: " + std::string(80, 'A') + "\r\n\r\n",
                            "RTSP/1.0 200 OK\r\nX: " + std::string(9000, 'a')})
        EXPECT_EQ(Reply(bad, &r), SATIP_MALFORMED) << bad.substr(0, 40);

    char request[SATIP_REQUEST_MAX];
    size_t n = FormatRtspRequest(request, sizeof request, "SETUP", "rtsp://h/?src=1", 4, "12AB34",
                                 "Transport: RTP/AVP;unicast;client_port=5000-5001\r\n");
    RtspRequest q;
    ASSERT_EQ(ParseRtspRequest(request, n, &q), SATIP_COMPLETE);
    EXPECT_STREQ(q.method, "SETUP");
    EXPECT_STREQ(q.uri, "rtsp://h/?src=1");
    EXPECT_EQ(q.cseq, 4u);
    EXPECT_STREQ(q.session, "12AB34");
    EXPECT_EQ(q.clientRtpPort, 5000);
    EXPECT_EQ(q.clientRtcpPort, 5001);
    EXPECT_EQ(q.headerLength, n);
    EXPECT_EQ(FormatRtspRequest(request, 20, "SETUP", "rtsp://h/", 4, nullptr, nullptr), 0u);
    EXPECT_EQ(ParseRtspRequest("FOO / RTSP/1.0\r\n\r\n", 18, &q), SATIP_MALFORMED);
}

TEST(Satip, TheTunerStatusComesByRtcpOrSdp) {
    SatipTune tune = TuneFromBurst(0, 1, 27500, 12302000, SATIP_DVBS2);
    SatipStatus sent = {1, 204, 1, 12};
    char text[256];
    ASSERT_GT(FormatTunerStatus(&tune, &sent, text, sizeof text), 0u);
    uint8_t packet[512];
    size_t n = BuildRtcpApp(0x1234, text, packet, sizeof packet);
    ASSERT_EQ(n % 4, 0u);
    SatipStatus got = {};
    ASSERT_TRUE(ParseRtcpApp(packet, n, &got));
    EXPECT_EQ(got.level, 204u);
    EXPECT_EQ(got.lock, 1u);
    EXPECT_EQ(got.quality, 12u);
    EXPECT_EQ(StatusPercent(&got), 80u);  // 204 x 100 / 255
    EXPECT_EQ(StatusSnrFigure(&got), 12.0f);
    for (size_t cut = 0; cut < n; cut += 3) EXPECT_FALSE(ParseRtcpApp(packet, cut, &got)) << cut;
    packet[8 + 8] = 'X';  // another APP name
    EXPECT_FALSE(ParseRtcpApp(packet, n, &got));

    const char sdp[] = "v=0\r\nm=video 0 RTP/AVP 33\r\na=fmtp:33 ver=1.0;src=1;tuner=1,255,0,15,12302.00,v\r\n";
    ASSERT_TRUE(ParseSdpStatus(sdp, sizeof sdp - 1, &got));
    EXPECT_EQ(StatusPercent(&got), 100u);
    EXPECT_EQ(got.lock, 0u);
    for (const char* bad : {"ver=1.0;tuner=1,256,1,12", "tuner=1,200,2,12", "tuner=1,200,1,16", "tuner=1,200,1",
                            "xtuner=1,200,1,3", "tuner=1,2x0,1,3"})
        EXPECT_FALSE(ParseTunerStatus(bad, strlen(bad), &got)) << bad;
}

TEST(Satip, ServersAreFoundBySsdpOrTheIni) {
    const char answer[] = "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nLOCATION: http://192.168.1.20:8080/desc.xml\r\n"
                          "ST: urn:ses-com:device:SatIPServer:1\r\n\r\n";
    char location[128], host[SATIP_HOST_MAX], path[SATIP_PATH_MAX];
    uint16_t port = 0;
    ASSERT_TRUE(ParseSsdpAnswer(answer, sizeof answer - 1, location, sizeof location));
    ASSERT_TRUE(ParseHttpUrl(location, host, sizeof host, &port, path, sizeof path));
    EXPECT_STREQ(host, "192.168.1.20");
    EXPECT_EQ(port, 8080);
    EXPECT_STREQ(path, "/desc.xml");
    ASSERT_TRUE(ParseHttpUrl("http://tuner", host, sizeof host, &port, path, sizeof path));
    EXPECT_EQ(port, 80);
    EXPECT_STREQ(path, "/");
    EXPECT_FALSE(ParseHttpUrl("http://h:99999/", host, sizeof host, &port, path, sizeof path));
    const char printer[] = "HTTP/1.1 200 OK\r\nLOCATION: http://p/\r\nST: upnp:rootdevice\r\n\r\n";
    EXPECT_FALSE(ParseSsdpAnswer(printer, sizeof printer - 1, location, sizeof location));
    const char bye[] = "NOTIFY * HTTP/1.1\r\nNT: urn:ses-com:device:SatIPServer:1\r\nNTS: ssdp:byebye\r\n"
                       "LOCATION: http://p/\r\n\r\n";
    EXPECT_FALSE(ParseSsdpAnswer(bye, sizeof bye - 1, location, sizeof location));
    const char desc[] = "<device><satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">DVBT-2,DVBS2-2</satip:X_SATIPCAP>";
    EXPECT_EQ(DescriptionSatelliteTuners(desc, sizeof desc - 1), 2u);
    EXPECT_EQ(DescriptionSatelliteTuners(desc, 60), 0u);  // cut before the figure

    auto address = [&](const std::string& ini) { return ParseServerAddress(ini.data(), ini.size(), host, sizeof host, &port); };
    EXPECT_EQ(address("[Server]\r\n Address = tuner.local ; the loft\r\n"), SATIP_ADDRESS_GIVEN);
    EXPECT_STREQ(host, "tuner.local");
    EXPECT_EQ(port, 554);
    EXPECT_EQ(address("[other]\naddress=1.2.3.4\n[server]\naddress=127.0.0.1:8554"), SATIP_ADDRESS_GIVEN);
    EXPECT_STREQ(host, "127.0.0.1");
    EXPECT_EQ(port, 8554);
    for (const char* none : {"", "[server]\n;address=1.2.3.4\n", "[server]\naddress=\n", "[other]\naddress=1.2.3.4\n"})
        EXPECT_EQ(address(none), SATIP_ADDRESS_NONE) << none;
    for (const char* bad : {"[server]\naddress=:554", "[server]\naddress=h:0", "[server]\naddress=h:65536",
                            "[server]\naddress=a b", "[server]\naddress=h:5x"})
        EXPECT_EQ(address(bad), SATIP_ADDRESS_BAD) << bad;
}

}  // namespace
