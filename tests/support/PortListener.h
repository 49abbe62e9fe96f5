#pragma once
// TCP ports for the guard's cases, in both test programs: a socket of the test's own that listens on a
// port nobody else holds, and a port that is free right now. Both lie below Windows' default dynamic
// range (49152 to 65535), so a case about a port in use or a free port never also meets the guard's
// dynamic-range warning. And a connection from loopback to a port, held open.

#include <cstdint>

namespace testkit {

class ListeningSocket {
public:
    ListeningSocket();  // bound to 0.0.0.0, listening; Port() is 0 on failure
    ~ListeningSocket();
    ListeningSocket(const ListeningSocket&) = delete;
    ListeningSocket& operator=(const ListeningSocket&) = delete;

    std::uint16_t Port() const { return m_port; }
    void Close();

private:
    unsigned long long m_socket;  // a SOCKET, kept out of this header so it needs no Winsock header
    std::uint16_t m_port = 0;
};

// A TCP connection from 127.0.0.1 to the port on 127.0.0.1, held open for the object's life: a
// connection from the server itself. The connect waits at most 3 s.
class LoopbackConnection {
public:
    explicit LoopbackConnection(std::uint16_t port);
    ~LoopbackConnection();
    LoopbackConnection(const LoopbackConnection&) = delete;
    LoopbackConnection& operator=(const LoopbackConnection&) = delete;

    bool Connected() const { return m_localPort != 0; }
    std::uint16_t LocalPort() const { return m_localPort; }  // the connection's own end; 0 when not connected

private:
    unsigned long long m_socket;
    std::uint16_t m_localPort = 0;
};

// A port nobody holds now (bound and released again); 0 when none could be had.
std::uint16_t FreePort();

}  // namespace testkit
