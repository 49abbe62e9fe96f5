// set-port, enable, disable and nla share one order of steps:
//   1. read what is there; "already set" when the registry holds exactly what was asked for;
//   2. the guard's checks; a hazard refuses the change (exit 3) unless --force, but only when a write
//      would be made: a command that has nothing to write reports its hazards as warnings;
//   3. under the machine-wide write lock, --open-firewall: the firewall first, so that when it cannot be
//      changed nothing else is, and the registry never points at a port the program failed to open;
//   4. --what-if stops here, having reported what would change;
//   5. the registry write;
//   6. set-port --apply: the restart of the Remote Desktop service, and a look at where it listens then.
// What --apply needs (the right to stop and start the service and its running dependents) is checked
// between 2 and 3, so that a restart that could not be made leaves nothing written.

#include <algorithm>
#include <functional>
#include <vector>

#include "console/Commands.h"
#include "console/GuardCalls.h"
#include "console/LocalSettings.h"
#include "console/Texts.h"
#include "settings/WriteLock.h"

namespace console {
namespace {

// A closed firewall is what --open-firewall is there to fix: for that port it is no reason to refuse.
bool Blocks(const guard::Hazard& hazard, const Options& options, std::optional<std::uint16_t> firewallPort) {
    return !(options.openFirewall && hazard.kind == guard::HazardKind::FirewallClosed && hazard.port == firewallPort);
}

bool Refuses(ChangeReport& report, std::optional<std::uint16_t> firewallPort) {
    if (report.alreadySet) return false;
    bool blocking = false;
    for (const guard::Hazard& hazard : report.hazards) blocking = blocking || Blocks(hazard, report.options, firewallPort);
    if (!blocking) return false;
    if (report.options.force) {
        report.forced = true;
        return false;
    }
    report.refused = true;
    report.exitCode = kExitRefused;
    return true;
}

void Fail(ChangeReport& report, Failure failure) {
    report.error = std::move(failure);
    report.exitCode = kExitFailed;
}

// false when the firewall could not be made to admit the port (the report says why).
bool OpenFirewall(ChangeReport& report, std::optional<std::uint16_t> port) {
    if (!report.options.openFirewall) return true;
    if (!port) {
        Fail(report, {0, FirewallPortUnknownText()});
        return false;
    }
    report.firewall.port = *port;
    if (report.options.whatIf) {
        const guard::FirewallSummary now = Guard().FirewallSummaryFor(*port);
        const bool admitted = now.tcp == guard::FirewallVerdict::Admits && now.udp == guard::FirewallVerdict::Admits;
        report.firewall.step = admitted ? FirewallStep::AlreadyAdmitted : FirewallStep::WouldAdd;
        report.changed = report.changed || !admitted;
        return true;
    }
    const guard::FirewallOpening opening = Guard().OpenFirewallPort(*port);
    if (!opening.admitted) {
        report.firewall.step = FirewallStep::Failed;
        Fail(report, {opening.hresult, FirewallFailureText(*port, opening)});
        return false;
    }
    report.firewall.step = opening.alreadyAdmitted ? FirewallStep::AlreadyAdmitted : FirewallStep::Added;
    report.firewall.rules = opening.added;
    report.changed = report.changed || !opening.added.empty();
    return true;
}

// Steps 2 to 5; `write` makes the registry write and says whether anything was written.
void Carry(ChangeReport& report, std::optional<std::uint16_t> firewallPort,
           const std::function<std::optional<Failure>(bool& wroteSomething)>& write,
           const std::function<bool()>& mayGoOn = nullptr) {
    if (Refuses(report, firewallPort)) return;
    if (mayGoOn && !mayGoOn()) return;
    // Every write below (firewall and registry) under the one lock both programs take.
    std::optional<settings::WriteLock> lock;
    if (!report.options.whatIf && (report.options.openFirewall || !report.alreadySet)) {
        lock.emplace(settings::WriteLock::Acquire());
        if (!lock->Held()) {
            const long code = lock->Error() == WAIT_TIMEOUT ? 0 : static_cast<long>(lock->Error());
            Fail(report, {code, lock->FailureText() + L"；未作任何修改。"});
            return;
        }
    }
    if (!OpenFirewall(report, firewallPort)) return;
    if (report.options.whatIf) {
        report.changed = report.changed || !report.alreadySet;
        return;
    }
    if (report.alreadySet) return;
    bool wroteSomething = false;
    std::optional<Failure> failure = write(wroteSomething);
    report.changed = report.changed || wroteSomething;
    if (failure) Fail(report, std::move(*failure));
}

// What Carry wants to know of a command's single registry write, from its status.
std::optional<Failure> OneWrite(long status, bool& wroteSomething) {
    wroteSomething = status == ERROR_SUCCESS;
    if (wroteSomething) return std::nullopt;
    return FailureOf(status);
}

// Writes the port at the keys that do not hold it yet; each key is tried whatever the other's result.
std::optional<Failure> WritePortKeys(std::int32_t port, std::vector<PortKeyWrite> writes, bool& wroteSomething) {
    long firstFailure = ERROR_SUCCESS;
    for (PortKeyWrite& write : writes) {
        if (write.heldAlready) continue;
        write.status = settings::WritePortAt(write.key, port);
        wroteSomething = wroteSomething || write.status == ERROR_SUCCESS;
        if (firstFailure == ERROR_SUCCESS) firstFailure = write.status;
    }
    if (firstFailure == ERROR_SUCCESS) return std::nullopt;
    return Failure{firstFailure, PortWriteFailureText(port, writes)};
}

// Step 6. Only a service seen listening on the port counts as applied: a restart alone proves nothing.
void Apply(ChangeReport& report, const guard::RestartPlan& plan, std::uint16_t port) {
    report.apply.restartTried = true;
    const guard::RestartOutcome outcome = Guard().Restart(plan);
    report.apply.restarted = outcome.restarted;
    report.apply.restartSeconds = outcome.seconds;
    if (!outcome.restarted) {
        Fail(report, {static_cast<long>(outcome.error), RestartFailureText(port, outcome)});
        return;
    }
    report.apply.listeningAfter = Guard().AwaitListening(port);
    const auto& seen = report.apply.listeningAfter;
    report.apply.applied = seen && std::find(seen->begin(), seen->end(), port) != seen->end();
    if (!report.apply.applied) Fail(report, {0, NotListeningText(port, seen)});
}

}  // namespace

ChangeReport RunSetPort(std::int32_t port, const Options& options) {
    ChangeReport report;
    report.command = Command::SetPort;
    report.options = options;
    report.port = port;
    const PortKeyState first = ReadPortKey(settings::PortKey::RdpTcp);
    const PortKeyState second = ReadPortKey(settings::PortKey::RdpwdTcp);
    report.previousPort = first.port;
    const std::vector<PortKeyWrite> writes = {{first.key, first.port == port}, {second.key, second.port == port}};
    report.alreadySet = writes[0].heldAlready && writes[1].heldAlready;
    const auto newPort = static_cast<std::uint16_t>(port);
    report.hazards = Guard().CheckPortChange(newPort, report.previousPort);
    guard::RestartPlan plan;
    const auto mayRestart = [&report, &plan] {
        plan = Guard().PrepareRestart();
        if (plan.error == 0) return true;
        Fail(report, {static_cast<long>(plan.error), RestartRefusedText(plan)});
        return false;
    };
    Carry(report, newPort, [port, &writes](bool& wrote) { return WritePortKeys(port, writes, wrote); },
          options.apply ? std::function<bool()>(mayRestart) : nullptr);
    // The registry holds the port now (written, or already there): the restart puts it into effect.
    if (options.apply && !options.whatIf && !report.refused && !report.error) Apply(report, plan, newPort);
    return report;
}

ChangeReport RunSwitch(bool allow, const Options& options) {
    ChangeReport report;
    report.command = allow ? Command::Enable : Command::Disable;
    report.options = options;
    const settings::TypedReading flag = ReadLocalDenyFlag();
    if (flag.Ok()) report.previousAllowed = AllowedBy(flag);
    report.alreadySet = flag.Number() == (allow ? 0 : 1);
    report.previousPort = ReadPortKey(settings::PortKey::RdpTcp).port;
    report.hazards = allow ? Guard().CheckTurnOn(report.previousPort) : Guard().CheckTurnOff();
    Carry(report, report.previousPort,
          [allow](bool& wrote) { return OneWrite(settings::WriteDenyFlag(!allow), wrote); });
    return report;
}

ChangeReport RunNla(bool require, const Options& options) {
    ChangeReport report;
    report.command = Command::Nla;
    report.options = options;
    report.required = require;
    const std::optional<std::uint32_t> before = StoredDword(settings::ReadNlaFlag());
    report.previousRequired = NlaStatus::RequiredBy(before);
    report.alreadySet = before == (require ? 1u : 0u);
    report.hazards = Guard().CheckNlaChange(require);
    Carry(report, std::nullopt, [require](bool& wrote) { return OneWrite(settings::WriteNlaFlag(require), wrote); });
    return report;
}

}  // namespace console
