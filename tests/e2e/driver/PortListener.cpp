#include "driver/PortListener.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace e2e {
namespace {

bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

// Binds to a port the system picks and returns it (0 on failure).
std::uint16_t BindAnyPort(SOCKET s) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    int size = sizeof(address);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    return ntohs(address.sin_port);
}

}  // namespace

ListeningSocket::ListeningSocket() : m_socket(INVALID_SOCKET) {
    if (!WinsockStarted()) return;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    m_socket = s;
    if (s == INVALID_SOCKET) return;
    const std::uint16_t port = BindAnyPort(s);
    if (port != 0 && listen(s, 1) == 0) m_port = port;
}

ListeningSocket::~ListeningSocket() {
    if (m_socket != INVALID_SOCKET) closesocket(static_cast<SOCKET>(m_socket));
}

std::uint16_t FreePort() {
    if (!WinsockStarted()) return 0;
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return 0;
    const std::uint16_t port = BindAnyPort(s);
    closesocket(s);
    return port;
}

}  // namespace e2e
