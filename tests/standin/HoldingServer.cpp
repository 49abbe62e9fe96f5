#include "HoldingServer.h"

#include <ws2tcpip.h>

namespace standin {
namespace {

// One wait covers the stop event and every socket's event; a connection beyond that is refused
// (closed at once). The cases hold a handful.
constexpr size_t kMostWatched = MAXIMUM_WAIT_OBJECTS - 1;
// The loop looks again at least this often, so a missed wake-up can cost no more than this.
constexpr DWORD kWaitMs = 1000;

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
    std::swap(m_socket, other.m_socket);
    return *this;
}

void Socket::Reset() {
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    m_socket = INVALID_SOCKET;
}

int HoldingServer::Listen(std::uint16_t port) {
    if (const int error = AddListener(AF_INET, port)) return error;
    AddListener(AF_INET6, port);
    return 0;
}

int HoldingServer::AddListener(int family, std::uint16_t port) {
    Watched listener{Socket(socket(family, SOCK_STREAM, IPPROTO_TCP)), Event(), true};
    if (listener.socket.Get() == INVALID_SOCKET || listener.event.Get() == WSA_INVALID_EVENT) return WSAGetLastError();
    sockaddr_storage address{};
    int length = 0;
    if (family == AF_INET6) {
        // IPv6 only, so it never competes with the IPv4 socket for the port.
        const DWORD v6only = 1;
        setsockopt(listener.socket.Get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6only),
                   sizeof(v6only));
        auto* any6 = reinterpret_cast<sockaddr_in6*>(&address);
        any6->sin6_family = AF_INET6;
        any6->sin6_port = htons(port);
        length = sizeof(sockaddr_in6);
    } else {
        auto* any4 = reinterpret_cast<sockaddr_in*>(&address);
        any4->sin_family = AF_INET;
        any4->sin_port = htons(port);
        length = sizeof(sockaddr_in);
    }
    if (bind(listener.socket.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        listen(listener.socket.Get(), SOMAXCONN) != 0 ||
        WSAEventSelect(listener.socket.Get(), listener.event.Get(), FD_ACCEPT) != 0)
        return WSAGetLastError();
    m_watched.push_back(std::move(listener));
    return 0;
}

void HoldingServer::Accept(SOCKET listener) {
    for (;;) {
        Watched connection{Socket(accept(listener, nullptr, nullptr)), Event(), false};
        if (connection.socket.Get() == INVALID_SOCKET) return;  // WSAEWOULDBLOCK: the queue is empty
        // An accepted socket takes over its listener's event selection: give it its own event.
        if (m_watched.size() < kMostWatched && connection.event.Get() != WSA_INVALID_EVENT &&
            WSAEventSelect(connection.socket.Get(), connection.event.Get(), FD_READ | FD_CLOSE) == 0)
            m_watched.push_back(std::move(connection));
    }
}

bool HoldingServer::Drain(const Watched& connection) {
    char buffer[4096];
    for (;;) {
        const int got = recv(connection.socket.Get(), buffer, sizeof(buffer), 0);
        if (got > 0) continue;
        return got < 0 && WSAGetLastError() == WSAEWOULDBLOCK;
    }
}

void HoldingServer::Serve(HANDLE stop) {
    for (;;) {
        std::vector<HANDLE> handles{stop};
        for (const Watched& watched : m_watched) handles.push_back(watched.event.Get());
        const DWORD woke = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, kWaitMs);
        if (woke == WAIT_OBJECT_0 || WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return;
        if (woke == WAIT_TIMEOUT || woke == WAIT_FAILED) continue;
        // Only the first signalled event is named: every socket's events are collected each round.
        for (size_t i = 0; i < m_watched.size();) {
            WSANETWORKEVENTS events{};
            if (WSAEnumNetworkEvents(m_watched[i].socket.Get(), m_watched[i].event.Get(), &events) != 0) events = {};
            bool keep = true;
            if (m_watched[i].listening) {
                if (events.lNetworkEvents & FD_ACCEPT) Accept(m_watched[i].socket.Get());
            } else if (events.lNetworkEvents & (FD_READ | FD_CLOSE)) {
                keep = Drain(m_watched[i]) && !(events.lNetworkEvents & FD_CLOSE);
            }
            if (keep) {
                ++i;
            } else {
                m_watched.erase(m_watched.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
}

}  // namespace standin
