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

// Group Policy's flag, read with the real registry functions: the windows' registry table records
// what the commands themselves read and write, and a check made before them is not part of that.
std::optional<std::uint32_t> PolicyDenyFlag() {
    static const settings::RegistryApi real = settings::RealRegistryApi();
    return settings::ReadPolicyDenyFlag(real);
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
    if (FirewallVerdictFor(newPort) == FirewallVerdict::Closed)
        hazards.push_back({HazardKind::FirewallClosed, newPort});
    return hazards;
}

std::vector<Hazard> CheckTurnOn(std::optional<std::uint16_t> currentPort) {
    std::vector<Hazard> hazards;
    // Only a flag of exactly 1 certainly refuses; any other value is left to Windows to interpret.
    if (PolicyDenyFlag() == 1u) hazards.push_back({HazardKind::PolicyDenies});
    if (currentPort && FirewallVerdictFor(*currentPort) == FirewallVerdict::Closed) {
        Hazard closed{HazardKind::FirewallClosed, *currentPort};
        closed.isCurrentPort = true;
        hazards.push_back(std::move(closed));
    }
    return hazards;
}

std::vector<Hazard> CheckTurnOff() {
    std::vector<Hazard> hazards;
    if (PolicyDenyFlag() == 0u) hazards.push_back({HazardKind::PolicyAllows});
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

FirewallChange AllowInboundTcp(std::uint16_t port) {
    const OwnRuleAttempt attempt = FirewallWriteCall()(port);
    if (FAILED(attempt.hresult)) return {false, attempt.hresult};
    const bool done = attempt.readBack && firewall::ReadsBackAsWritten(attempt.written, *attempt.readBack);
    return {done, 0};
}

}  // namespace guard
