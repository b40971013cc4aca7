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
constexpr char M_SEARCH[] =
    "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\n"
    "ST: urn:ses-com:device:SatIPServer:1\r\n\r\n";

void NameServer(SatipServer* server) {
    snprintf(server->name, sizeof server->name, "%s:%u", server->host, server->port);
}

// The ini's answer; a missing file is no address.
static SatipAddress ReadIni(const char* path, SatipServer* server) {
    HANDLE file = path[0] ? CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                          : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) return SATIP_ADDRESS_NONE;
    char* text = static_cast<char*>(malloc(INI_MAX));
    DWORD length = 0;
    if (!text || !ReadFile(file, text, INI_MAX, &length, nullptr)) length = 0;
    CloseHandle(file);
    SatipAddress found =
        text ? ParseServerAddress(text, length, server->host, sizeof server->host, &server->port) : SATIP_ADDRESS_NONE;
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
    int length = snprintf(request, sizeof request, "GET %s HTTP/1.1\r\nHost: %s:%u\r\nConnection: close\r\n\r\n",
                          path, server->host, port);
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

// One M-SEARCH to the group and one to this machine (a server on the same
// host may not hear its own group), then the answers as they come, for up to
// NETWORK_WAIT_MS.
static bool Discover(SatipServer* server) {
    SOCKET s = StartWinsock() ? socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) : INVALID_SOCKET;
    if (s == INVALID_SOCKET) return false;
    DWORD ttl = 2;
    setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl), sizeof ttl);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(SSDP_PORT);
    for (const char* address : {SSDP_GROUP, "127.0.0.1"}) {
        inet_pton(AF_INET, address, &to.sin_addr);
        sendto(s, M_SEARCH, int(sizeof M_SEARCH - 1), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    char seen[4][SATIP_PATH_MAX + SATIP_HOST_MAX] = {};
    int seenCount = 0;
    bool found = false;
    ULONGLONG deadline = GetTickCount64() + NETWORK_WAIT_MS;
    while (!found) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        uint32_t ms = uint32_t(deadline - now);
        timeval wait = {long(ms / 1000), long(ms % 1000 * 1000)};
        if (select(0, &set, nullptr, nullptr, &wait) <= 0) break;
        char answer[1500];
        int got = recv(s, answer, sizeof answer, 0);
        char location[sizeof seen[0]];
        if (got <= 0 || !ParseSsdpAnswer(answer, size_t(got), location, sizeof location)) continue;
        bool repeated = false;  // each server answers once per M-SEARCH it hears
        for (int i = 0; i < seenCount; ++i) repeated = repeated || strcmp(seen[i], location) == 0;
        if (repeated) continue;
        if (seenCount < 4) strcpy(seen[seenCount++], location);
        uint32_t tuners = FetchDescription(location, server);
        BridgeLog("Discovery %s offers %lu DVB-S2 tuners", location, (unsigned long)tuners);
        found = tuners > 0;
    }
    closesocket(s);
    server->port = SATIP_RTSP_PORT;
    return found;
}

bool FindServer(SatipServer* server) {
    char path[MAX_PATH];
    DriverFilePath(nullptr, "satipcard.ini", path, sizeof path);
    SatipAddress given = ReadIni(path, server);
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
