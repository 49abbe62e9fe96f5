#pragma once
// An address of the other end of a session, IPv4 or IPv6. (A TCP connection to the port is never asked
// about: it proves only that something reached the port, never that the administrator can.)

#include <cstdint>
#include <string>

namespace revert {

struct Peer {
    bool ipv6 = false;
    std::uint8_t address[16] = {};  // IPv4 in the first 4 bytes, network order
    std::wstring Text() const;      // "10.0.0.5", "2001:db8::5"
};

// 127.0.0.0/8, ::1, and IPv4 loopback mapped into IPv6 (::ffff:127.x.y.z).
bool IsLoopback(const Peer& peer);

}  // namespace revert
