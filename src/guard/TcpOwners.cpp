// Who listens on which TCP port: the IP helper's owner tables (GetExtendedTcpTable with
// TCP_TABLE_OWNER_PID_LISTENER), a process's image name, and the Remote Desktop service's process.

#include <iphlpapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

#include "base/Handles.h"
#include "guard/Probes.h"
#include "base/SystemLibrary.h"

namespace guard {
namespace {

using GetTableFn = DWORD WINAPI(PVOID, PDWORD, BOOL, ULONG, TCP_TABLE_CLASS, ULONG);

inline void CloseServiceHandleNoThrow(SC_HANDLE handle) noexcept { CloseServiceHandle(handle); }
using UniqueScHandle = base::UniqueHandle<SC_HANDLE, &CloseServiceHandleNoThrow>;

// The table rows keep the port in network byte order in the low 16 bits.
std::uint16_t HostPort(DWORD networkPort) {
    return static_cast<std::uint16_t>(((networkPort & 0xFF) << 8) | ((networkPort >> 8) & 0xFF));
}

// The table of one address family; empty when it cannot be read. The size is asked first and asked
// again if the table grew in between.
bool ReadTable(ULONG family, std::vector<std::uint64_t>& buffer) {
    static GetTableFn* const getTable = base::SystemFunctionAs<GetTableFn>(L"iphlpapi.dll", "GetExtendedTcpTable");
    if (!getTable) return false;
    DWORD size = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        buffer.assign(size / sizeof(std::uint64_t) + 1, 0);  // 8-byte elements keep the rows aligned
        size = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
        const DWORD status = getTable(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (status == NO_ERROR) return true;
        if (status != ERROR_INSUFFICIENT_BUFFER) return false;
    }
    return false;
}

template <class Table>
void AppendRows(const std::vector<std::uint64_t>& buffer, std::vector<TcpListener>& out) {
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        out.push_back({HostPort(table->table[i].dwLocalPort), table->table[i].dwOwningPid});
}

std::optional<std::vector<TcpListener>> ReadListeners() {
    std::vector<std::uint64_t> buffer;
    std::vector<TcpListener> listeners;
    if (!ReadTable(AF_INET, buffer)) return std::nullopt;
    AppendRows<MIB_TCPTABLE_OWNER_PID>(buffer, listeners);
    // A computer without IPv6 has no IPv6 table, and no IPv6 listener either.
    if (ReadTable(AF_INET6, buffer)) AppendRows<MIB_TCP6TABLE_OWNER_PID>(buffer, listeners);
    return listeners;
}

std::wstring ReadProcessImage(DWORD pid) {
    base::UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    wchar_t path[MAX_PATH * 2];
    DWORD length = static_cast<DWORD>(sizeof(path) / sizeof(path[0]));
    if (!QueryFullProcessImageNameW(process.Get(), 0, path, &length)) return {};
    const std::wstring full(path, length);
    const size_t slash = full.find_last_of(L"\\/");
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

// Least rights throughout: connect to the service manager, query the one service's status. The
// status is read as it is; a service that is starting or stopping is not waited for.
std::optional<DWORD> ReadRemoteDesktopPid() {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return std::nullopt;
    UniqueScHandle service(OpenServiceW(manager.Get(), L"TermService", SERVICE_QUERY_STATUS));
    if (!service) return std::nullopt;
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed) ||
        status.dwProcessId == 0)
        return std::nullopt;
    return status.dwProcessId;
}

}  // namespace

ListenersSeam& ListenersCall() {
    static ListenersSeam seam(&ReadListeners);
    return seam;
}

ProcessImageSeam& ProcessImageCall() {
    static ProcessImageSeam seam(&ReadProcessImage);
    return seam;
}

ServicePidSeam& RemoteDesktopPidCall() {
    static ServicePidSeam seam(&ReadRemoteDesktopPid);
    return seam;
}

}  // namespace guard
