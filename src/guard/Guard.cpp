#include "guard/Guard.h"

#include <algorithm>

#include "guard/Probes.h"
#include "settings/SettingsCore.h"

namespace guard {
namespace {

// The port's owner as the listener tables tell it. A port held only by Remote Desktop itself (its
// listener seen before a restart, or after one) is no hazard: nothing when that is so.
std::optional<Hazard> InUseHazard(std::uint16_t port) {
    Hazard hazard{HazardKind::PortInUse, port};
    const std::optional<std::vector<TcpListener>> listeners = ListenersCall()();
    if (!listeners) return hazard;
    const std::optional<DWORD> remoteDesktop = RemoteDesktopPidCall()();
    bool heldByRemoteDesktop = false;
    for (const TcpListener& listener : *listeners) {
        if (listener.port != port) continue;
        if (remoteDesktop && listener.pid == *remoteDesktop) {
            heldByRemoteDesktop = true;
            continue;
        }
        hazard.ownerPid = listener.pid;
        hazard.ownerImage = listener.pid ? ProcessImageCall()(listener.pid) : std::wstring();
        return hazard;
    }
    // Held, but no other listener is in the tables: a socket that is bound without listening, unless
    // the only listener is Remote Desktop's own.
    if (heldByRemoteDesktop) return std::nullopt;
    return hazard;
}

// The firewall-closed hazard for the port, naming the profiles that do not admit it; nothing when the
// firewall admits it or cannot tell.
std::optional<Hazard> FirewallHazard(std::uint16_t port, bool isCurrentPort) {
    const firewall::Assessment assessment = firewall::Assess(FirewallReadCall()(), port);
    if (assessment.verdict != FirewallVerdict::Closed) return std::nullopt;
    Hazard closed{HazardKind::FirewallClosed, port};
    closed.isCurrentPort = isCurrentPort;
    closed.closedProfiles = assessment.ClosedProfiles();
    return closed;
}

// Group Policy's flag, read with the real registry functions: the windows' registry table records
// what the commands themselves read and write, and a check made before them is not part of that.
std::optional<std::uint32_t> PolicyDenyFlag() {
    static const settings::RegistryApi real = settings::RealRegistryApi();
    return settings::ReadPolicyDenyFlag(real);
}

// Group Policy's Network Level Authentication value, read like its deny flag.
std::optional<std::uint32_t> PolicyNlaFlag() {
    static const settings::RegistryApi real = settings::RealRegistryApi();
    return settings::ReadPolicyValue(real, settings::kNlaValue).number;
}

}  // namespace

std::vector<Hazard> CheckPortChange(std::uint16_t newPort, std::optional<std::uint16_t> currentPort) {
    std::vector<Hazard> hazards;
    // The port Remote Desktop was given already: whatever holds it and however the firewall treats it,
    // the change does not make it worse.
    if (currentPort == newPort) return hazards;
    switch (PortBindCall()(newPort)) {
        case BindOutcome::InUse:
            if (std::optional<Hazard> inUse = InUseHazard(newPort)) hazards.push_back(std::move(*inUse));
            break;
        case BindOutcome::Forbidden:
            hazards.push_back({HazardKind::PortForbidden, newPort});
            break;
        case BindOutcome::Free:
        case BindOutcome::Unknown:
            break;
    }
    if (std::optional<Hazard> closed = FirewallHazard(newPort, false)) hazards.push_back(std::move(*closed));
    return hazards;
}

std::vector<Hazard> CheckTurnOn(std::optional<std::uint16_t> currentPort) {
    std::vector<Hazard> hazards;
    // Only a flag of exactly 1 certainly refuses; any other value is left to Windows to interpret.
    if (PolicyDenyFlag() == 1u) hazards.push_back({HazardKind::PolicyDenies});
    if (!currentPort) return hazards;
    if (std::optional<Hazard> closed = FirewallHazard(*currentPort, true)) hazards.push_back(std::move(*closed));
    return hazards;
}

std::vector<Hazard> CheckTurnOff() {
    std::vector<Hazard> hazards;
    if (PolicyDenyFlag() == 0u) hazards.push_back({HazardKind::PolicyAllows});
    return hazards;
}

std::vector<Hazard> CheckNlaChange(bool require) {
    std::vector<Hazard> hazards;
    // Only 1 (required) and 0 (not required) certainly decide; any other value is Windows' to interpret.
    if (PolicyNlaFlag() == (require ? 0u : 1u)) hazards.push_back({HazardKind::PolicyOverridesNla});
    return hazards;
}

FirewallVerdict FirewallVerdictFor(std::uint16_t port) { return firewall::VerdictFor(FirewallReadCall()(), port); }

std::optional<std::vector<std::uint16_t>> RemoteDesktopListeningPorts() {
    const std::optional<DWORD> pid = RemoteDesktopPidCall()();
    if (!pid) return std::nullopt;
    const std::optional<std::vector<TcpListener>> listeners = ListenersCall()();
    if (!listeners) return std::nullopt;
    std::vector<std::uint16_t> ports;
    for (const TcpListener& listener : *listeners)
        if (listener.pid == *pid) ports.push_back(listener.port);
    if (ports.empty()) return std::nullopt;
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

FirewallSummary FirewallSummaryFor(std::optional<std::uint16_t> port) {
    const firewall::State state = FirewallReadCall()();
    FirewallSummary summary;
    if (!state.known) return summary;
    if (port) {
        summary.tcp = firewall::VerdictFor(state, *port, firewall::kProtocolTcp);
        summary.udp = firewall::VerdictFor(state, *port, firewall::kProtocolUdp);
    }
    summary.ownRules.emplace();
    for (const firewall::Rule& rule : state.rules)
        if (firewall::IsOwnRule(rule)) summary.ownRules->push_back(rule);
    summary.unreadableRules = state.unreadableRules;
    return summary;
}

}  // namespace guard
