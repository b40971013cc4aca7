// The phone page's HTTP reader, routes, JSON and event framing.
#include "driver/phone_http.h"
#include <gtest/gtest.h>
#include <string>

namespace {

PhoneParse Parse(const std::string& text, PhoneRequest* request) {
    return ParsePhoneRequest(text.data(), text.size(), request);
}

int Status(const std::string& text) {
    PhoneRequest request;
    PhoneParse parse = Parse(text, &request);
    if (parse == PHONE_TOO_LARGE) return 431;
    if (parse != PHONE_COMPLETE) return 400;
    return RoutePhoneRequest(&request).status;
}

std::string Json(const PhoneReading& reading) {
    char out[1024];
    size_t n = WritePhoneJson(&reading, out, sizeof out);
    return std::string(out, n);
}

std::string Escaped(const std::string& text) {
    char out[256];
    size_t n = WriteJsonString(text.data(), text.size(), out, sizeof out);
    return std::string(out, n);
}

TEST(Phone, PipelinedRequestsAreReadOneAfterAnother) {
    std::string first = "GET /signal?x=1 HTTP/1.1\r\nHost: 192.168.1.20:8080\r\nUser-Agent: t\r\n\r\n";
    std::string second = "HEAD / HTTP/1.1\nhost: LOCALHOST\nConnection: keep-alive, Close\n\n";
    std::string third = "\r\nGET /events HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc";
    std::string all = first + second + third;
    PhoneRequest r;
    ASSERT_EQ(Parse(all, &r), PHONE_COMPLETE);
    EXPECT_EQ(r.method, PHONE_GET);
    EXPECT_STREQ(r.path, "/signal");
    EXPECT_TRUE(r.hostAllowed);
    EXPECT_TRUE(r.keepAlive);
    ASSERT_EQ(r.length, first.size());
    ASSERT_EQ(Parse(all.substr(r.length), &r), PHONE_COMPLETE);
    EXPECT_EQ(r.method, PHONE_HEAD);
    EXPECT_STREQ(r.path, "/");
    EXPECT_FALSE(r.keepAlive);  // close wins, in any case and place
    ASSERT_EQ(r.length, second.size());
    ASSERT_EQ(Parse(third, &r), PHONE_COMPLETE);
    EXPECT_EQ(r.length, third.size());  // the body is skipped
    EXPECT_FALSE(r.keepAlive);          // 1.0 without keep-alive
    EXPECT_TRUE(r.hostAllowed);         // 1.0 may leave Host out
    // Every cut of a request is incomplete, never malformed.
    for (size_t n = 0; n < third.size(); ++n) EXPECT_EQ(Parse(third.substr(0, n), &r), PHONE_INCOMPLETE) << n;
}

TEST(Phone, EachRequestGetsItsStatus) {
    // Only IP literals and localhost: a name could be an attacker's, rebound to this PC.
    for (const char* host : {"10.0.0.5", "[::1]:8080", "LocalHost:80", "127.0.0.1:65535"})
        EXPECT_EQ(Status(std::string("HEAD /events HTTP/1.1\r\nHost: ") + host + "\r\n\r\n"), 200) << host;
    for (const char* host : {"attacker.example", "localhost.attacker.example", "1.2.3.4.nip.io", "256.1.1.1",
                             "127.0.0.1:99999", "", "[fe80::1%25]:80", "1.2.3"})
        EXPECT_EQ(Status(std::string("GET /signal HTTP/1.1\r\nHost: ") + host + "\r\n\r\n"), 403) << host;
    EXPECT_EQ(Status("POST /signal HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2\r\n\r\nhi"), 405);
    EXPECT_EQ(Status("DELETE / HTTP/1.1\r\nHost: localhost\r\n\r\n"), 405);
    for (const char* path : {"/favicon.ico", "/signal/", "http://x/", "*"})
        EXPECT_EQ(Status(std::string("GET ") + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n"), 404) << path;
    // What cannot be read with certainty ends the connection.
    for (const char* bad : {
             "GET / HTTP/1.1\r\n\r\n",                                        // 1.1 without Host
             "GET / HTTP/1.1\r\nHost: a\r\nHost: localhost\r\n\r\n",          // two Hosts
             "GET / HTTP/2.0\r\nHost: localhost\r\n\r\n",
             "GET  / HTTP/1.1\r\nHost: localhost\r\n\r\n",
             "GET /\r\n\r\n",
             "G\x01T / HTTP/1.1\r\nHost: localhost\r\n\r\n",
             "GET / HTTP/1.1\r\nHost: localhost\r\n folded\r\n\r\n",
             "GET / HTTP/1.1\r\nHost : localhost\r\n\r\n",
             "GET / HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n",
             "GET / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nx",
             "GET / HTTP/1.1\r\nHost: localhost\r\nContent-Length: -1\r\n\r\n",
             "GET / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 99999\r\n\r\n"})
        EXPECT_EQ(Status(bad), 400) << bad;
    std::string nul("GET / HTTP/1.1\r\nHost: loc\0al\r\n\r\n", 32);
    EXPECT_EQ(Status(nul), 400);
}

TEST(Phone, AHeadOver8KiBIs431) {
    std::string head = "GET / HTTP/1.1\r\nHost: localhost\r\nX-Pad: ";
    std::string fits = head + std::string(PHONE_HEAD_MAX - head.size() - 4, 'a') + "\r\n\r\n";
    ASSERT_EQ(fits.size(), PHONE_HEAD_MAX);
    EXPECT_EQ(Status(fits), 200);
    EXPECT_EQ(Status(head + std::string(PHONE_HEAD_MAX, 'a')), 431);  // never ends
    EXPECT_EQ(Status(head + std::string(PHONE_HEAD_MAX - head.size() - 3, 'a') + "\r\n\r\n"), 431);
    EXPECT_EQ(Status(std::string(PHONE_HEAD_MAX + 10, '\n')), 431);  // empty lines count too
}

TEST(Phone, ReplyHeads) {
    char out[512];
    ASSERT_GT(FormatPhoneHead(out, sizeof out, 200, "text/event-stream", 0, true, true), 0u);
    EXPECT_STREQ(out, "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                      "X-Content-Type-Options: nosniff\r\nConnection: keep-alive\r\n\r\n");  // no length: it streams
    ASSERT_GT(FormatPhoneHead(out, sizeof out, 405, "text/plain", 19, false, false), 0u);
    for (const char* line : {"405 Method Not Allowed\r\n", "Content-Length: 19\r\n", "Allow: GET, HEAD\r\n",
                             "Connection: close\r\n\r\n"})
        EXPECT_TRUE(strstr(out, line)) << line;
    ASSERT_GT(FormatPhoneHead(out, sizeof out, 200, "text/html; charset=utf-8", 5, false, true), 0u);
    EXPECT_TRUE(strstr(out, "Content-Security-Policy: default-src 'none'"));  // the page loads nothing from elsewhere
    EXPECT_EQ(FormatPhoneHead(out, 40, 200, "text/html", 5, false, true), 0u);
}

TEST(Phone, JsonOfAReading) {
    PhoneReading r = {};
    EXPECT_EQ(Json(r), "{\"finder\":false,\"lock\":false,\"percent\":0,\"peak\":0,\"snr\":0.00,\"quality\":0,"
                       "\"transponder\":null,\"satellite\":null}");
    r = {true, true, -3, 84, 8.254f, 250, true, 11778500, 'H', 27500, nullptr};
    EXPECT_EQ(Json(r), "{\"finder\":true,\"lock\":true,\"percent\":-3,\"peak\":84,\"snr\":8.25,\"quality\":100,"
                       "\"transponder\":{\"frequency\":11778.5,\"polarization\":\"H\",\"symbolRate\":27500,"
                       "\"text\":\"11778.5 H 27500\"},\"satellite\":null}");
    r.frequencyKhz = 12302000, r.polarization = 'v', r.snr = 1.0f / 0.0f;
    std::string j = Json(r);
    EXPECT_NE(j.find("\"snr\":null"), std::string::npos);
    EXPECT_NE(j.find("\"text\":\"12302 V 27500\""), std::string::npos);

    PhoneSatellite s = {"19.2e", "confirmed", "ASTRA \"1\"", {"Das Erste HD", "", "ZDF\xC3\xBC"}, "wrong", ""};
    strcpy(s.text, "the dish receives 19.2E (ASTRA), not 23.5E: 11597 V 27500 is in your list of 23.5E");
    memset(s.position, 'x', sizeof s.position);  // no NUL: the field's size bounds it
    r.satellite = &s;
    j = Json(r);
    EXPECT_NE(j.find("\"satellite\":{\"position\":\"xxxxxxxxxxxxxxxx\",\"state\":\"confirmed\","
                     "\"network\":\"ASTRA \\\"1\\\"\",\"services\":[\"Das Erste HD\",\"ZDF\xC3\xBC\"],"
                     "\"verdict\":\"wrong\",\"text\":\"the dish receives 19.2E"),
              std::string::npos)
        << j;
    char small[64];
    EXPECT_EQ(WritePhoneJson(&r, small, sizeof small), 0u);
}

TEST(Phone, StringsAreAlwaysValidJson) {
    EXPECT_EQ(Escaped("a\"b\\c\n\x01\x7f"), "\"a\\\"b\\\\c\\u000a\\u0001\x7f\"");
    EXPECT_EQ(Escaped("\xE2\x82\xAC \xF0\x9F\x93\xA1"), "\"\xE2\x82\xAC \xF0\x9F\x93\xA1\"");  // kept as they are
    // Broken UTF-8 each become U+FFFD: a stray continuation, a cut sequence,
    // an overlong '/', a surrogate, a code point past U+10FFFF, a Latin-1 byte.
    for (const char* bad : {"\x80", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE9"}) {
        std::string e = Escaped(bad);
        EXPECT_EQ(e.find("\\ufffd"), 1u) << bad;
        for (char c : e) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << bad;
    }
    char out[8];
    EXPECT_EQ(WriteJsonString("abcdefgh", 8, out, sizeof out), 0u);
    EXPECT_EQ(WriteJsonString("abcde", 5, out, sizeof out), 7u);
}

TEST(Phone, EventFraming) {
    char out[128];
    std::string data = "{\"a\":1}";
    ASSERT_GT(FrameServerEvent(nullptr, data.data(), data.size(), out, sizeof out), 0u);
    EXPECT_STREQ(out, "data: {\"a\":1}\n\n");
    ASSERT_GT(FrameServerEvent("lost", "one\r\ntwo\rthree\n", 15, out, sizeof out), 0u);
    EXPECT_STREQ(out, "event: lost\ndata: one\ndata: two\ndata: three\ndata: \n\n");
    EXPECT_EQ(FrameServerEvent("a\nb", "x", 1, out, sizeof out), 0u);  // a name cannot break the stream
    EXPECT_EQ(FrameServerEvent(nullptr, data.data(), data.size(), out, 15), 0u);
}

TEST(Phone, ThePhoneSectionSwitchesThePageOn) {
    PhoneSettings s;
    auto parse = [&s](const std::string& text) { return ParsePhoneSettings(text.data(), text.size(), &s); };
    EXPECT_EQ(parse("[signal]\nstep 1000 level=50\n"), PHONE_OFF);
    EXPECT_EQ(parse("[signal]\nport=8080\n[Phone]\n;port=8080\nlisten=0.0.0.0\n"), PHONE_OFF);  // no key, no server
    ASSERT_EQ(parse("[signal]\r\nport=1\r\n[PHONE]\r\n Port = 8080 # the phone\r\n\r\n[faults]\r\nlisten=x\r\n"), PHONE_ON);
    EXPECT_EQ(s.port, 8080);
    EXPECT_STREQ(s.listen, "");
    ASSERT_EQ(parse("[phone]\nlisten=192.168.1.20\nport=65535"), PHONE_ON);
    EXPECT_STREQ(s.listen, "192.168.1.20");
    EXPECT_EQ(s.port, 65535);
    for (const char* bad : {"[phone]\nport=0", "[phone]\nport=65536", "[phone]\nport=80x", "[phone]\nport=",
                            "[phone]\nport=8080\nlisten=my.host", "[phone]\nport=8080\nlisten=1.2.3.4.5"})
        EXPECT_EQ(parse(bad), PHONE_SETTINGS_BAD) << bad;
}

}  // namespace
