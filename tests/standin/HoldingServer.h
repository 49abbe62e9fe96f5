#pragma once
// What the stand-in does while it runs: listens on one TCP port and holds every connection it accepts
// open until the peer closes it, as Remote Desktop holds a session's connection. The cases then find
// those connections in the system's TCP tables.

#include <winsock2.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace standin {

class Socket {
public:
    explicit Socket(SOCKET s = INVALID_SOCKET) : m_socket(s) {}
    ~Socket() { Reset(); }
    Socket(Socket&& other) noexcept : m_socket(other.m_socket) { other.m_socket = INVALID_SOCKET; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    SOCKET Get() const { return m_socket; }
    void Reset();

private:
    SOCKET m_socket;
};

// A manual-reset event (a WSAEVENT is one), closed with the object.
class Event {
public:
    Event() : m_event(WSACreateEvent()) {}
    ~Event() {
        if (m_event != WSA_INVALID_EVENT) WSACloseEvent(m_event);
    }
    Event(Event&& other) noexcept : m_event(other.m_event) { other.m_event = WSA_INVALID_EVENT; }
    Event& operator=(Event&& other) noexcept {
        std::swap(m_event, other.m_event);
        return *this;
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    HANDLE Get() const { return m_event; }

private:
    HANDLE m_event;
};

class HoldingServer {
public:
    // Listens on the port on every IPv4 address, and on every IPv6 address where the system has IPv6
    // (a missing IPv6 is no failure). 0 when listening, else the Winsock error of the IPv4 socket.
    int Listen(std::uint16_t port);

    // Accepts and holds connections until `stop` is signalled; returns at once when it is. Nothing here
    // blocks on a socket: under Wine, closing a socket does not always wake a thread blocked in
    // accept, so every socket reports through an event and one wait covers them all and `stop`.
    void Serve(HANDLE stop);

private:
    struct Watched {
        Socket socket;
        Event event;
        bool listening = false;
    };
    int AddListener(int family, std::uint16_t port);
    void Accept(SOCKET listener);  // a socket, not its entry: accepting grows m_watched
    // false when the connection is over (the peer closed it, or it failed) and is to be dropped
    bool Drain(const Watched& connection);

    std::vector<Watched> m_watched;  // closed when the server goes, so the port is free again then
};

}  // namespace standin
