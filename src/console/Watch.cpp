// watch: the revert task's action. Every few seconds it looks for a connection to the new port from
// another machine, which proves the port can be reached and confirms the change; it ends when the task
// is gone (confirm ran); and when the time has passed, it puts the old port back. The time counts
// from the watch's own start, so after a restart of the computer the task's boot trigger starts a new
// full period.

#include <algorithm>

#include "console/Commands.h"
#include "console/GuardCalls.h"
#include "console/LocalSettings.h"
#include "console/PortSteps.h"
#include "console/RevertSteps.h"
#include "console/RevertTexts.h"
#include "console/Texts.h"
#include "revert/Connections.h"
#include "revert/EventLog.h"
#include "revert/WatchClock.h"
#include "settings/WriteLock.h"

namespace console {
namespace {

// The first connection to the port from another machine; one the server made to itself proves nothing.
std::optional<revert::Peer> OutsidePeer(std::uint16_t port) {
    const std::optional<std::vector<revert::Peer>> peers = revert::EstablishedPeersCall()(port);
    if (!peers) return std::nullopt;
    for (const revert::Peer& peer : *peers)
        if (!revert::IsLoopback(peer)) return peer;
    return std::nullopt;
}

// The task is gone, or stands for another revert now. A Task Scheduler that cannot be asked is no
// reason to stop waiting.
bool NoLongerPending(const revert::PendingRevert& plan) {
    const PendingLookup lookup = LookUpPendingRevert();
    if (FAILED(lookup.status)) return false;
    if (!lookup.plan) return true;
    return *lookup.plan != revert::PendingRevert{} && *lookup.plan != plan;
}

// The first reason stands: a revert that failed on the way goes on with what it still can.
void FailRevert(WatchReport& report, Failure failure) {
    if (!report.error) Fail(report, std::move(failure));
    report.outcome = WatchOutcome::Failed;
}

// The old port's rule was kept when the port changed; it is opened again only if the firewall now
// refuses the port (someone took it away meanwhile). A firewall that cannot be read is left as it is.
void AdmitOldPort(WatchReport& report) {
    const std::uint16_t port = report.plan.from;
    report.firewall.port = port;
    const guard::FirewallSummary now = Guard().FirewallSummaryFor(port);
    if (now.tcp.Summary() == guard::FirewallVerdict::Admits) {
        report.firewall.step = FirewallStep::AlreadyAdmitted;
        return;
    }
    if (now.tcp.Summary() == guard::FirewallVerdict::Unknown) {
        report.firewall.step = FirewallStep::Unreadable;
        return;
    }
    const guard::FirewallOpening opening = Guard().OpenFirewallPort(port, false);
    report.firewall.rules = opening.added;
    report.firewall.step = opening.admitted ? FirewallStep::Added : FirewallStep::Failed;
    if (!opening.admitted) FailRevert(report, {opening.hresult, FirewallFailureText(port, opening)});
}

void Revert(WatchReport& report) {
    const revert::PendingRevert& plan = report.plan;
    const settings::WriteLock lock = settings::WriteLock::Acquire();
    if (!lock.Held()) return FailRevert(report, LockFailure(lock, L"；没有改回。"));
    const PortKeyState first = ReadPortKey(settings::PortKey::RdpTcp);
    if (first.port != plan.to) {
        report.outcome = WatchOutcome::Superseded;
        if (std::optional<Failure> failure = DropRevert()) FailRevert(report, std::move(*failure));
        return;
    }
    const PortKeyState second = ReadPortKey(settings::PortKey::RdpwdTcp);
    report.writes = {{first.key, first.port == plan.from}, {second.key, second.port == plan.from}};
    // What the restart needs is asked first, but the registry is put back whatever the answer: it is
    // what the next start of the service reads.
    guard::RestartPlan restart;
    std::optional<Failure> cannotRestart = plan.apply ? PlanRestart(restart) : std::nullopt;
    bool wrote = false;
    if (std::optional<Failure> failure = WritePortKeys(plan.from, report.writes, wrote)) {
        return FailRevert(report, std::move(*failure));
    }
    AdmitOldPort(report);
    if (cannotRestart) return FailRevert(report, std::move(*cannotRestart));
    if (plan.apply) {
        if (std::optional<Failure> failure = RestartOnto(plan.from, restart, report.apply))
            return FailRevert(report, std::move(*failure));
    }
    if (report.error) return;
    report.outcome = WatchOutcome::Reverted;
    if (std::optional<Failure> failure = DropRevert()) FailRevert(report, std::move(*failure));
}

// Confirmed: the task goes, and with it the revert.
void Confirm(WatchReport& report, const revert::Peer& peer) {
    report.outcome = WatchOutcome::Confirmed;
    report.confirmedBy = peer.Text();
    if (std::optional<Failure> failure = DropRevert()) Fail(report, std::move(*failure));
}

void Log(const WatchReport& report) {
    const revert::RevertEvent event = [&] {
        switch (report.outcome) {
            case WatchOutcome::Confirmed:
                return revert::RevertEvent::Confirmed;
            case WatchOutcome::Cancelled:
                return revert::RevertEvent::Cancelled;
            case WatchOutcome::Reverted:
                return revert::RevertEvent::Reverted;
            case WatchOutcome::Superseded:
                return revert::RevertEvent::Superseded;
            case WatchOutcome::Failed:
                break;
        }
        return revert::RevertEvent::RevertFailed;
    }();
    revert::EventLogCall()(event, WatchOutcomeText(report));
}

}  // namespace

WatchReport RunWatch(const Options& options) {
    WatchReport report;
    report.options = options;
    report.plan = {static_cast<std::uint16_t>(*options.from), static_cast<std::uint16_t>(*options.to),
                   *options.revertAfterSeconds, options.apply};
    const revert::WatchClock& clock = revert::WatchClockCalls();
    const ULONGLONG start = clock.NowMs();
    const ULONGLONG deadline = start + report.plan.seconds * 1000ULL;
    for (;;) {
        if (const std::optional<revert::Peer> peer = OutsidePeer(report.plan.to)) {
            Confirm(report, *peer);
            break;
        }
        if (NoLongerPending(report.plan)) {
            report.outcome = WatchOutcome::Cancelled;
            break;
        }
        const ULONGLONG now = clock.NowMs();
        if (now >= deadline) {
            Revert(report);
            break;
        }
        clock.Pause(static_cast<DWORD>(std::min<ULONGLONG>(revert::kWatchIntervalMs, deadline - now)));
    }
    report.waitedSeconds = static_cast<double>(clock.NowMs() - start) / 1000.0;
    Log(report);
    return report;
}

}  // namespace console
