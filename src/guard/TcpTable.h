#pragma once
// The IP helper's TCP tables (GetExtendedTcpTable, loaded from System32 when first needed): the
// listeners the guard checks and the connections the revert's watch looks for.

#include <iphlpapi.h>
#include <winsock2.h>

#include <cstdint>
#include <vector>

namespace guard {

// One table of one address family and class; false when it cannot be read. The rows start at
// buffer.data() (8-byte elements keep them aligned).
bool ReadTcpTable(ULONG family, TCP_TABLE_CLASS kind, std::vector<std::uint64_t>& buffer);

// The table rows keep the port in network byte order in the low 16 bits.
inline std::uint16_t HostPort(DWORD networkPort) {
    return static_cast<std::uint16_t>(((networkPort & 0xFF) << 8) | ((networkPort >> 8) & 0xFF));
}

}  // namespace guard
