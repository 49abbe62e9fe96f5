// set-port, enable, disable and nla share one order of steps:
//   1. read what is there; "already set" when the registry holds exactly what was asked for;
//   2. the guard's checks; a hazard refuses the change (exit 3) unless --force, but only when a write
//      would be made: a command that has nothing to write reports its hazards as warnings;
//   3. what the command must know may be done before anything is written: set-port --apply, the right
//      to stop and start the service and its running dependents; --revert-after, no revert pending yet;
//   4. under the machine-wide write lock, from here to the end: the values are read again, and when
//      another writer changed them since step 1 nothing is written (the checks were made on them);
//      set-port --revert-after arms its revert first, so nothing is changed that would not be put back;
//   5. --open-firewall: the firewall, so that when it cannot be changed nothing else is, and the
//      registry never points at a port the program failed to open;
//   6. --what-if stops here, having reported what would change;
//   7. the registry write (a revert armed for a write that wrote nothing is taken back);
//   8. set-port --apply: the restart of the Remote Desktop service, and a look at where it listens then.

#include <algorithm>
#include <functional>
#include <vector>

#include "base/DecimalText.h"
#include "console/Commands.h"
#include "console/GuardCalls.h"
#include "console/LocalSettings.h"
#include "console/PortSteps.h"
#include "console/RevertSteps.h"
#include "console/RevertTexts.h"
#include "console/Texts.h"
#include "settings/WriteLock.h"

namespace console {
namespace {

// A closed firewall is what --open-firewall is there to fix: for that port it is no reason to refuse.
// The note on other profiles only accompanies a hazard; opening the port writes for every profile.
bool Blocks(const guard::Hazard& hazard, const Options& options, std::optional<std::uint16_t> firewallPort) {
    if (hazard.kind == guard::HazardKind::FirewallOtherProfiles) return !options.openFirewall;
    return !(options.openFirewall && hazard.kind == guard::HazardKind::FirewallClosed && hazard.port == firewallPort);
}

bool Refuses(ChangeReport& report, std::optional<std::uint16_t> firewallPort) {
    if (report.alreadySet) return false;
    bool blocking = false;
    for (const guard::Hazard& hazard : report.hazards)
        blocking = blocking || Blocks(hazard, report.options, firewallPort);
    if (!blocking) return false;
    if (report.options.force) {
        report.forced = true;
        return false;
    }
    report.refused = true;
    report.exitCode = kExitRefused;
    return true;
}

// false when the firewall could not be made to admit the port (the report says why).
bool OpenFirewall(ChangeReport& report, std::optional<std::uint16_t> port) {
    if (!report.options.openFirewall) return true;
    if (!port) {
        Fail(report, {0, FirewallPortUnknownText()});
        return false;
    }
    report.firewall.port = *port;
    // --what-if asks the same question and meets the same refusals; only the writing is left out.
    const guard::FirewallOpening opening = Guard().OpenFirewallPort(*port, report.options.whatIf);
    if (report.options.whatIf && opening.failure == guard::OpenFailure::None) {
        report.firewall.step = opening.alreadyAdmitted ? FirewallStep::AlreadyAdmitted : FirewallStep::WouldAdd;
        report.firewall.rules = opening.added;
        report.changed = report.changed || !opening.alreadyAdmitted;
        return true;
    }
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

// What a command adds to the shared order of steps; only `write` is required.
struct Steps {
    std::function<std::optional<Failure>(bool& wroteSomething)> write;  // 7
    std::function<std::optional<Failure>()> check;                      // 3
    std::function<std::optional<Failure>()> arm;                        // 4
    std::function<void()> disarm;                                       // 4 undone
    std::function<void()> apply;                                        // 8
    // 4: whether the registry still holds what the checks were made on, read again under the lock
    std::function<bool()> stillAsRead;
    bool locksAnyway = false;  // the command writes under the lock even when the registry is set
};

// Another writer may have changed the values between the first reading and the lock: the checks
// were made on what is no longer there, so nothing is written.
Failure ChangedMeanwhile() { return {0, L"检查之后，设置已被另一个修改改变；未作任何修改，请重新运行。"}; }

void Carry(ChangeReport& report, std::optional<std::uint16_t> firewallPort, const Steps& steps) {
    if (Refuses(report, firewallPort)) return;
    if (steps.check) {
        if (std::optional<Failure> failure = steps.check()) return Fail(report, std::move(*failure));
    }
    // Every write below (firewall, registry, service) under the one lock both programs take.
    std::optional<settings::WriteLock> lock;
    if (!report.options.whatIf && (report.options.openFirewall || !report.alreadySet || steps.locksAnyway)) {
        lock.emplace(settings::WriteLock::Acquire());
        if (!lock->Held()) return Fail(report, LockFailure(*lock, L"；未作任何修改。"));
        if (steps.stillAsRead && !steps.stillAsRead()) return Fail(report, ChangedMeanwhile());
    }
    if (steps.arm) {
        if (std::optional<Failure> failure = steps.arm()) return Fail(report, std::move(*failure));
    }
    const auto disarm = [&steps] {
        if (steps.disarm) steps.disarm();
    };
    if (!OpenFirewall(report, firewallPort)) return disarm();
    if (report.options.whatIf) {
        report.changed = report.changed || !report.alreadySet;
        return;
    }
    if (!report.alreadySet) {
        bool wroteSomething = false;
        std::optional<Failure> failure = steps.write(wroteSomething);
        report.changed = report.changed || wroteSomething;
        if (!wroteSomething) disarm();
        if (failure) return Fail(report, std::move(*failure));
    }
    // The registry holds what was asked (written, or already there): the restart puts it into effect.
    if (steps.apply) steps.apply();
}

// What Carry wants to know of a command's single registry write, from its status.
std::optional<Failure> OneWrite(long status, bool& wroteSomething) {
    wroteSomething = status == ERROR_SUCCESS;
    if (wroteSomething) return std::nullopt;
    return FailureOf(status);
}

// Only one revert waits at a time: a second would put back a port that is no longer the one before.
std::optional<Failure> RevertPending() {
    const PendingLookup pending = LookUpPendingRevert();
    if (FAILED(pending.status))
        return Failure{static_cast<long>(pending.status),
                       L"无法向任务计划程序查询是否已有等待中的自动改回；未作任何修改。"};
    if (pending.plan) return Failure{0, RevertPendingText(*pending.plan)};
    return std::nullopt;
}

// set-port --revert-after: there must be an old port to go back to and no other revert waiting.
std::optional<Failure> CheckRevert(ChangeReport& report) {
    RevertArming& revert = report.revert;
    if (report.alreadySet || report.previousPort == report.port) {
        revert.notArmed = L"端口已是 " + base::DecimalText64(report.port) + L"，没有可改回的端口，未安排自动改回。";
        return std::nullopt;
    }
    if (!report.previousPort) return Failure{0, L"读不出现在的端口，无法安排改回；未作任何修改。"};
    if (std::optional<Failure> pending = RevertPending()) return pending;
    revert.plan = {*report.previousPort, static_cast<std::uint16_t>(report.port), *report.options.revertAfterSeconds,
                   report.options.apply};
    return std::nullopt;
}

std::optional<Failure> Arm(ChangeReport& report) {
    RevertArming& revert = report.revert;
    if (!revert.notArmed.empty()) return std::nullopt;
    if (!report.options.whatIf) {
        // Asked again under the lock: another set-port may have armed one since the check.
        if (std::optional<Failure> pending = RevertPending()) return pending;
        if (std::optional<Failure> failure = ArmRevert(revert.plan, revert.program)) return failure;
    }
    revert.armed = true;
    report.changed = true;
    return std::nullopt;
}

void Disarm(ChangeReport& report) {
    if (!report.revert.armed || report.options.whatIf) return;
    if (!DropRevert()) {
        report.revert.armed = false;
        report.revert.disarmed = true;
    }
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
    std::vector<PortKeyWrite> writes = {{first.key, first.port == port}, {second.key, second.port == port}};
    report.alreadySet = writes[0].heldAlready && writes[1].heldAlready;
    report.revert.asked = options.revertAfterSeconds.has_value();
    const auto newPort = static_cast<std::uint16_t>(port);
    report.hazards = Guard().CheckPortChange(newPort, report.previousPort);

    guard::RestartPlan plan;
    Steps steps;
    steps.write = [port, &writes](bool& wrote) { return WritePortKeys(port, writes, wrote); };
    steps.stillAsRead = [&first, &second] {
        return ReadPortKey(first.key).port == first.port && ReadPortKey(second.key).port == second.port;
    };
    steps.check = [&report, &plan]() -> std::optional<Failure> {
        if (report.options.apply) {
            if (std::optional<Failure> failure = PlanRestart(plan)) return failure;
        }
        return report.revert.asked ? CheckRevert(report) : std::nullopt;
    };
    if (report.revert.asked) {
        steps.arm = [&report] { return Arm(report); };
        steps.disarm = [&report] { Disarm(report); };
    }
    if (options.apply) {
        steps.locksAnyway = true;
        steps.apply = [&report, &plan, newPort] {
            if (std::optional<Failure> failure = RestartOnto(newPort, plan, report.apply))
                Fail(report, std::move(*failure));
        };
    }
    Carry(report, newPort, steps);
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
    Steps steps;
    steps.write = [allow](bool& wrote) { return OneWrite(settings::WriteDenyFlag(!allow), wrote); };
    steps.stillAsRead = [&flag, &report] {
        return ReadLocalDenyFlag().Number() == flag.Number() &&
               ReadPortKey(settings::PortKey::RdpTcp).port == report.previousPort;
    };
    Carry(report, report.previousPort, steps);
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
    Steps steps;
    steps.write = [require](bool& wrote) { return OneWrite(settings::WriteNlaFlag(require), wrote); };
    steps.stillAsRead = [before] { return StoredDword(settings::ReadNlaFlag()) == before; };
    Carry(report, std::nullopt, steps);
    return report;
}

}  // namespace console
