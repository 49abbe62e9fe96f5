#include "driver/TcpTable.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

namespace e2e {
namespace {

// The table holds addresses and ports in network byte order, a port in the low 16 bits of its DWORD.
std::string Dotted(DWORD address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
           std::to_string(bytes[3]);
}

std::uint16_t Port(DWORD port) { return ntohs(static_cast<u_short>(port)); }

template <class Row>
TcpRow RowOf(const Row& row) {
    return TcpRow{row.dwState, Dotted(row.dwLocalAddr), Port(row.dwLocalPort), Dotted(row.dwRemoteAddr),
                  Port(row.dwRemotePort), std::nullopt};
}

}  // namespace

std::optional<std::vector<TcpRow>> ReadTcpTable(TcpTableKind kind) {
    const TCP_TABLE_CLASS tableClass = kind == TcpTableKind::OwnerPidAll ? TCP_TABLE_OWNER_PID_ALL : TCP_TABLE_BASIC_ALL;
    std::vector<std::uint64_t> buffer;  // 8-byte elements keep the table aligned
    DWORD size = 0;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table can grow between the call that sizes it and the one that fills it: a few tries.
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.assign(size / sizeof(std::uint64_t) + 1, 0);
        size = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
        result = GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, tableClass, 0);
    }
    if (result != NO_ERROR) return std::nullopt;
    std::vector<TcpRow> rows;
    if (kind == TcpTableKind::OwnerPidAll) {
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            rows.push_back(RowOf(table->table[i]));
            rows.back().ownerPid = table->table[i].dwOwningPid;
        }
    } else {
        const auto* table = reinterpret_cast<const MIB_TCPTABLE*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) rows.push_back(RowOf(table->table[i]));
    }
    return rows;
}

}  // namespace e2e
