#pragma once
// TCP ports for the guard's cases, in both test programs: a socket of the test's own that listens on a
// port nobody else holds, and a port that is free right now. Both lie below Windows' default dynamic
// range (49152 to 65535), so a case about a port in use or a free port never also meets the guard's
// dynamic-range warning.

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

// A port nobody holds now (bound and released again); 0 when none could be had.
std::uint16_t FreePort();

}  // namespace testkit
