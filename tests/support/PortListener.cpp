#include "support/PortListener.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace testkit {
namespace {

// Where the search starts: spread by process so two test programs rarely try the same ports, and
// always below the dynamic range.
constexpr std::uint16_t kLowest = 20000;
constexpr std::uint16_t kSpread = 20000;
constexpr int kTries = 500;

bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// A plain bind, as most programs make it: a socket with exclusive use would make another program's
// exclusive bind fail differently under Wine (WSAEACCES, which the guard reads as a forbidden port).
bool Bind(SOCKET s, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

// Binds the socket to the first port from the process's starting point that nobody holds; 0 when none.
std::uint16_t BindFreePort(SOCKET s) {
    const std::uint16_t start = static_cast<std::uint16_t>(kLowest + (GetCurrentProcessId() * 7919u) % kSpread);
    for (int i = 0; i < kTries; ++i) {
        const auto port = static_cast<std::uint16_t>(start + i);
        if (Bind(s, port)) return port;
    }
    return 0;
}

}  // namespace

ListeningSocket::ListeningSocket() : m_socket(INVALID_SOCKET) {
    if (!WinsockStarted()) return;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    m_socket = s;
    if (s == INVALID_SOCKET) return;
    const std::uint16_t port = BindFreePort(s);
    if (port != 0 && listen(s, 1) == 0) m_port = port;
}

ListeningSocket::~ListeningSocket() { Close(); }

void ListeningSocket::Close() {
    if (m_socket != INVALID_SOCKET) closesocket(static_cast<SOCKET>(m_socket));
    m_socket = INVALID_SOCKET;
}

LoopbackConnection::LoopbackConnection(std::uint16_t port) : m_socket(INVALID_SOCKET) {
    if (!WinsockStarted()) return;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    m_socket = s;
    u_long nonBlocking = 1;
    if (s == INVALID_SOCKET || ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&server), sizeof(server)) != 0 && WSAGetLastError() != WSAEWOULDBLOCK)
        return;
    fd_set done;
    FD_ZERO(&done);
    FD_SET(s, &done);
    fd_set failed = done;
    timeval limit{3, 0};
    int error = 0;
    int errorSize = sizeof(error);
    if (select(0, nullptr, &done, &failed, &limit) != 1 || !FD_ISSET(s, &done) ||
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &errorSize) != 0 || error != 0)
        return;
    sockaddr_in self{};
    int length = sizeof(self);
    if (getsockname(s, reinterpret_cast<sockaddr*>(&self), &length) == 0) m_localPort = ntohs(self.sin_port);
}

LoopbackConnection::~LoopbackConnection() {
    if (m_socket != INVALID_SOCKET) closesocket(static_cast<SOCKET>(m_socket));
}

std::uint16_t FreePort() {
    if (!WinsockStarted()) return 0;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    const std::uint16_t port = BindFreePort(s);
    closesocket(s);
    return port;
}

}  // namespace testkit
