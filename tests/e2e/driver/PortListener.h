#pragma once
// TCP ports for the guard's cases: a socket of the driver's own that listens on a port the system
// picks (so no other program on the machine can hold it), and a port that is free right now.

#include <cstdint>

namespace e2e {

class ListeningSocket {
public:
    ListeningSocket();  // bound to 0.0.0.0 on a port the system picks, listening; Port() is 0 on failure
    ~ListeningSocket();
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    std::uint16_t Port() const { return m_port; }

private:
    unsigned long long m_socket;  // a SOCKET, kept out of this header so it needs no Winsock header
    std::uint16_t m_port = 0;
};

// A port nobody holds now (one the system picked, released again); 0 when none could be had.
std::uint16_t FreePort();

}  // namespace e2e
