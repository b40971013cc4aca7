// Winsock with a bound on every wait: a connect, a send and a reply each end
// within NETWORK_WAIT_MS, whatever the server does.
#include "satip/satip.h"
#include <ws2tcpip.h>
#include <cstdio>
#include <cstring>

bool StartWinsock() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void CloseSocket(SOCKET* socket) {
    if (*socket != INVALID_SOCKET) closesocket(*socket);
    *socket = INVALID_SOCKET;
}

bool WaitForSocket(SOCKET socket, bool writing, uint32_t ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(socket, &failed);
    timeval wait = {long(ms / 1000), long(ms % 1000 * 1000)};
    int ready = select(0, writing ? nullptr : &set, writing ? &set : nullptr, &failed, &wait);
    return ready > 0 && FD_ISSET(socket, &set) && !FD_ISSET(socket, &failed);
}

bool ResolveServer(SatipServer* server) {
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    char service[8];
    snprintf(service, sizeof service, "%u", server->port);
    bool resolved =
        getaddrinfo(server->host, service, &hints, &found) == 0 && found && found->ai_addrlen == sizeof server->address;
    if (resolved) memcpy(&server->address, found->ai_addr, sizeof server->address);
    if (found) freeaddrinfo(found);
    return resolved;
}

SOCKET ConnectServer(const SatipServer* server) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    bool connected = connect(s, reinterpret_cast<const sockaddr*>(&server->address), sizeof server->address) == 0 ||
                     (WSAGetLastError() == WSAEWOULDBLOCK && WaitForSocket(s, true, NETWORK_WAIT_MS));
    if (!connected) CloseSocket(&s);
    return s;
}

bool SendAll(SOCKET socket, const char* data, size_t length) {
    ULONGLONG deadline = GetTickCount64() + NETWORK_WAIT_MS;
    while (length > 0) {
        int sent = send(socket, data, int(length), 0);
        if (sent > 0) {
            data += sent;
            length -= size_t(sent);
            continue;
        }
        ULONGLONG now = GetTickCount64();
        if (sent == 0 || WSAGetLastError() != WSAEWOULDBLOCK || now >= deadline ||
            !WaitForSocket(socket, true, uint32_t(deadline - now)))
            return false;
    }
    return true;
}

SatipParse ReceiveReply(SOCKET socket, char* buffer, size_t size, RtspReply* reply) {
    ULONGLONG deadline = GetTickCount64() + NETWORK_WAIT_MS;
    size_t have = 0;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline || !WaitForSocket(socket, false, uint32_t(deadline - now))) return SATIP_INCOMPLETE;
        int got = recv(socket, buffer + have, int(size - have), 0);
        if (got < 0 && WSAGetLastError() == WSAEWOULDBLOCK) continue;
        if (got <= 0) return SATIP_INCOMPLETE;  // closed, or broken
        have += size_t(got);
        SatipParse parsed = ParseRtspReply(buffer, have, reply);
        if (parsed != SATIP_INCOMPLETE) return parsed;
        if (have == size) return SATIP_MALFORMED;  // bigger than any reply we ask for
    }
}

// A free even port and the odd one after it; the system's choice is tried a
// few times, since the odd one may be taken.
bool OpenClientPorts(SOCKET* rtp, SOCKET* rtcp, uint16_t* rtpPort) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        SOCKET first = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        SOCKET second = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        int length = sizeof address;
        bool ok = first != INVALID_SOCKET && second != INVALID_SOCKET &&
                  bind(first, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  getsockname(first, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        uint16_t port = ok ? ntohs(address.sin_port) : 0;
        if (ok && port % 2 != 0) {
            // Odd: the pair starts at the next even port, if it is free.
            CloseSocket(&first);
            first = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
            port = uint16_t(port + 1);
            address.sin_port = htons(port);
            ok = port != 0 && first != INVALID_SOCKET &&
                 bind(first, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        }
        address.sin_port = htons(uint16_t(port + 1));
        if (ok && bind(second, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            u_long nonBlocking = 1;
            ioctlsocket(first, FIONBIO, &nonBlocking);
            ioctlsocket(second, FIONBIO, &nonBlocking);
            int buffer = 256 * 1024;  // the stream is read and dropped: room for a burst
            setsockopt(first, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
            *rtp = first;
            *rtcp = second;
            *rtpPort = port;
            return true;
        }
        CloseSocket(&first);
        CloseSocket(&second);
    }
    return false;
}
