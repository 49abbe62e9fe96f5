// Who listens on which TCP port: the IP helper's owner tables (GetExtendedTcpTable) with the module that
// opened each listener (GetOwnerModuleFromTcpEntry), and a process's image name.
//
// The module tells services apart that share one svchost process: for a service the module name is the
// service's name. Not every system has the module functions (Wine's iphlpapi has neither), and a row's
// module can be unreadable: the listener then has no module, and the guard matches it by process.

#include <iphlpapi.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

#include "base/Handles.h"
#include "base/SystemLibrary.h"
#include "guard/Probes.h"
#include "guard/TcpTable.h"

namespace guard {
namespace {

using ModuleOf4Fn = DWORD WINAPI(PMIB_TCPROW_OWNER_MODULE, TCPIP_OWNER_MODULE_INFO_CLASS, PVOID, PDWORD);
using ModuleOf6Fn = DWORD WINAPI(PMIB_TCP6ROW_OWNER_MODULE, TCPIP_OWNER_MODULE_INFO_CLASS, PVOID, PDWORD);

constexpr const wchar_t* kIpHelper = L"iphlpapi.dll";
// PID 0 is the idle process: Windows has no module for it (ERROR_NOT_FOUND), and Wine reports every
// owner as 0.
constexpr DWORD kNoProcess = 0;

// The module name of one row; empty when the function is missing or fails. The buffer holds the
// TCPIP_OWNER_MODULE_BASIC_INFO and the strings it points to.
template <class Fn, class Row>
std::wstring ModuleName(Fn* moduleOf, const Row& row) {
    if (!moduleOf || row.dwOwningPid == kNoProcess) return {};
    std::vector<std::uint64_t> buffer(64);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
        const DWORD status = moduleOf(const_cast<Row*>(&row), TCPIP_OWNER_MODULE_INFO_BASIC, buffer.data(), &size);
        if (status == NO_ERROR) {
            const auto* info = reinterpret_cast<const TCPIP_OWNER_MODULE_BASIC_INFO*>(buffer.data());
            return info->pModuleName ? std::wstring(info->pModuleName) : std::wstring();
        }
        if (status != ERROR_INSUFFICIENT_BUFFER) return {};
        buffer.assign(size / sizeof(std::uint64_t) + 1, 0);
    }
    return {};
}

template <class Table, class Fn>
void AppendModuleRows(const std::vector<std::uint64_t>& buffer, Fn* moduleOf, std::vector<TcpListener>& out) {
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const auto& row = table->table[i];
        out.push_back({HostPort(row.dwLocalPort), row.dwOwningPid, ModuleName(moduleOf, row)});
    }
}

template <class Table>
void AppendPidRows(const std::vector<std::uint64_t>& buffer, std::vector<TcpListener>& out) {
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        out.push_back({HostPort(table->table[i].dwLocalPort), table->table[i].dwOwningPid, {}});
}

// The listeners of one family, with their modules where the system has the module tables, by process
// only where it has not; false when neither table can be read.
template <class ModuleTable, class PidTable, class Fn>
bool AppendFamily(ULONG family, Fn* moduleOf, std::vector<TcpListener>& out) {
    std::vector<std::uint64_t> buffer;
    if (ReadTcpTable(family, TCP_TABLE_OWNER_MODULE_LISTENER, buffer)) {
        AppendModuleRows<ModuleTable>(buffer, moduleOf, out);
        return true;
    }
    if (!ReadTcpTable(family, TCP_TABLE_OWNER_PID_LISTENER, buffer)) return false;
    AppendPidRows<PidTable>(buffer, out);
    return true;
}

std::optional<std::vector<TcpListener>> ReadListeners() {
    static ModuleOf4Fn* const moduleOf4 = base::SystemFunctionAs<ModuleOf4Fn>(kIpHelper, "GetOwnerModuleFromTcpEntry");
    static ModuleOf6Fn* const moduleOf6 = base::SystemFunctionAs<ModuleOf6Fn>(kIpHelper, "GetOwnerModuleFromTcp6Entry");
    std::vector<TcpListener> listeners;
    if (!AppendFamily<MIB_TCPTABLE_OWNER_MODULE, MIB_TCPTABLE_OWNER_PID>(AF_INET, moduleOf4, listeners))
        return std::nullopt;
    // A computer without IPv6 has no IPv6 table, and no IPv6 listener either.
    AppendFamily<MIB_TCP6TABLE_OWNER_MODULE, MIB_TCP6TABLE_OWNER_PID>(AF_INET6, moduleOf6, listeners);
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

}  // namespace

ListenersSeam& ListenersCall() {
    static ListenersSeam seam(&ReadListeners);
    return seam;
}

ProcessImageSeam& ProcessImageCall() {
    static ProcessImageSeam seam(&ReadProcessImage);
    return seam;
}

}  // namespace guard
