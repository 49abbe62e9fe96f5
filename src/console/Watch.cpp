// watch: the revert task's action, started by the Task Scheduler when the task is registered (before
// anything is changed), at every start of the computer, and every 5 minutes while none runs.
//   - It reports in (its process and start in the record), so arming can see it run.
//   - Its period counts from when the new port takes effect: when it first sees Remote Desktop listen
//     on the new port (or, where the listener tables cannot be read, from the write with --apply and
//     from the next start of the computer without). That moment is kept in the record, so a watch
//     started again goes on with the same countdown; a start of the computer after it starts a new one.
//   - Only the administrator's arrival confirms: an active Remote Desktop session through RDP-Tcp from
//     another machine, connected after the port took effect (or `confirm`, which takes the task away).
//   - Once due, it reverts until done: a revert that fails is tried again every 30 seconds.

#include <algorithm>

#include "console/Commands.h"
#include "console/GuardCalls.h"
#include "console/LocalSettings.h"
#include "console/PortSteps.h"
#include "console/RevertSteps.h"
#include "console/RevertTexts.h"
#include "console/Texts.h"
#include "revert/RevertRecord.h"
#include "revert/Sessions.h"
#include "revert/EventLog.h"
#include "revert/WatchClock.h"
#include "settings/WriteLock.h"

namespace console {
namespace {

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

// Whether Remote Desktop listens on the port (an unnamed listener there counting as its own); nothing
// when the listener tables do not tell.
std::optional<bool> ListensOn(std::uint16_t port) {
    const std::optional<std::vector<std::uint16_t>> listening = Guard().ListeningPortsExpecting(port);
    if (!listening) return std::nullopt;
    return std::find(listening->begin(), listening->end(), port) != listening->end();
}

// Remote Desktop is put on the old port whenever it is seen on the new one, whatever --apply said (a
// change made without it took effect at a restart), and started when it is found stopped.
void PutServiceBack(WatchReport& report) {
    const revert::PendingRevert& plan = report.plan;
    const bool onNewPort = ListensOn(plan.to).value_or(false);
    const bool stopped = Guard().RemoteDesktopServiceSummary().state == static_cast<DWORD>(SERVICE_STOPPED);
    if (!onNewPort && !stopped && !plan.apply) return;
    guard::RestartPlan restart;
    if (std::optional<Failure> cannot = PlanRestart(restart)) return FailRevert(report, std::move(*cannot));
    if (std::optional<Failure> failure = RestartOnto(plan.from, restart, report.apply))
        FailRevert(report, std::move(*failure));
}

// Where the record stands, and what this watch adds to it.
struct Countdown {
    std::optional<revert::RevertRecord> record;  // nothing when there is none for this revert
    std::optional<ULONGLONG> effectiveAt;        // UTC, once the new port took effect
    bool carriedOver = false;                    // effectiveAt is a watch before this one's
    bool sawNewPort = false;                     // the registry held the new port once
};

// One attempt at the revert, under the lock: nothing when the task went meanwhile (confirm won), or
// the port was changed again since the watch saw the new one. The old port found already written
// means an earlier attempt began it (and failed, or was cut off): that is finished, not superseded.
// False when it is not for now: the registry never held the new port while this watch looked (the
// change is not written yet).
bool Revert(WatchReport& report, Countdown& countdown) {
    const revert::PendingRevert& plan = report.plan;
    const settings::WriteLock lock = settings::WriteLock::Acquire();
    if (!lock.Held()) {
        FailRevert(report, LockFailure(lock, L"；没有改回。"));
        return true;
    }
    if (NoLongerPending(plan)) {
        report.outcome = WatchOutcome::Cancelled;
        return true;
    }
    const PortKeyState first = ReadPortKey(settings::PortKey::RdpTcp);
    const bool begun = countdown.record && countdown.record->reverting;
    if (first.port != plan.to && first.port != plan.from && !begun) {
        if (!countdown.sawNewPort) return false;
        report.outcome = WatchOutcome::Superseded;
        if (std::optional<Failure> failure = DropRevert()) FailRevert(report, std::move(*failure));
        return true;
    }
    if (first.port == plan.from && !countdown.sawNewPort && !begun) return false;  // not changed yet
    // From here on the revert is under way: a watch after this one finishes it.
    if (countdown.record && !countdown.record->reverting) {
        countdown.record->reverting = true;
        (void)revert::RecordStoreCalls().Write(*countdown.record);
    }
    const PortKeyState second = ReadPortKey(settings::PortKey::RdpwdTcp);
    report.writes = {{first.key, first.port == plan.from}, {second.key, second.port == plan.from}};
    bool wrote = false;
    if (std::optional<Failure> failure = WritePortKeys(plan.from, report.writes, wrote)) {
        FailRevert(report, std::move(*failure));
        return true;
    }
    AdmitOldPort(report);
    PutServiceBack(report);
    if (report.error) return true;
    report.outcome = WatchOutcome::Reverted;
    if (std::optional<Failure> failure = DropRevert()) FailRevert(report, std::move(*failure));
    return true;
}

// Confirmed: the task goes, and with it the revert.
void Confirm(WatchReport& report, const revert::Session& session) {
    report.outcome = WatchOutcome::Confirmed;
    report.confirmedBy = session;
    if (std::optional<Failure> failure = DropRevert()) Fail(report, std::move(*failure));
}


// Reports in, and takes over the countdown a watch before it began, unless the computer started since.
Countdown ReportIn(const revert::PendingRevert& plan, ULONGLONG startedAt) {
    Countdown countdown;
    revert::RevertRecord record;
    if (revert::RecordStoreCalls().Read(record) != ERROR_SUCCESS || record.plan != plan) return countdown;
    record.watchProcessId = GetCurrentProcessId();
    record.watchStartedAt = startedAt;
    if (record.effectiveAt && *record.effectiveAt < base::ClockCalls().BootedAt()) record.effectiveAt.reset();
    (void)revert::RecordStoreCalls().Write(record);
    countdown.effectiveAt = record.effectiveAt;
    countdown.carriedOver = record.effectiveAt.has_value();
    countdown.record = record;
    return countdown;
}

ULONGLONG ArmedAtUtc(const std::wstring& text) {
    SYSTEMTIME t = {};
    if (text.size() < 19) return 0;
    const auto number = [&](size_t at, size_t length) {
        WORD value = 0;
        for (size_t i = at; i < at + length; ++i) value = static_cast<WORD>(value * 10 + (text[i] - L'0'));
        return value;
    };
    t.wYear = number(0, 4), t.wMonth = number(5, 2), t.wDay = number(8, 2);
    t.wHour = number(11, 2), t.wMinute = number(14, 2), t.wSecond = number(17, 2);
    FILETIME time = {};
    if (!SystemTimeToFileTime(&t, &time)) return 0;
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether the new port is in effect now: Remote Desktop listens on it. Where that cannot be seen,
// from the write with --apply, and from the first start of the computer after it without.
bool InEffect(const revert::PendingRevert& plan, const Countdown& countdown) {
    if (const std::optional<bool> listens = ListensOn(plan.to)) return *listens;
    if (!countdown.sawNewPort) return false;
    if (plan.apply) return true;
    return countdown.record && base::ClockCalls().BootedAt() > ArmedAtUtc(countdown.record->armedAt);
}

// A logon confirms only while the new port is what Remote Desktop uses: in the registry and, where the
// listener tables tell, in the listener. A session that came in on the old port proves nothing.
bool NewPortInForce(const revert::PendingRevert& plan) {
    return ReadPortKey(settings::PortKey::RdpTcp).port == plan.to && ListensOn(plan.to).value_or(true);
}

void KeepEffectiveAt(Countdown& countdown, ULONGLONG effectiveAt) {
    countdown.effectiveAt = effectiveAt;
    if (!countdown.record) return;
    countdown.record->effectiveAt = effectiveAt;
    (void)revert::RecordStoreCalls().Write(*countdown.record);
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
    const revert::PendingRevert& plan = report.plan;
    const base::Clock& clock = base::ClockCalls();
    const ULONGLONG start = clock.NowMs();
    Countdown countdown = ReportIn(plan, clock.UtcNow());
    revert::EventLogCall()(revert::RevertEvent::WatchStarted, WatchStartedText(plan, countdown.effectiveAt));
    std::optional<Failure> firstFailure;
    for (;;) {
        countdown.sawNewPort = countdown.sawNewPort || ReadPortKey(settings::PortKey::RdpTcp).port == plan.to;
        if (!countdown.effectiveAt && InEffect(plan, countdown)) KeepEffectiveAt(countdown, clock.UtcNow());
        // In effect, the registry held the new port when the service last started.
        countdown.sawNewPort = countdown.sawNewPort || countdown.effectiveAt.has_value();
        const bool reverting = countdown.record && countdown.record->reverting;
        if (countdown.effectiveAt && !reverting && NewPortInForce(plan)) {
            if (const std::optional<revert::Session> session = revert::ConfirmingSession(*countdown.effectiveAt)) {
                Confirm(report, *session);
                break;
            }
        }
        if (NoLongerPending(plan)) {
            report.outcome = WatchOutcome::Cancelled;
            break;
        }
        DWORD pause = revert::kWatchIntervalMs;
        if (countdown.effectiveAt || reverting) {
            const ULONGLONG deadline = revert::DueAt(plan, countdown.effectiveAt.value_or(0));
            const ULONGLONG now = clock.UtcNow();
            const ULONGLONG leftMs = now >= deadline ? 0 : (deadline - now) / revert::kFileTimePerMs;
            // A countdown taken over from the record could end at once if the wall clock jumped.
            const ULONGLONG ranMs = clock.NowMs() - start;
            const ULONGLONG leastMs =
                countdown.carriedOver && ranMs < revert::kLeastWatchMs ? revert::kLeastWatchMs - ranMs : 0;
            // A revert already begun is finished at once, whatever the countdown says.
            const ULONGLONG waitMs = reverting ? 0 : std::max(leftMs, leastMs);
            if (waitMs == 0) {
                report.error.reset();
                report.exitCode = kExitDone;
                report.outcome = WatchOutcome::Failed;
                if (!Revert(report, countdown)) {
                    clock.Pause(revert::kWatchIntervalMs);
                    continue;
                }
                if (report.outcome != WatchOutcome::Failed) break;
                // Due and not done: the first failure is logged, then it is tried again.
                if (!firstFailure) {
                    firstFailure = report.error;
                    revert::EventLogCall()(revert::RevertEvent::RevertFailed, WatchOutcomeText(report));
                }
                clock.Pause(revert::kRevertRetryMs);
                continue;
            }
            pause = static_cast<DWORD>(std::min<ULONGLONG>(pause, waitMs));
        }
        clock.Pause(pause);
    }
    report.waitedSeconds = static_cast<double>(clock.NowMs() - start) / 1000.0;
    Log(report);
    return report;
}

}  // namespace console
