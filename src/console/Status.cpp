#include "console/Commands.h"
#include "console/GuardCalls.h"
#include "console/LocalSettings.h"
#include "console/RevertSteps.h"
#include "revert/WatchProcess.h"

namespace console {
namespace {

void NoteFailure(StatusReport& report, long status) {
    if (!report.error && IsReadFailure(status)) {
        report.error = FailureOf(status);
        report.exitCode = kExitFailed;
    }
}

void ReadPolicy(StatusReport& report) {
    const settings::PolicyReading policy = settings::ReadPolicyValue(settings::kDenyValue);
    report.policySet = policy.Set();
    report.policyValue = policy.number;
    if (IsReadFailure(policy.status)) {
        report.policyError = FailureOf(policy.status);
        NoteFailure(report, policy.status);
    }
}

// Network Level Authentication: the local value and Group Policy's.
void ReadNla(StatusReport& report) {
    NlaStatus& nla = report.nla;
    const settings::TypedReading local = settings::ReadNlaFlag();
    nla.localStatus = local.status;
    nla.localValue = StoredDword(local);
    nla.localIsDword = nla.localValue.has_value();
    nla.policy = settings::ReadPolicyValue(settings::kNlaValue);
    if (IsReadFailure(local.status)) nla.localError = FailureOf(local.status);
    if (IsReadFailure(nla.policy.status)) nla.policyError = FailureOf(nla.policy.status);
    NoteFailure(report, local.status);
    NoteFailure(report, nla.policy.status);
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
    ReadPolicy(report);
    if (!report.policySet && !report.policyError) {
        report.effective = report.allowed;
    } else if (const std::optional<bool> denies = report.PolicyDenies()) {
        report.effective = !*denies;
    }

    ReadNla(report);

    report.listening = Guard().RemoteDesktopListeningPorts();
    report.service = Guard().RemoteDesktopServiceSummary();
    report.firewall = Guard().FirewallSummaryFor(report.ConfiguredPort());

    const PendingLookup pending = LookUpPendingRevert();
    report.pendingRevert = pending.plan;
    report.pendingRevertArmedAt = pending.armedAt;
    report.pendingRevertEffectiveAt = pending.effectiveAt;
    report.pendingRevertWatchRunning = pending.watchProcessId && revert::WatchRunningCall()(*pending.watchProcessId);
    if (FAILED(pending.status))
        report.pendingRevertError = Failure{static_cast<long>(pending.status), SystemErrorText(pending.status)};
    return report;
}

}  // namespace console
