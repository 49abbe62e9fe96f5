#include "console/Commands.h"
#include "console/GuardCalls.h"
#include "console/LocalSettings.h"

namespace console {
namespace {

void NoteFailure(StatusReport& report, long status) {
    if (!report.error && IsReadFailure(status)) {
        report.error = FailureOf(status);
        report.exitCode = kExitFailed;
    }
}

}  // namespace

StatusReport RunStatus() {
    StatusReport report;
    report.keys[0] = ReadPortKey(settings::PortKey::RdpTcp);
    report.keys[1] = ReadPortKey(settings::PortKey::RdpwdTcp);
    NoteFailure(report, report.keys[0].status);
    NoteFailure(report, report.keys[1].status);

    const settings::TypedReading deny = ReadLocalDenyFlag();
    if (deny.Ok()) {
        report.allowed = AllowedBy(deny);
    } else {
        report.allowedError = FailureOf(deny.status);
        NoteFailure(report, deny.status);
    }
    report.policyValue = settings::ReadPolicyDenyFlag();
    if (!report.policyValue) {
        report.effective = report.allowed;
    } else if (const std::optional<bool> denies = report.PolicyDenies()) {
        report.effective = !*denies;
    }

    report.listening = Guard().RemoteDesktopListeningPorts();
    report.service = Guard().RemoteDesktopServiceSummary();
    const guard::FirewallSummary firewall = Guard().FirewallSummaryFor(report.ConfiguredPort());
    report.firewall = firewall.tcp;
    report.firewallUdp = firewall.udp;
    report.firewallRules = firewall.ownRules;
    report.unreadableFirewallRules = firewall.unreadableRules;
    return report;
}

}  // namespace console
