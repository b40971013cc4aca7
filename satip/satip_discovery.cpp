// Which server to talk to: the address in satipcard.ini beside the DLL, or
// else the first server that SSDP finds and whose device description offers
// DVB-S2 tuners (SAT>IP Protocol Specification 1.2.2, section 3.3).
#include "satip/satip.h"
#include <ws2tcpip.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

constexpr DWORD INI_MAX = 16 * 1024;
constexpr size_t DESCRIPTION_MAX = 32 * 1024;
constexpr uint16_t SSDP_PORT = 1900;
constexpr char SSDP_GROUP[] = "239.255.255.250";
constexpr int SEARCHES = 3;  // UDP may lose one; VDR and tvheadend send three
constexpr uint32_t SEARCH_EVERY_MS = 100;
// No DEVICEID.SES.COM: minisatip takes a search that carries its own device
// id for an id clash and changes its id.
constexpr char M_SEARCH[] =
    "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\n"
    "ST: urn:ses-com:device:SatIPServer:1\r\n\r\n";

void NameServer(SatipServer* server) {
    snprintf(server->name, sizeof server->name, "%s:%u", server->host, server->port);
}

// The ini's answer; a missing file is no address. path gets its name.
static SatipAddress ReadIni(char* path, DWORD pathSize, SatipServer* server, char* url) {
    DWORD length;
    HRESULT result;
    char* text = ReadDriverFile(nullptr, "satipcard.ini", INI_MAX, path, pathSize, &length, &result);
    SatipAddress found = text ? ParseServerAddress(text, length, server->host, sizeof server->host, &server->port, url)
                              : SATIP_ADDRESS_NONE;
    server->transport = text ? ParseServerTransport(text, length) : SATIP_TRANSPORT_AUTO;
    free(text);
    return found;
}

// The description at this address: how many DVB-S2 tuners it offers.
static uint32_t FetchDescription(const char* location, SatipServer* server) {
    char path[SATIP_PATH_MAX];
    uint16_t port;
    if (!ParseHttpUrl(location, server->host, sizeof server->host, &port, path, sizeof path)) return 0;
    server->port = port;
    SOCKET s = ResolveServer(server) ? ConnectServer(server) : INVALID_SOCKET;
    if (s == INVALID_SOCKET) return 0;
    char request[SATIP_REQUEST_MAX];
    int length = snprintf(request, sizeof request, "GET %s HTTP/1.1\r\nHost: %s:%u\r\nConnection: close\r\n\r\n", path,
                          server->host, port);
    char* reply = static_cast<char*>(malloc(DESCRIPTION_MAX));
    uint32_t tuners = 0;
    RtspReply answer;
    if (reply && length > 0 && size_t(length) < sizeof request && SendAll(s, request, size_t(length)) &&
        ReceiveReply(s, reply, DESCRIPTION_MAX, &answer) == SATIP_COMPLETE && answer.status == 200)
        tuners = DescriptionSatelliteTuners(reply + answer.headerLength, answer.contentLength);
    free(reply);
    CloseSocket(&s);
    return tuners;
}

// A socket on the SSDP port in the group, to hear servers announce
// themselves with NOTIFY; INVALID_SOCKET when the port cannot be shared.
static SOCKET NotifySocket() {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return s;
    BOOL yes = TRUE;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(SSDP_PORT);
    ip_mreq group = {};
    inet_pton(AF_INET, SSDP_GROUP, &group.imr_multiaddr);
    // Bound to the group where the system allows it, so that a server on this
    // machine still gets the M-SEARCHes sent to it directly; else to any address.
    address.sin_addr = group.imr_multiaddr;
    bool bound = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!(bound || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) ||
        setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&group), sizeof group) != 0)
        CloseSocket(&s);
    return s;
}

// Three M-SEARCHes, each to the group and to this machine (a server on the
// same host may not hear its own group), and the answers and NOTIFYs as they
// come, for up to NETWORK_WAIT_MS.
static bool Discover(SatipServer* server) {
    SOCKET sockets[2] = {StartWinsock() ? socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) : INVALID_SOCKET, INVALID_SOCKET};
    SOCKET s = sockets[0];
    if (s == INVALID_SOCKET) return false;
    sockets[1] = NotifySocket();
    DWORD ttl = 2;
    setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl), sizeof ttl);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(SSDP_PORT);
    char seen[4][SATIP_URL_MAX] = {};
    int seenCount = 0, searches = 0;
    bool found = false;
    ULONGLONG start = GetTickCount64(), deadline = start + NETWORK_WAIT_MS;
    while (!found) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        if (searches < SEARCHES && now >= start + searches * SEARCH_EVERY_MS) {
            for (const char* address : {SSDP_GROUP, "127.0.0.1"}) {
                inet_pton(AF_INET, address, &to.sin_addr);
                sendto(s, M_SEARCH, int(sizeof M_SEARCH - 1), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
            ++searches;
        }
        fd_set set;
        FD_ZERO(&set);
        for (SOCKET one : sockets)
            if (one != INVALID_SOCKET) FD_SET(one, &set);
        uint32_t ms = searches < SEARCHES ? SEARCH_EVERY_MS : uint32_t(deadline - now);
        timeval wait = {long(ms / 1000), long(ms % 1000 * 1000)};
        if (select(0, &set, nullptr, nullptr, &wait) < 0) break;
        for (SOCKET one : sockets) {
            if (found || one == INVALID_SOCKET || !FD_ISSET(one, &set)) continue;
            char answer[1500];
            int got = recv(one, answer, sizeof answer, 0);
            char location[sizeof seen[0]];
            uint16_t rtspPort = SATIP_RTSP_PORT;
            if (got <= 0 || !ParseSsdpAnswer(answer, size_t(got), location, sizeof location, &rtspPort)) continue;
            bool repeated = false;  // each server answers every M-SEARCH it hears
            for (int i = 0; i < seenCount; ++i) repeated = repeated || strcmp(seen[i], location) == 0;
            if (repeated) continue;
            if (seenCount < 4) strcpy(seen[seenCount++], location);
            uint32_t tuners = FetchDescription(location, server);
            BridgeLog("Discovery %s offers %lu DVB-S2 tuners, RTSP on port %u", location, (unsigned long)tuners,
                      rtspPort);
            found = tuners > 0;
            server->port = rtspPort;
        }
    }
    for (SOCKET& one : sockets) CloseSocket(&one);
    return found;
}

bool FindServer(SatipServer* server) {
    char path[MAX_PATH];
    char url[SATIP_URL_MAX] = "";
    SatipAddress given = ReadIni(path, sizeof path, server, url);
    if (given == SATIP_ADDRESS_BAD) {
        BridgeLog("the address in %s cannot be used", path);
        BridgeMessage(true,
                      "The address in satipcard.ini cannot be used:\n%s\n\n"
                      "Write it as address=host or address=host:port in the [server] section, "
                      "for example address=192.168.1.20:554.",
                      path);
        return false;
    }
    if (given == SATIP_ADDRESS_GIVEN) {
        NameServer(server);
        return true;
    }
    if (given == SATIP_ADDRESS_DESCRIPTION) {
        // A description's address, as the box's own pages show it: its host serves RTSP on 554.
        uint32_t tuners = StartWinsock() ? FetchDescription(url, server) : 0;
        server->port = SATIP_RTSP_PORT;
        NameServer(server);
        BridgeLog("%s offers %lu DVB-S2 tuners", url, (unsigned long)tuners);
        if (tuners) return true;
        BridgeMessage(true,
                      "The SAT>IP server's description at %s could not be read, or it offers no DVB-S2 tuners.\n\n"
                      "Check that the tuner is switched on and that satipcard.ini beside satipcard.dll names it.",
                      url);
        return false;
    }
    if (!Discover(server)) {
        BridgeLog("discovery found no SAT>IP server with DVB-S2 tuners");
        BridgeMessage(true,
                      "Discovery found no SAT>IP server with DVB-S2 tuners on this network.\n\n"
                      "Check that the tuner is switched on and on the same network as this computer, "
                      "or write its address in satipcard.ini beside satipcard.dll:\n[server]\naddress=host:port");
        return false;
    }
    NameServer(server);
    BridgeLog("Discovery chose %s", server->name);
    return true;
}
