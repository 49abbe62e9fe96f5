#pragma once
// The system's IPv4 TCP table as GetExtendedTcpTable gives it, one row per connection end, with the
// owning process where the table has one.
//
// What it shows under Wine 8 with the stand-in Remote Desktop service listening (measured; the
// first three are asserted by E2EStandIn.ConnectionsFromThePeerAndFromLoopbackAreSeenEstablished):
// - TCP_TABLE_OWNER_PID_ALL and TCP_TABLE_BASIC_ALL give the same rows. A connection to the service
//   from another machine is MIB_TCP_STATE_ESTAB with local address 10.213.7.1 (the end of the pair it
//   came in on), local port the service's port, remote address 10.213.7.2 (the peer).
// - A connection from the server itself is two established rows: the service's end (local
//   127.0.0.1:port, remote 127.0.0.1:the client's port) and the client's end (local 127.0.0.1:the
//   client's port, remote 127.0.0.1:port). Only a row whose local port is the service's is a connection
//   to the service.
// - The owning process id is 0 in every row, listeners included, and also for the end that the reading
//   process holds itself: Wine keeps every socket's descriptor in wineserver (`ss -ltnp` names
//   wineserver64 as the listener of the service's port), so no process of the prefix is found to own
//   one. An owner cannot tell connections to Remote Desktop apart under Wine; the local port can.
// - Seen too: when the service stops with connections open, its ends stay as MIB_TCP_STATE_TIME_WAIT
//   rows on its port for a while (client ends that closed first do the same on their own port): only
//   established rows are live connections.

#include <winsock2.h>
#include <iphlpapi.h>  // MIB_TCP_STATE_*

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

enum class TcpTableKind {
    OwnerPidAll,  // TCP_TABLE_OWNER_PID_ALL
    BasicAll,     // TCP_TABLE_BASIC_ALL
};

struct TcpRow {
    DWORD state = 0;  // MIB_TCP_STATE_*
    std::string localAddress;  // dotted, "10.213.7.1"
    std::uint16_t localPort = 0;
    std::string remoteAddress;
    std::uint16_t remotePort = 0;
    std::optional<DWORD> ownerPid;  // OwnerPidAll only
};

// Nothing when the table cannot be read.
std::optional<std::vector<TcpRow>> ReadTcpTable(TcpTableKind kind);

}  // namespace e2e
