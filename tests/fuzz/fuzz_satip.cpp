// The SAT>IP readers, any bytes: RTSP replies and requests, RTCP, SDP, SSDP,
// device descriptions, tune queries and the ini. None may read past the data.
#include "driver/satip_protocol.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> copy(data, data + size);  // exactly size bytes: ASan sees any overread
    const char* text = copy.data();
    RtspReply reply;
    if (ParseRtspReply(text, size, &reply) == SATIP_COMPLETE &&
        (reply.headerLength > size || reply.headerLength + reply.contentLength > size ||
         strlen(reply.session) >= sizeof reply.session))
        __builtin_trap();
    RtspRequest request;
    if (ParseRtspRequest(text, size, &request) == SATIP_COMPLETE && request.headerLength > size) __builtin_trap();
    SatipStatus status;
    if (ParseRtcpApp(data, size, &status) && (status.level > 255 || status.lock > 1 || status.quality > 15))
        __builtin_trap();
    if (ParseSdpStatus(text, size, &status) && StatusPercent(&status) > 100) __builtin_trap();
    if (ParseTunerStatus(text, size, &status) && status.polarization && !strchr("hvlr", status.polarization))
        __builtin_trap();
    char location[128], host[SATIP_HOST_MAX], path[SATIP_PATH_MAX], url[SATIP_URL_MAX];
    uint16_t port;
    if (ParseSsdpAnswer(text, size, location, sizeof location, &port) && !port) __builtin_trap();
    if (ParseSsdpAnswer(text, size, location, sizeof location, &port))
        ParseHttpUrl(location, host, sizeof host, &port, path, sizeof path);
    DescriptionSatelliteTuners(text, size);
    SatipTune tune;
    char query[SATIP_QUERY_MAX];
    if (ParseTuneQuery(text, size, &tune) && !FormatTuneQuery(&tune, query, sizeof query)) __builtin_trap();
    SatipAddress given = ParseServerAddress(text, size, host, sizeof host, &port, url);
    if (given > SATIP_ADDRESS_NONE && (!host[0] || !port)) __builtin_trap();
    return 0;
}
