// Opening a port in the Windows Firewall so that it certainly admits Remote Desktop, or leaving the
// firewall as it was. The rules to be written are first added to the state read, in memory, and judged
// there: when even then the port would not be open in every profile (block all inbound, a block rule,
// Group Policy that makes local rules ineffective, ...), nothing is written at all. After writing, the
// firewall is read again and judged afresh; only a port then seen open in all three profiles, over TCP
// and UDP, counts as opened.
//
// Windows re-checks live connections when the policy changes, so no rule that admits a port anyone may
// be connected on is ever taken away first: a hand-edited rule of the program's own is renamed, the new
// rule added, and the old one removed only once the port is seen open. Only the program's own rules for
// exactly that port are ever renamed or removed, and only when their name is unique.

#include "base/DecimalText.h"
#include "guard/Guard.h"
#include "guard/Hazard.h"
#include "guard/Probes.h"

namespace guard {
namespace {

using namespace firewall;

// A name no rule of the state has: the wanted one, or it with " (2)", " (3)", ... after it.
std::wstring FreeName(const State& state, const std::wstring& wanted) {
    if (RulesNamed(state, wanted) == 0) return wanted;
    for (int i = 2;; ++i) {
        std::wstring name = wanted + L" (" + base::DecimalText64(i) + L")";
        if (RulesNamed(state, name) == 0) return name;
    }
}

// One protocol's rule: what is written, and the hand-edited rule of the program's own it replaces.
struct Plan {
    Rule rule;
    std::wstring replaced;   // the program's own rule of that name, renamed aside first
    std::wstring temporary;  // its name while aside
    std::vector<std::wstring> legacy;  // the single rule of earlier versions for the port
};

Plan PlanRule(const State& before, std::uint16_t port, long protocol) {
    Plan plan;
    plan.rule = OwnRule(port, protocol);
    const std::wstring own = plan.rule.name;
    for (const Rule& rule : before.rules)
        if (protocol == kProtocolTcp && rule.name == LegacyOwnRuleName() && IsOwnRuleFor(rule, port) &&
            RulesNamed(before, rule.name) == 1)
            plan.legacy.push_back(rule.name);
    const Rule* holder = nullptr;
    for (const Rule& rule : before.rules)
        if (rule.name == own) holder = &rule;
    if (holder && RulesNamed(before, own) == 1 && IsOwnRuleFor(*holder, port) && holder->protocol == protocol) {
        plan.replaced = own;
        plan.temporary = FreeName(before, own + L" (替换前)");
    } else {
        // A rule of someone else's, or several, hold the name: they are left alone.
        plan.rule.name = FreeName(before, own);
    }
    return plan;
}

// The state as it would be once the plans are written.
State WithPlans(State state, const std::vector<Plan>& plans) {
    for (const Plan& plan : plans) {
        std::erase_if(state.rules, [&](const Rule& rule) {
            if (!plan.replaced.empty() && rule.name == plan.replaced) return true;
            for (const std::wstring& name : plan.legacy)
                if (rule.name == name) return true;
            return false;
        });
        state.rules.push_back(plan.rule);
    }
    return state;
}

FirewallOpening Failed(OpenFailure failure, long hresult = 0, ProfileFinding problem = {}) {
    FirewallOpening opening;
    opening.failure = failure;
    opening.hresult = hresult;
    opening.problem = std::move(problem);
    return opening;
}

// The first profile, over TCP then UDP, that is not open; with its protocol.
std::optional<FirewallOpening> NotOpen(const Assessment& tcp, const Assessment& udp, OpenFailure failure) {
    for (const Assessment* assessment : {&tcp, &udp}) {
        if (const ProfileFinding* problem = assessment->FirstProblem()) {
            FirewallOpening opening = Failed(failure, 0, *problem);
            opening.problemProtocol = assessment->protocol;
            return opening;
        }
    }
    return std::nullopt;
}

// What one opening has changed so far, to finish it or take it back.
struct Changes {
    std::vector<std::wstring> added;
    std::vector<std::pair<std::wstring, std::wstring>> renamed;  // (temporary name, original name)
    std::vector<std::wstring> legacy;                            // replaced, removed once admitted
};

// Renames, adds and reads back one rule; a failure when any step fails.
std::optional<FirewallOpening> Write(const Plan& plan, Changes& changes) {
    const FirewallStore& store = FirewallStoreCalls();
    if (!plan.replaced.empty()) {
        if (const long hr = store.Rename(plan.replaced, plan.temporary); hr < 0) return Failed(OpenFailure::WriteFailed, hr);
        changes.renamed.emplace_back(plan.temporary, plan.replaced);
    }
    if (const long hr = store.Add(plan.rule); hr < 0) return Failed(OpenFailure::WriteFailed, hr);
    changes.added.push_back(plan.rule.name);
    Rule readBack;
    if (const long hr = store.Read(plan.rule.name, readBack); hr < 0) return Failed(OpenFailure::WriteFailed, hr);
    if (!ReadsBackAsWritten(plan.rule, readBack)) return Failed(OpenFailure::ReadBackDiffers);
    changes.legacy.insert(changes.legacy.end(), plan.legacy.begin(), plan.legacy.end());
    return std::nullopt;
}

// The names among `names` that the firewall still holds (all of them when it cannot be read).
std::vector<std::wstring> StillThere(const std::vector<std::wstring>& names) {
    const State now = FirewallReadCall()();
    std::vector<std::wstring> left;
    for (const std::wstring& name : names)
        if (!now.known || RulesNamed(now, name) > 0) left.push_back(name);
    return left;
}

// Takes the added rules away and gives renamed ones their names back; what could not be is left.
std::vector<std::wstring> TakeBack(const Changes& changes) {
    const FirewallStore& store = FirewallStoreCalls();
    std::vector<std::wstring> check = changes.added;
    for (const std::wstring& name : changes.added) (void)store.Remove(name);
    for (const auto& [temporary, original] : changes.renamed) {
        (void)store.Rename(temporary, original);
        check.push_back(temporary);
    }
    return StillThere(check);
}

// Removes the rules the new ones replace; what could not be removed is left.
std::vector<std::wstring> Finish(const Changes& changes) {
    const FirewallStore& store = FirewallStoreCalls();
    std::vector<std::wstring> check = changes.legacy;
    for (const auto& [temporary, original] : changes.renamed) check.push_back(temporary);
    if (check.empty()) return {};
    for (const std::wstring& name : check) (void)store.Remove(name);
    return StillThere(check);
}

}  // namespace

FirewallOpening OpenFirewallPort(std::uint16_t port, bool whatIf) {
    // A rule for "port 0" would admit nothing and could only mislead.
    if (port == 0) return Failed(OpenFailure::PortZero);
    const State before = FirewallReadCall()();
    if (!before.known) return Failed(OpenFailure::Unreadable);
    const Assessment tcp = Assess(before, port, kProtocolTcp);
    const Assessment udp = Assess(before, port, kProtocolUdp);
    if (tcp.OpenEverywhere() && udp.OpenEverywhere()) {
        FirewallOpening opening;
        opening.admitted = opening.alreadyAdmitted = true;
        return opening;
    }
    std::vector<Plan> plans;
    for (const Assessment* assessment : {&tcp, &udp})
        if (!assessment->OpenEverywhere()) plans.push_back(PlanRule(before, port, assessment->protocol));
    const State planned = WithPlans(before, plans);
    if (std::optional<FirewallOpening> refused = NotOpen(Assess(planned, port, kProtocolTcp),
                                                         Assess(planned, port, kProtocolUdp), OpenFailure::Blocked))
        return *refused;
    if (whatIf) {
        FirewallOpening opening;
        for (const Plan& plan : plans) opening.added.push_back(plan.rule.name);
        return opening;
    }
    Changes changes;
    for (const Plan& plan : plans) {
        if (std::optional<FirewallOpening> failed = Write(plan, changes)) {
            failed->leftBehind = TakeBack(changes);
            return *failed;
        }
    }
    const State after = FirewallReadCall()();
    if (std::optional<FirewallOpening> failed =
            after.known ? NotOpen(Assess(after, port, kProtocolTcp), Assess(after, port, kProtocolUdp),
                                  OpenFailure::StillNotAdmitted)
                        : std::optional<FirewallOpening>(Failed(OpenFailure::Unreadable))) {
        failed->leftBehind = TakeBack(changes);
        return *failed;
    }
    FirewallOpening opening;
    opening.admitted = true;
    opening.added = changes.added;
    opening.leftBehind = Finish(changes);
    return opening;
}

}  // namespace guard
