#pragma once
// The lockout guard: checks, made just before a command writes, for what would cut the administrator
// off from the server although the write itself succeeds (port 0, a port another program listens on or
// Windows forbids, a port in the dynamic range, a firewall that does not admit the port, a Group Policy
// value that overrides the local switch, a Remote Desktop service that is disabled or a listener that
// is switched off). Only hazards that were actually seen are reported: a check that cannot tell says
// nothing. The checks are quick and send nothing over the network; the one that asks WMI gives up after
// a few seconds (Probes.h).
//
// The hazards and their text are in Hazard.h, the firewall's decision in FirewallModel.h (both free
// of Windows calls); each outside effect is a seam of Probes.h.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "guard/FirewallModel.h"
#include "guard/Hazard.h"

namespace guard {

// Before the port is changed to newPort; currentPort is the port the caller shows as current (a port
// equal to it, or one held by the Remote Desktop service itself, is no hazard).
std::vector<Hazard> CheckPortChange(std::uint16_t newPort, std::optional<std::uint16_t> currentPort);
// Before connections are turned on (policy, the firewall on the current port when known, the service
// and the listener switch).
std::vector<Hazard> CheckTurnOn(std::optional<std::uint16_t> currentPort);
// Before connections are turned off (policy).
std::vector<Hazard> CheckTurnOff();
// Before Network Level Authentication is required (`require`) or no longer required (policy).
std::vector<Hazard> CheckNlaChange(bool require);

// The TCP ports the Remote Desktop service listens on now; nothing when Windows does not tell (the
// service is not running, or its process or its listeners cannot be found). Its listeners are told by
// service where Windows names each listener's module, by process where it does not.
std::optional<std::vector<std::uint16_t>> RemoteDesktopListeningPorts();
// The same, with one more rule for a service just restarted on `expected`: a listener on that port whose
// owner Windows does not name at all (no module and process 0, as Wine's listener tables give every
// listener) counts as the service's, since nothing tells it apart. A listener with a named owner that is
// not the service still does not count.
std::optional<std::vector<std::uint16_t>> RemoteDesktopListeningPortsExpecting(std::uint16_t expected);

// What the console's status reports of the Remote Desktop service and its listener switch.
struct ServiceSummary {
    std::optional<DWORD> startType;       // SERVICE_AUTO_START, SERVICE_DEMAND_START, SERVICE_DISABLED, ...
    std::optional<DWORD> state;           // SERVICE_RUNNING, SERVICE_STOPPED, ...
    std::optional<bool> listenerEnabled;  // fEnableWinStation of RDP-Tcp; a missing value reads as enabled
};
ServiceSummary RemoteDesktopServiceSummary();

// What the console's status reports of the firewall for the configured port.
struct FirewallSummary {
    firewall::Assessment tcp;  // per profile; not known without a port or a readable firewall
    firewall::Assessment udp;
    // The program's own rules; nothing when the firewall cannot be read.
    std::optional<std::vector<firewall::Rule>> ownRules;
    int unreadableRules = 0;
};
FirewallSummary FirewallSummaryFor(std::optional<std::uint16_t> port);

// Opening a port in the Windows Firewall for Remote Desktop: the program's own inbound allow rules for
// TCP and UDP on the port in every profile (for a protocol not open everywhere already), then the
// firewall read again. Done only when the port is then seen open in all three profiles over TCP and UDP;
// otherwise the rules just added are taken away again. Nothing is written when the rules would not
// make it open (block all inbound, a block rule, Group Policy, ...), judged on the state read with the
// rules added in memory. Rules of other ports, and rules not the program's own, are never changed.
// `whatIf`: the same judgement, and nothing written (`added` names what would be).
enum class OpenFailure {
    None,
    PortZero,          // port 0 is no port anyone can connect to: there is nothing to open
    Unreadable,        // the firewall could not be read
    Blocked,           // the rules would not make it open: see `problem`
    WriteFailed,       // a call failed: see `hresult`
    ReadBackDiffers,   // a rule did not read back as written
    StillNotAdmitted,  // written, but the port is still not seen open: see `problem`
};
struct FirewallOpening {
    bool admitted = false;
    bool alreadyAdmitted = false;     // TCP and UDP were admitted before: nothing was written
    std::vector<std::wstring> added;  // the rules written (left in place only when admitted)
    OpenFailure failure = OpenFailure::None;
    long hresult = 0;
    firewall::ProfileFinding problem;  // Blocked and StillNotAdmitted: the profile and what decides
    long problemProtocol = 0;          // and its protocol
    // Rules the program wrote or renamed that it could not take away or finish again.
    std::vector<std::wstring> leftBehind;
};
[[nodiscard]] FirewallOpening OpenFirewallPort(std::uint16_t port, bool whatIf = false);
// Why the port could not be opened, as one clause without a full stop (Simplified Chinese); rules left
// behind are named after it.
std::wstring OpenFailureText(const FirewallOpening& opening);
// What decided one profile's verdict, as a short clause ("规则“X”阻止了入站连接").
std::wstring FindingText(const firewall::ProfileFinding& finding);
// "TCP" or "UDP".
const wchar_t* ProtocolName(long protocol);

// Everything the firewall verdicts rest on, as this machine's firewall and policy hold it now.
firewall::State ReadFirewallState();

// The program's own rules for a port taken away: those removed, and the first failure (an HRESULT).
struct FirewallClosing {
    bool readable = true;  // false: the firewall could not be read, nothing was removed
    std::vector<std::wstring> removed;
    long hresult = 0;
};
[[nodiscard]] FirewallClosing CloseOwnFirewallPort(std::uint16_t port);

}  // namespace guard
