#pragma once
// An address of the other end of a connection or a session, IPv4 or IPv6, and who is connected to a
// local TCP port (the remote addresses of its established connections). A connection proves only that
// something reached the port, never that the administrator can: it confirms nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Seam.h"

namespace revert {

struct Peer {
    bool ipv6 = false;
    std::uint8_t address[16] = {};  // IPv4 in the first 4 bytes, network order
    std::wstring Text() const;      // "10.0.0.5", "2001:db8::5"
};

// 127.0.0.0/8, ::1, and IPv4 loopback mapped into IPv6 (::ffff:127.x.y.z).
bool IsLoopback(const Peer& peer);

// The remote ends of the established connections to local port `port`; nothing when the tables cannot
// be read.
using EstablishedPeersSeam = base::Seam<std::optional<std::vector<Peer>>(std::uint16_t port)>;
EstablishedPeersSeam& EstablishedPeersCall();

}  // namespace revert
