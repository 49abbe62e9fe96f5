#include "guard/Guard.h"

#include <algorithm>

#include "guard/Probes.h"
#include "guard/ServiceHandle.h"
#include "settings/ListenerSwitch.h"
#include "settings/SettingsCore.h"

namespace guard {
namespace {

// Windows' TCP dynamic range when it does not tell its own: 49152 to 65535 since Windows Vista and
// Windows Server 2008 ("The default dynamic port range for TCP/IP has changed", KB 929851).
constexpr PortRange kDefaultDynamicRange{49152, 65535};

// A listener is Remote Desktop's own only when its process is the one the service manager names for
// TermService: a module name alone proves nothing, since any user can run a program called TermService.
// In that process, where Windows names the module, it must be the service too (services that share one
// svchost have one process but each its own module).
// `servicePid` is 0 when the service runs in no process.
bool IsRemoteDesktopsOwn(const TcpListener& listener, DWORD servicePid) {
    if (servicePid == 0 || listener.pid != servicePid) return false;
    return listener.module.empty() ||
           CompareStringOrdinal(listener.module.c_str(), -1, kRemoteDesktopServiceName, -1, TRUE) == CSTR_EQUAL;
}

// The service's process, when it runs in one.
std::optional<DWORD> RemoteDesktopPid() {
    const std::optional<ServiceStatus> status = RemoteDesktopStatusCall()();
    if (!status || status->pid == 0) return std::nullopt;
    return status->pid;
}

// The listener's module when it names a service rather than the process's own image.
std::wstring ServiceOf(const TcpListener& listener, const std::wstring& image) {
    if (listener.module.empty()) return {};
    if (CompareStringOrdinal(listener.module.c_str(), -1, image.c_str(), -1, TRUE) == CSTR_EQUAL) return {};
    return listener.module;
}

// A failed exclusive bind is only a suspicion: outgoing and TIME_WAIT connections on the port make it
// fail too. The port is in use when a listener other than Remote Desktop's own holds it, as the listener
// tables tell; nothing when they show none, or cannot be read.
std::optional<Hazard> InUseHazard(std::uint16_t port) {
    const std::optional<std::vector<TcpListener>> listeners = ListenersCall()();
    if (!listeners) return std::nullopt;
    const std::optional<DWORD> remoteDesktop = RemoteDesktopPid();
    for (const TcpListener& listener : *listeners) {
        if (listener.port != port || IsRemoteDesktopsOwn(listener, remoteDesktop.value_or(0))) continue;
        Hazard hazard{HazardKind::PortInUse, port};
        hazard.ownerPid = listener.pid;
        hazard.ownerImage = listener.pid ? ProcessImageCall()(listener.pid) : std::wstring();
        hazard.ownerService = ServiceOf(listener, hazard.ownerImage);
        return hazard;
    }
    return std::nullopt;
}

// Hyper-V, WinNAT and container hosts exclude port ranges afresh at each start, mostly inside the
// dynamic range, so a port there that binds today may be refused after the restart.
std::optional<Hazard> DynamicRangeHazard(std::uint16_t port) {
    std::vector<PortRange> ranges = DynamicPortRangesCall()().value_or(std::vector<PortRange>());
    if (ranges.empty()) ranges.push_back(kDefaultDynamicRange);
    for (const PortRange& range : ranges) {
        if (!range.Holds(port)) continue;
        Hazard hazard{HazardKind::PortInDynamicRange, port};
        hazard.rangeFirst = range.first;
        hazard.rangeLast = range.last;
        return hazard;
    }
    return std::nullopt;
}

// The firewall-closed hazard for the port, naming the current profiles that certainly do not admit it;
// and the note on the profiles not current that are not certainly open, kept for when a hazard is seen.
void AppendFirewallHazard(std::uint16_t port, bool isCurrentPort, std::vector<Hazard>& hazards,
                          std::optional<Hazard>& note) {
    const firewall::Assessment assessment = firewall::Assess(FirewallReadCall()(), port);
    if (!assessment.known) return;
    if (const long closed = assessment.ClosedCurrentProfiles()) {
        Hazard hazard{HazardKind::FirewallClosed, port};
        hazard.isCurrentPort = isCurrentPort;
        hazard.closedProfiles = closed;
        hazards.push_back(std::move(hazard));
    }
    if (const long others = assessment.NotOpenOtherProfiles()) {
        note.emplace(Hazard{HazardKind::FirewallOtherProfiles, port});
        note->closedProfiles = others;
    }
}

// The note joins the hazards only when there is a hazard: alone it is no reason for a box.
void AppendNote(std::optional<Hazard>& note, std::vector<Hazard>& hazards) {
    if (note && !hazards.empty()) hazards.push_back(std::move(*note));
}

// The checks' registry reads use the real registry functions: the windows' registry table records what
// the commands themselves read and write, and a check made before them is not part of that.
const settings::RegistryApi& RealRegistry() {
    static const settings::RegistryApi real = settings::RealRegistryApi();
    return real;
}

// Group Policy's flag.
std::optional<std::uint32_t> PolicyDenyFlag() { return settings::ReadPolicyDenyFlag(RealRegistry()); }

// What would leave nothing listening after the restart, whatever the port: a disabled service, or the
// RDP-Tcp connection switched off. `port` is the port concerned (0 when not known).
void AppendListenerHazards(std::uint16_t port, std::vector<Hazard>& hazards) {
    if (RemoteDesktopStartTypeCall()() == static_cast<DWORD>(SERVICE_DISABLED))
        hazards.push_back({HazardKind::ServiceDisabled, port});
    if (settings::ReadListenerEnabled(RealRegistry()) == false) hazards.push_back({HazardKind::ListenerDisabled, port});
}

// Binding port 0 always succeeds (Windows picks a port), and the firewall has no rule for it: the
// checks of a real port tell nothing there.
void AppendPortHazards(std::uint16_t port, std::vector<Hazard>& hazards, std::optional<Hazard>& note) {
    if (port == 0) {
        hazards.push_back({HazardKind::PortZero, 0});
        return;
    }
    switch (PortBindCall()(port)) {
        case BindOutcome::InUse:
            if (std::optional<Hazard> inUse = InUseHazard(port)) hazards.push_back(std::move(*inUse));
            break;
        case BindOutcome::Forbidden:
            hazards.push_back({HazardKind::PortForbidden, port});
            break;
        case BindOutcome::Free:
        case BindOutcome::Unknown:
            break;
    }
    if (std::optional<Hazard> dynamic = DynamicRangeHazard(port)) hazards.push_back(std::move(*dynamic));
    AppendFirewallHazard(port, false, hazards, note);
}

// Group Policy's Network Level Authentication value, read like its deny flag.
std::optional<std::uint32_t> PolicyNlaFlag() {
    return settings::ReadPolicyValue(RealRegistry(), settings::kNlaValue).number;
}

}  // namespace

std::vector<Hazard> CheckPortChange(std::uint16_t newPort, std::optional<std::uint16_t> currentPort) {
    std::vector<Hazard> hazards;
    // The port Remote Desktop was given already: whatever holds it and however the firewall treats it,
    // the change does not make it worse.
    if (currentPort == newPort) return hazards;
    std::optional<Hazard> note;
    AppendPortHazards(newPort, hazards, note);
    AppendListenerHazards(newPort, hazards);
    AppendNote(note, hazards);
    return hazards;
}

std::vector<Hazard> CheckTurnOn(std::optional<std::uint16_t> currentPort) {
    std::vector<Hazard> hazards;
    // Only a flag of exactly 1 certainly refuses; any other value is left to Windows to interpret.
    if (PolicyDenyFlag() == 1u) hazards.push_back({HazardKind::PolicyDenies});
    std::optional<Hazard> note;
    if (currentPort) AppendFirewallHazard(*currentPort, true, hazards, note);
    AppendListenerHazards(currentPort.value_or(0), hazards);
    AppendNote(note, hazards);
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

namespace {

std::optional<std::vector<std::uint16_t>> ListeningPorts(std::optional<std::uint16_t> unnamedOwnerPort) {
    const std::optional<ServiceStatus> status = RemoteDesktopStatusCall()();
    // A service seen stopped listens nowhere: the tables (and the IP helper) need not be read at all.
    if (status && status->pid == 0) return std::nullopt;
    const std::optional<std::vector<TcpListener>> listeners = ListenersCall()();
    if (!listeners) return std::nullopt;
    const DWORD pid = status ? status->pid : 0;
    std::vector<std::uint16_t> ports;
    for (const TcpListener& listener : *listeners)
        if (IsRemoteDesktopsOwn(listener, pid) ||
            (unnamedOwnerPort == listener.port && listener.pid == 0 && listener.module.empty()))
            ports.push_back(listener.port);
    if (ports.empty()) return std::nullopt;
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

}  // namespace

std::optional<std::vector<std::uint16_t>> RemoteDesktopListeningPorts() { return ListeningPorts(std::nullopt); }

std::optional<std::vector<std::uint16_t>> RemoteDesktopListeningPortsExpecting(std::uint16_t expected) {
    return ListeningPorts(expected);
}

ServiceSummary RemoteDesktopServiceSummary() {
    ServiceSummary summary;
    summary.startType = RemoteDesktopStartTypeCall()();
    if (const std::optional<ServiceStatus> status = RemoteDesktopStatusCall()()) summary.state = status->state;
    summary.listenerEnabled = settings::ReadListenerEnabled(RealRegistry());
    return summary;
}

firewall::State ReadFirewallState() { return FirewallReadCall()(); }

FirewallSummary FirewallSummaryFor(std::optional<std::uint16_t> port) {
    const firewall::State state = FirewallReadCall()();
    FirewallSummary summary;
    if (!state.known) return summary;
    if (port) {
        summary.tcp = firewall::Assess(state, *port, firewall::kProtocolTcp);
        summary.udp = firewall::Assess(state, *port, firewall::kProtocolUdp);
    }
    summary.ownRules.emplace();
    for (const firewall::Rule& rule : state.rules)
        if (firewall::IsOwnRule(rule)) summary.ownRules->push_back(rule);
    summary.unreadableRules = state.unreadableRules;
    return summary;
}

}  // namespace guard
