// The phone page's readers and writers, any bytes: the [phone] section;
// pipelined requests, read to the end as the server reads them; and the
// bytes as a satellite's names, which must come out as JSON strings of
// well-formed UTF-8.
#include "driver/phone_http.h"
#include <cstring>
#include <vector>

static void CheckUtf8(const char* text, size_t length) {
    for (size_t i = 0; i < length; i++)
        if (static_cast<unsigned char>(text[i]) < 0x20) __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> copy(data, data + size);  // exactly size bytes: ASan sees any overread
    const char* text = copy.data();
    size_t offset = 0;
    PhoneRequest request;
    while (offset < size) {
        PhoneParse parse = ParsePhoneRequest(text + offset, size - offset, &request);
        if (parse != PHONE_COMPLETE) break;
        if (request.length == 0 || request.length > size - offset || strlen(request.path) >= sizeof request.path)
            __builtin_trap();
        PhoneRoute route = RoutePhoneRequest(&request);
        if (route.status == 200 && (!request.hostAllowed || request.method == PHONE_OTHER_METHOD)) __builtin_trap();
        offset += request.length;
    }
    PhoneHostAllowed(text, size);
    PhoneSettings settings;
    if (ParsePhoneSettings(text, size, &settings) == PHONE_ON && (!settings.port || strlen(settings.listen) > 15))
        __builtin_trap();

    static char out[8192];
    size_t n = WriteJsonString(text, size, out, sizeof out);
    if (n) CheckUtf8(out, n);
    PhoneSatellite satellite = {};
    if (size) memcpy(&satellite, data, size < sizeof satellite ? size : sizeof satellite);  // no NUL needed
    PhoneReading reading = {true, true, 57, 84, 8.25f, 55, true, 11778000, 'V', 27500, &satellite};
    n = WritePhoneJson(&reading, out, sizeof out);
    if (!n || out[0] != '{' || out[n - 1] != '}') __builtin_trap();
    CheckUtf8(out, n);
    n = FrameServerEvent(size ? "x" : nullptr, text, size, out, sizeof out);
    if (n && (out[n - 1] != '\n' || out[n - 2] != '\n')) __builtin_trap();
    return 0;
}
