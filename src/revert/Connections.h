#pragma once
// Who is connected to a local TCP port: the remote addresses of the established connections, IPv4 and
// IPv6. A connection to the new port from another machine proves the port can be reached; one the
// server made to itself proves nothing.

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
