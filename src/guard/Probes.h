#pragma once
// The guard's outside effects, one replaceable function each (base::Seam): the program calls Windows
// through them, tests script their answers and put the real ones back. Every real one is quick: none
// sends anything over the network or waits on a service.

#include <windows.h>

#include <cstdint>
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
    Unknown,    // Winsock could not be used, or the bind failed for another reason
};
using PortBindSeam = base::Seam<BindOutcome(std::uint16_t port)>;
PortBindSeam& PortBindCall();

// One listening TCP socket of the IPv4 or IPv6 table, with the process that owns it.
struct TcpListener {
    std::uint16_t port = 0;
    DWORD pid = 0;
};
// Every listener; nothing when the tables cannot be read.
using ListenersSeam = base::Seam<std::optional<std::vector<TcpListener>>()>;
ListenersSeam& ListenersCall();

// A process's image file name ("svchost.exe"); empty when Windows does not tell.
using ProcessImageSeam = base::Seam<std::wstring(DWORD pid)>;
ProcessImageSeam& ProcessImageCall();

// The process id of the Remote Desktop service (TermService); nothing when it has no process.
using ServicePidSeam = base::Seam<std::optional<DWORD>()>;
ServicePidSeam& RemoteDesktopPidCall();

// The firewall's profiles and the rules that can matter for inbound TCP.
using FirewallReadSeam = base::Seam<firewall::State()>;
FirewallReadSeam& FirewallReadCall();

// Adds or updates the program's own rule for the port, then reads it back.
struct OwnRuleAttempt {
    long hresult = 0;  // S_OK, or the first failing call's HRESULT
    firewall::Rule written;
    std::optional<firewall::Rule> readBack;
};
using FirewallWriteSeam = base::Seam<OwnRuleAttempt(std::uint16_t port)>;
FirewallWriteSeam& FirewallWriteCall();

}  // namespace guard
