// The phone page's HTTP reader, routes, JSON and event framing.
#include "driver/phone_http.h"
#include <gtest/gtest.h>
#include <string>

namespace {

// A request as one line: method, path, whether Host is allowed and the
// connection kept, the bytes it takes, then its status; or 400, 431 or incomplete.
std::string Answer(const std::string& text) {
    PhoneRequest r;
    PhoneParse parse = ParsePhoneRequest(text.data(), text.size(), &r);
    if (parse != PHONE_COMPLETE)
        return parse == PHONE_INCOMPLETE ? "incomplete" : parse == PHONE_TOO_LARGE ? "431" : "400";
    return std::string(r.method == PHONE_GET    ? "GET "
                       : r.method == PHONE_HEAD ? "HEAD "
                                                : "other ") +
           r.path + (r.hostAllowed ? " host" : "") + (r.keepAlive ? " keep " : " ") + std::to_string(r.length) + " " +
           std::to_string(RoutePhoneRequest(&r).status);
}

int Status(const std::string& text) {
    std::string answer = Answer(text);
    return std::stoi(answer.substr(answer.rfind(' ') + 1));
}

std::string Json(const PhoneReading& reading) {
    char out[1024];
    return std::string(out, WritePhoneJson(&reading, out, sizeof out));
}

std::string Escaped(const std::string& text) {
    char out[256];
    return std::string(out, WriteJsonString(text.data(), text.size(), out, sizeof out));
}

TEST(Phone, PipelinedRequestsAreReadOneAfterAnother) {
    std::string first = "GET /signal?x=1 HTTP/1.1\r\nHost: 192.168.1.20:8080\r\nUser-Agent: t\r\n\r\n";
    std::string second = "HEAD / HTTP/1.1\nhost: LOCALHOST\nConnection: keep-alive, Close\n\n";
    std::string third = "\r\nGET /events HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc";
    EXPECT_EQ(Answer(first + second + third), "GET /signal host keep 68 200");
    EXPECT_EQ(Answer(second + third), "HEAD / host 63 200");  // close wins, in any case and place
    EXPECT_EQ(Answer(third), "GET /events host 48 200");      // 1.0: no Host needed, no keep-alive, the body skipped
    // Every cut of a request is incomplete, never malformed.
    for (size_t n = 0; n < third.size(); ++n) EXPECT_EQ(Answer(third.substr(0, n)), "incomplete") << n;
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
    // What cannot be read with certainty ends the connection: a request line not as HTTP/1.x has it...
    for (const char* line : {"GET / HTTP/2.0", "GET  / HTTP/1.1", "GET /", "G\x01T / HTTP/1.1"})
        EXPECT_EQ(Status(std::string(line) + "\r\nHost: localhost\r\n\r\n"), 400) << line;
    // ...no Host for 1.1 or two, a folded line, a space before the colon, a NUL, a body of unsure length.
    for (const std::string& headers : std::initializer_list<std::string>{
             "", "Host: a\r\nHost: localhost\r\n", "Host: localhost\r\n folded\r\n", "Host : localhost\r\n",
             std::string("Host: loc\0al\r\n", 14), "Host: localhost\r\nTransfer-Encoding: chunked\r\n",
             "Host: localhost\r\nContent-Length: 1\r\nContent-Length: 1\r\n",
             "Host: localhost\r\nContent-Length: -1\r\n", "Host: localhost\r\nContent-Length: 99999\r\n"})
        EXPECT_EQ(Status("GET / HTTP/1.1\r\n" + headers + "\r\n"), 400) << headers;
    // A head over 8 KiB is 431.
    std::string head = "GET / HTTP/1.1\r\nHost: localhost\r\nX-Pad: ";
    std::string fits = head + std::string(PHONE_HEAD_MAX - head.size() - 4, 'a') + "\r\n\r\n";
    ASSERT_EQ(fits.size(), PHONE_HEAD_MAX);
    EXPECT_EQ(Status(fits), 200);
    EXPECT_EQ(Status(head + std::string(PHONE_HEAD_MAX, 'a')), 431);  // never ends
    EXPECT_EQ(Status(head + std::string(PHONE_HEAD_MAX - head.size() - 3, 'a') + "\r\n\r\n"), 431);
    EXPECT_EQ(Status(std::string(PHONE_HEAD_MAX + 10, '\n')), 431);  // empty lines count too
}

TEST(Phone, ReplyHeads) {
    auto head = [](int status, const char* type, size_t length, bool stream, size_t size = 512) {
        char out[512];
        return std::string(out, FormatPhoneHead(out, size, status, type, length, stream, status == 200));
    };
    EXPECT_EQ(head(200, "text/event-stream", 0, true),  // no length: it streams
              "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
              "X-Content-Type-Options: nosniff\r\nConnection: keep-alive\r\n\r\n");
    std::string refused = head(405, "text/plain", 19, false);
    for (const char* line :
         {"405 Method Not Allowed\r\n", "Content-Length: 19\r\n", "Allow: GET, HEAD\r\n", "Connection: close\r\n\r\n"})
        EXPECT_NE(refused.find(line), refused.npos) << line;
    std::string page = head(200, "text/html; charset=utf-8", 5, false);
    EXPECT_NE(page.find("Content-Security-Policy: default-src 'none'"), page.npos);  // the page loads nothing else
    EXPECT_EQ(head(200, "text/html", 5, false, 40), "");
}

TEST(Phone, JsonOfAReadingItsStringsAndEvents) {
    PhoneReading r = {};
    EXPECT_EQ(Json(r),
              "{\"finder\":false,\"lock\":false,\"percent\":0,\"peak\":0,\"snr\":0.00,\"quality\":0,"
              "\"transponder\":null,\"satellite\":null}");
    r = {true, true, -3, 84, 8.254f, 250, true, 11778500, 'H', 27500, nullptr};
    EXPECT_EQ(Json(r),
              "{\"finder\":true,\"lock\":true,\"percent\":-3,\"peak\":84,\"snr\":8.25,\"quality\":100,"
              "\"transponder\":{\"frequency\":11778.5,\"polarization\":\"H\",\"symbolRate\":27500,"
              "\"text\":\"11778.5 H 27500\"},\"satellite\":null}");
    r.frequencyKhz = 12302000, r.polarization = 'v', r.snr = 1.0f / 0.0f;
    std::string j = Json(r);
    EXPECT_TRUE(j.find("\"snr\":null") != j.npos && j.find("\"text\":\"12302 V 27500\"") != j.npos) << j;

    PhoneSatellite s = {"19.2e", "confirmed", "ASTRA \"1\"", {"Das Erste HD", "", "ZDF\xC3\xBC"}, "wrong", ""};
    strcpy(s.text, "the dish receives 19.2E (ASTRA), not 23.5E, which you chose: 11739 V 27500 is on both");
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

    // Strings in it are always valid JSON.
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

    // The JSON framed as events: each line of the data its own data line.
    auto frame = [](const char* name, const std::string& data, size_t size = 128) {
        char out[128];
        return std::string(out, FrameServerEvent(name, data.data(), data.size(), out, size));
    };
    EXPECT_EQ(frame(nullptr, "{\"a\":1}"), "data: {\"a\":1}\n\n");
    EXPECT_EQ(frame("lost", "one\r\ntwo\rthree\n"), "event: lost\ndata: one\ndata: two\ndata: three\ndata: \n\n");
    EXPECT_EQ(frame("a\nb", "x"), "");  // a name cannot break the stream
    EXPECT_EQ(frame(nullptr, "{\"a\":1}", 15), "");
}

TEST(Phone, ThePhoneSectionSwitchesThePageOn) {
    auto parse = [](const std::string& text) {
        PhoneSettings s;
        PhoneSwitch on = ParsePhoneSettings(text.data(), text.size(), &s);
        return on == PHONE_ON ? std::to_string(s.port) + " on '" + s.listen + "'" : on == PHONE_OFF ? "off" : "bad";
    };
    EXPECT_EQ(parse("[signal]\nstep 1000 level=50\n"), "off");
    EXPECT_EQ(parse("[signal]\nport=8080\n[Phone]\n;port=8080\nlisten=0.0.0.0\n"), "off");  // no key, no server
    EXPECT_EQ(parse("[signal]\r\nport=1\r\n[PHONE]\r\n Port = 8080 # the phone\r\n\r\n[faults]\r\nlisten=x\r\n"),
              "8080 on ''");
    EXPECT_EQ(parse("[phone]\nlisten=192.168.1.20\nport=65535"), "65535 on '192.168.1.20'");
    for (const char* bad : {"[phone]\nport=0", "[phone]\nport=65536", "[phone]\nport=80x", "[phone]\nport=",
                            "[phone]\nport=8080\nlisten=my.host", "[phone]\nport=8080\nlisten=1.2.3.4.5"})
        EXPECT_EQ(parse(bad), "bad") << bad;
}

}  // namespace
