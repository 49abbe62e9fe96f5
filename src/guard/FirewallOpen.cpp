// Opening a port in the Windows Firewall so that it certainly admits Remote Desktop, or leaving the
// firewall as it was. An allow rule loses to "block all inbound", to a block rule on the port and to a
// Group Policy that makes local rules ineffective (INetFwPolicy2::get_LocalPolicyModifyState; MS-FASP
// 2.2.34 rule precedence): those are refused before anything is written. After writing, the firewall is
// read again and judged afresh; only a port then seen admitted counts as opened.
//
// Windows re-checks live connections when the policy changes, so no rule that admits a port anyone may
// be connected on is ever taken away first: a hand-edited rule of the program's own is renamed, the new
// rule added, and the old one removed only once the port is seen admitted.

#include "base/DecimalText.h"
#include "guard/Guard.h"
#include "guard/Hazard.h"
#include "guard/Probes.h"

namespace guard {
namespace {

using namespace firewall;

constexpr long kProtocols[] = {kProtocolTcp, kProtocolUdp};

// What one opening has changed so far, to finish it or take it back.
struct Changes {
    std::vector<std::wstring> added;
    std::vector<std::pair<std::wstring, std::wstring>> renamed;  // (temporary name, original name)
    std::vector<std::wstring> legacy;                            // replaced, removed once admitted

    void Finish(const FirewallStore& store) const {
        for (const auto& [temporary, original] : renamed) (void)store.Remove(temporary);
        for (const std::wstring& name : legacy) (void)store.Remove(name);
    }
    void TakeBack(const FirewallStore& store) const {
        for (const std::wstring& name : added) (void)store.Remove(name);
        for (const auto& [temporary, original] : renamed) (void)store.Rename(temporary, original);
    }
};

bool IsLegacyRuleOf(const Rule& rule, std::uint16_t port, long protocol) {
    return protocol == kProtocolTcp && rule.name == LegacyOwnRuleName() && OwnRulePort(rule) == port;
}

FirewallOpening Failed(OpenFailure failure, long hresult = 0, ProfileFinding problem = {}) {
    FirewallOpening opening;
    opening.failure = failure;
    opening.hresult = hresult;
    opening.problem = std::move(problem);
    return opening;
}

// Nothing is written when a local allow rule cannot win, whatever it says.
std::optional<FirewallOpening> RefusalBeforeWriting(const State& before, std::uint16_t port) {
    if (!before.known) return Failed(OpenFailure::Unreadable);
    if (before.modifyState == ModifyState::InboundBlocked)
        return Failed(OpenFailure::Blocked, 0, {0, FirewallVerdict::Closed, Reason::BlockAllInbound, {}});
    if (!LocalRulesTakeEffect(before)) return Failed(OpenFailure::PolicyGoverns);
    const Assessment tcp = Assess(before, port, kProtocolTcp);
    const ProfileFinding* problem = tcp.FirstProblem();
    if (problem && (problem->reason == Reason::BlockAllInbound || problem->reason == Reason::BlockRule))
        return Failed(OpenFailure::Blocked, 0, *problem);
    return std::nullopt;
}

// Makes the own rule for the port and protocol be as written; a failure when it cannot.
std::optional<FirewallOpening> WriteRule(const State& before, std::uint16_t port, long protocol, Changes& changes) {
    const FirewallStore& store = FirewallStoreCalls();
    const Rule wanted = OwnRule(port, protocol);
    std::vector<const Rule*> sameName;
    for (const Rule& rule : before.rules) {
        if (rule.name == wanted.name) sameName.push_back(&rule);
        if (IsLegacyRuleOf(rule, port, protocol)) changes.legacy.push_back(rule.name);
    }
    if (sameName.size() == 1 && ReadsBackAsWritten(wanted, *sameName.front())) return std::nullopt;
    for (size_t i = 0; i < sameName.size(); ++i) {
        const std::wstring temporary = wanted.name + L" (替换前 " + base::DecimalText64(static_cast<std::int64_t>(i + 1)) + L")";
        if (const long hr = store.Rename(wanted.name, temporary); hr < 0) return Failed(OpenFailure::WriteFailed, hr);
        changes.renamed.emplace_back(temporary, wanted.name);
    }
    if (const long hr = store.Add(wanted); hr < 0) return Failed(OpenFailure::WriteFailed, hr);
    changes.added.push_back(wanted.name);
    Rule readBack;
    if (const long hr = store.Read(wanted.name, readBack); hr < 0) return Failed(OpenFailure::WriteFailed, hr);
    if (!ReadsBackAsWritten(wanted, readBack)) return Failed(OpenFailure::ReadBackDiffers);
    return std::nullopt;
}

}  // namespace

FirewallOpening OpenFirewallPort(std::uint16_t port) {
    // A rule for "port 0" would admit nothing and could only mislead.
    if (port == 0) return Failed(OpenFailure::PortZero);
    const State before = FirewallReadCall()();
    if (std::optional<FirewallOpening> refused = RefusalBeforeWriting(before, port)) return *refused;
    if (VerdictFor(before, port, kProtocolTcp) == FirewallVerdict::Admits &&
        VerdictFor(before, port, kProtocolUdp) == FirewallVerdict::Admits) {
        FirewallOpening opening;
        opening.admitted = opening.alreadyAdmitted = true;
        return opening;
    }
    const FirewallStore& store = FirewallStoreCalls();
    Changes changes;
    for (long protocol : kProtocols) {
        if (std::optional<FirewallOpening> failed = WriteRule(before, port, protocol, changes)) {
            changes.TakeBack(store);
            return *failed;
        }
    }
    const Assessment after = Assess(FirewallReadCall()(), port, kProtocolTcp);
    if (after.verdict != FirewallVerdict::Admits) {
        changes.TakeBack(store);
        const ProfileFinding* problem = after.FirstProblem();
        ProfileFinding finding = problem ? *problem : ProfileFinding{0, after.verdict, after.reason, {}};
        return Failed(OpenFailure::StillNotAdmitted, 0, std::move(finding));
    }
    changes.Finish(store);
    FirewallOpening opening;
    opening.admitted = true;
    opening.added = changes.added;
    return opening;
}

std::wstring OpenFailureText(const FirewallOpening& opening) {
    const ProfileFinding& problem = opening.problem;
    const std::wstring where = problem.type ? L"在" + ProfileNames(problem.type) + L"网络中" : L"";
    switch (opening.failure) {
        case OpenFailure::None:
            return {};
        case OpenFailure::PortZero:
            return L"端口 0 不是可以监听的端口，无法放行";
        case OpenFailure::Unreadable:
            return L"无法读取 Windows 防火墙的设置";
        case OpenFailure::PolicyGoverns:
            return L"组策略管理着 Windows 防火墙，本机添加的规则不会生效";
        case OpenFailure::WriteFailed:
            return L"写入防火墙规则失败，错误 " + base::HexText(static_cast<std::uint32_t>(opening.hresult));
        case OpenFailure::ReadBackDiffers:
            return L"写入的防火墙规则读回时与写入的不一致";
        case OpenFailure::Blocked:
        case OpenFailure::StillNotAdmitted:
            break;
    }
    switch (problem.reason) {
        case Reason::BlockAllInbound:
            return L"Windows 防火墙" + where + L"阻止所有入站连接";
        case Reason::BlockRule:
            return where + L"防火墙规则“" + problem.rule + L"”阻止了该端口的入站连接";
        case Reason::PolicyGoverns:
            return L"组策略管理着 Windows 防火墙，本机添加的规则不会生效";
        case Reason::UnreadableRules:
            return L"有防火墙规则无法读取，无法确认该端口已放行";
        case Reason::Unreadable:
        case Reason::NoProfile:
            return L"无法读取 Windows 防火墙的设置";
        case Reason::NoAllowRule:
        case Reason::None:
            break;
    }
    return L"添加规则后 Windows 防火墙" + where + L"仍未放行该端口";
}

}  // namespace guard
