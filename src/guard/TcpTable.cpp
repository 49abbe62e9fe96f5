#include "guard/TcpTable.h"

#include "base/SystemLibrary.h"

namespace guard {

// The size is asked first and asked again if the table grew in between.
bool ReadTcpTable(ULONG family, TCP_TABLE_CLASS kind, std::vector<std::uint64_t>& buffer) {
    using GetTableFn = DWORD WINAPI(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);
    static GetTableFn* const getTable = base::SystemFunctionAs<GetTableFn>(L"iphlpapi.dll", "GetExtendedTcpTable");
    if (!getTable) return false;
    DWORD size = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        buffer.assign(size / sizeof(std::uint64_t) + 1, 0);
        size = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
        const DWORD status = getTable(buffer.data(), &size, FALSE, family, kind, 0);
        if (status == NO_ERROR) return true;
        if (status != ERROR_INSUFFICIENT_BUFFER) return false;
    }
    return false;
}

}  // namespace guard
