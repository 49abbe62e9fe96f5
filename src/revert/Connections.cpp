// The connection rows of GetExtendedTcpTable (TCP_TABLE_OWNER_PID_CONNECTIONS, the class whose rows
// both Windows and Wine fill with both ends' addresses).

#include "revert/Connections.h"

#include <iphlpapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "base/DecimalText.h"
#include "guard/TcpTable.h"

namespace revert {
namespace {

constexpr TCP_TABLE_CLASS kConnections = TCP_TABLE_OWNER_PID_CONNECTIONS;

std::optional<std::vector<Peer>> Established(std::uint16_t port) {
    std::vector<Peer> peers;
    std::vector<std::uint64_t> buffer;
    if (!guard::ReadTcpTable(AF_INET, kConnections, buffer)) return std::nullopt;
    const auto* v4 = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
    for (DWORD i = 0; i < v4->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = v4->table[i];
        if (row.dwState != MIB_TCP_STATE_ESTAB || guard::HostPort(row.dwLocalPort) != port) continue;
        Peer peer;
        std::memcpy(peer.address, &row.dwRemoteAddr, 4);
        peers.push_back(peer);
    }
    // A system without IPv6 has no IPv6 table; the IPv4 one still answers.
    if (guard::ReadTcpTable(AF_INET6, kConnections, buffer)) {
        const auto* v6 = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < v6->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& row = v6->table[i];
            if (row.dwState != MIB_TCP_STATE_ESTAB || guard::HostPort(row.dwLocalPort) != port) continue;
            Peer peer;
            peer.ipv6 = true;
            std::memcpy(peer.address, row.ucRemoteAddr, 16);
            peers.push_back(peer);
        }
    }
    return peers;
}

}  // namespace

std::wstring Peer::Text() const {
    std::wstring out;
    if (!ipv6) {
        for (int i = 0; i < 4; ++i) out += (i ? L"." : L"") + base::DecimalText64(address[i]);
        return out;
    }
    // Full form, groups in lower case without leading zeros (as RFC 5952 writes them): enough for a log.
    for (int i = 0; i < 16; i += 2) {
        std::wstring group = base::HexText(static_cast<std::uint32_t>((address[i] << 8) | address[i + 1])).substr(6);
        group.erase(0, std::min(group.find_first_not_of(L'0'), group.size() - 1));
        for (wchar_t& c : group)
            if (c >= L'A' && c <= L'F') c = static_cast<wchar_t>(c - L'A' + L'a');
        out += (i ? L":" : L"") + group;
    }
    return out;
}

bool IsLoopback(const Peer& peer) {
    if (!peer.ipv6) return peer.address[0] == 127;
    static constexpr std::uint8_t kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(peer.address, kLoopback6, 16) == 0) return true;
    return std::memcmp(peer.address, kMappedPrefix, 12) == 0 && peer.address[12] == 127;
}

EstablishedPeersSeam& EstablishedPeersCall() {
    static EstablishedPeersSeam seam(&Established);
    return seam;
}

}  // namespace revert
