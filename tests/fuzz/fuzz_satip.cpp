// The SAT>IP readers, any bytes: RTSP replies and requests, RTCP, SDP, SSDP,
// device descriptions, tune queries, the ini and the cache, and the RTSP
// connection that carries the stream in pieces. None may read past the data.
#include "driver/satip_protocol.h"
#include <algorithm>
#include <cstring>
#include <vector>

// The bytes as reads of sizes the bytes choose, into a small buffer and one
// that holds every frame: each piece lies in the buffer, and a full buffer is
// always emptied.
static void ReadInterleaved(const uint8_t* data, size_t size) {
    static uint8_t buffer[SATIP_FRAME_MAX];
    for (size_t capacity : {size_t(300), SATIP_FRAME_MAX}) {
        SatipInterleaved reader;
        InitInterleaved(&reader, buffer, capacity);
        for (size_t at = 0, room = 0; at < size;) {
            uint8_t* to = InterleavedRoom(&reader, &room);
            size_t n = std::min({size - at, room, size_t(data[at] % 64 + 1)});
            if (!n) __builtin_trap();
            memcpy(to, data + at, n);
            at += n;
            InterleavedCame(&reader, n);
            for (SatipPiece p; (p = NextInterleaved(&reader)).kind != SATIP_PIECE_NONE;)
                if (p.data < buffer || p.data + p.length > buffer + capacity ||
                    (p.kind == SATIP_PIECE_JUNK && !p.length))
                    __builtin_trap();
        }
    }
}

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
    ParseServerTransport(text, size);
    static char cache[SATIP_CACHE_MAX];
    if (size && ParseTuneQuery(text, size, &tune)) {
        tune.system = CachedSystem(text, size, &tune) == SATIP_DVBS ? SATIP_DVBS2 : SATIP_DVBS;
        size_t n = NoteCachedSystem(text, size, &tune, cache);
        if (n > SATIP_CACHE_MAX || CachedSystem(cache, n, &tune) != tune.system) __builtin_trap();
    }
    ReadInterleaved(data, size);
    return 0;
}
