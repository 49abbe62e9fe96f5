#pragma once
// The guard's outside effects, one replaceable function each (base::Seam): the program calls Windows
// through them, tests script their answers and put the real ones back. Every real one is quick: none
// sends anything over the network, and the one that asks a service that can hang (WMI, for the dynamic
// port range) gives up after a few seconds.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Seam.h"
#include "guard/FirewallModel.h"

namespace guard {

// A TCP socket bound to the port on the IPv4 and IPv6 wildcard addresses, with exclusive use.
enum class BindOutcome {
    Free,       // both binds succeeded (or IPv6 is not there)
    InUse,      // WSAEADDRINUSE: another socket holds the port
    Forbidden,  // WSAEACCES: a reserved or excluded port, or one the system does not permit
    Unknown,    // Winsock could not be used, exclusive use could not be asked for, or the bind failed otherwise
};
using PortBindSeam = base::Seam<BindOutcome(std::uint16_t port)>;
PortBindSeam& PortBindCall();

// setsockopt with a BOOL option, as the bind test above sets its options; Winsock's error code, 0 when
// the option was set.
using SocketOptionSeam = base::Seam<int(UINT_PTR socket, int level, int name, BOOL on)>;
SocketOptionSeam& SocketOptionCall();

// One listening TCP socket of the IPv4 or IPv6 table, with the process that owns it.
struct TcpListener {
    std::uint16_t port = 0;
    DWORD pid = 0;
    // The module that opened it (GetOwnerModuleFromTcpEntry): for a service in a shared svchost the
    // service's name, for a program its image name, "System" for the kernel; empty when Windows does
    // not tell.
    std::wstring module;
};
// Every listener; nothing when the tables cannot be read.
using ListenersSeam = base::Seam<std::optional<std::vector<TcpListener>>()>;
ListenersSeam& ListenersCall();

// A process's image file name ("svchost.exe"); empty when Windows does not tell.
using ProcessImageSeam = base::Seam<std::wstring(DWORD pid)>;
ProcessImageSeam& ProcessImageCall();

// The Remote Desktop service (TermService) as the service manager reports it now.
struct ServiceStatus {
    DWORD state = 0;  // SERVICE_RUNNING, SERVICE_STOPPED, ...
    DWORD pid = 0;    // its process; 0 when it has none
};
// Nothing when the service or its status cannot be had.
using ServiceStatusSeam = base::Seam<std::optional<ServiceStatus>()>;
ServiceStatusSeam& RemoteDesktopStatusCall();

// The Remote Desktop service's start type (SERVICE_AUTO_START, SERVICE_DEMAND_START, SERVICE_DISABLED,
// ...); nothing when it cannot be read.
using ServiceStartTypeSeam = base::Seam<std::optional<DWORD>()>;
ServiceStartTypeSeam& RemoteDesktopStartTypeCall();

// A range of TCP ports, first to last.
struct PortRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    bool Holds(std::uint16_t port) const { return first <= port && port <= last; }
};
// The TCP dynamic port ranges Windows reports (one per TCP setting template that has one); nothing when
// Windows does not tell in time. Bounded: never waits longer than a few seconds.
using DynamicRangesSeam = base::Seam<std::optional<std::vector<PortRange>>()>;
DynamicRangesSeam& DynamicPortRangesCall();

// The firewall's profiles, Group Policy's firewall values, whether a local rule would take effect, and
// the rules that can matter for inbound TCP or UDP (and the program's own).
using FirewallReadSeam = base::Seam<firewall::State()>;
FirewallReadSeam& FirewallReadCall();

// Writing the firewall's rules (INetFwRules), one small table like the registry's: tests put a fake
// store behind it that the read seam above then reads, so "write, read again, decide" runs for real.
// Every call returns the HRESULT of the firewall.
struct FirewallStore {
    std::function<long(const firewall::Rule& rule)> Add;
    std::function<long(const std::wstring& name)> Remove;
    std::function<long(const std::wstring& name, const std::wstring& newName)> Rename;
    // Copies every field the model knows of the rule of that name.
    std::function<long(const std::wstring& name, firewall::Rule& out)> Read;
};
FirewallStore RealFirewallStore();
// The table in use; tests assign to it and put RealFirewallStore() back.
FirewallStore& FirewallStoreCalls();

}  // namespace guard
