#pragma once
// The lockout guard's checks and its firewall change as the console calls them: one replaceable table,
// like the registry's, so tests can answer with hazards of their choosing and record the calls.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "guard/Guard.h"
#include "guard/ServiceRestart.h"

namespace console {

struct GuardApi {
    std::function<std::vector<guard::Hazard>(std::uint16_t, std::optional<std::uint16_t>)> CheckPortChange;
    std::function<std::vector<guard::Hazard>(std::optional<std::uint16_t>)> CheckTurnOn;
    std::function<std::vector<guard::Hazard>()> CheckTurnOff;
    std::function<guard::FirewallSummary(std::optional<std::uint16_t>)> FirewallSummaryFor;
    std::function<std::optional<std::vector<std::uint16_t>>()> RemoteDesktopListeningPorts;
    std::function<guard::FirewallOpening(std::uint16_t, bool whatIf)> OpenFirewallPort;
    std::function<std::vector<guard::Hazard>(bool)> CheckNlaChange;
    // status: the service's start type and state, and the RDP-Tcp listener switch.
    std::function<guard::ServiceSummary()> RemoteDesktopServiceSummary;
    // set-port --apply: what may be restarted (before any write), the restart, the listeners after it.
    std::function<guard::RestartPlan()> PrepareRestart;
    std::function<guard::RestartOutcome(const guard::RestartPlan&)> Restart;
    std::function<std::optional<std::vector<std::uint16_t>>(std::uint16_t)> AwaitListening;
    // confirm: the program's own rules for the port left behind.
    std::function<guard::FirewallClosing(std::uint16_t)> CloseOwnFirewallPort;
    // firewall: everything the verdicts rest on, read from this machine (not known when it cannot be).
    std::function<guard::firewall::State()> ReadFirewallState;
    // watch: the ports Remote Desktop listens on now, an unnamed listener on the port given counting
    // as its own (RemoteDesktopListeningPortsExpecting).
    std::function<std::optional<std::vector<std::uint16_t>>(std::uint16_t)> ListeningPortsExpecting;
};

// The guard's own functions.
GuardApi RealGuardApi();

// The table in use; tests assign to it and put RealGuardApi() back.
GuardApi& Guard();

}  // namespace console
