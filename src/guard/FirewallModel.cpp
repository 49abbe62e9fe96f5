#include "guard/FirewallModel.h"

#include <algorithm>

#include "base/DecimalText.h"
#include "common/ProgramTitle.h"

namespace guard::firewall {
namespace {

constexpr std::uint32_t kHighestPort = 65535;
constexpr long kEveryProfileBit = kProfileDomain | kProfilePrivate | kProfilePublic;

std::wstring_view Trimmed(std::wstring_view text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// Firewall names are ASCII (paths aside, which are only compared by their last part): a fold of A-Z
// is enough and does not depend on the user's locale.
bool SameNoCase(std::wstring_view a, std::wstring_view b) {
    auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](wchar_t x, wchar_t y) { return fold(x) == fold(y); });
}

// A port number of the list: digits only, at most 65535.
bool ParsePort(std::wstring_view text, std::uint32_t& port) {
    text = Trimmed(text);
    if (text.empty()) return false;
    port = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        port = port * 10 + static_cast<std::uint32_t>(c - L'0');
        if (port > kHighestPort) return false;
    }
    return true;
}

bool EntryCovers(std::wstring_view entry, std::uint32_t port) {
    entry = Trimmed(entry);
    if (entry == L"*") return true;
    std::uint32_t low = 0, high = 0;
    const size_t dash = entry.find(L'-');
    // "RPC-EPMap" has a dash too: a range is only a range when both ends are numbers.
    if (dash == std::wstring_view::npos) return ParsePort(entry, low) && low == port;
    return ParsePort(entry.substr(0, dash), low) && ParsePort(entry.substr(dash + 1), high) && low <= port &&
           port <= high;
}

bool AnyAddress(std::wstring_view addresses) {
    addresses = Trimmed(addresses);
    return addresses.empty() || addresses == L"*";
}

bool AllInterfaceTypes(std::wstring_view types) {
    types = Trimmed(types);
    return types.empty() || SameNoCase(types, L"All");
}

std::wstring_view FileNameOf(std::wstring_view path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

// Narrowed to some interfaces, users, machines or packages: whether such a rule reaches the
// administrator's own connection is beyond what can be told here. (An allow rule limited to some
// remote addresses is taken to include the administrator's: that is what such rules are made for.)
bool NarrowedBeyondAddresses(const Rule& rule) {
    return !AllInterfaceTypes(rule.interfaceTypes) || rule.limitedToInterfaces || rule.conditionsBeyondModel;
}

bool Narrowed(const Rule& rule) {
    return !AnyAddress(rule.localAddresses) || !AnyAddress(rule.remoteAddresses) || NarrowedBeyondAddresses(rule);
}

bool Concerns(const Rule& rule, long protocol, long profileType, std::uint16_t port) {
    return ConcernsInbound(rule, protocol) && (rule.profiles & profileType) != 0 &&
           PortListCovers(rule.localPorts, port) && AppliesToRemoteDesktop(rule);
}

// The profile as Windows applies it: Group Policy's values over the local ones.
Profile Effective(const Profile& local, const PolicyProfile& policy, ModifyState modifyState) {
    Profile profile = local;
    profile.firewallOn = policy.firewallOn.value_or(local.firewallOn);
    profile.inboundAllowedByDefault = policy.inboundAllowedByDefault.value_or(local.inboundAllowedByDefault);
    profile.blockAllInbound = local.blockAllInbound || policy.blockAllInbound.value_or(false) ||
                              modifyState == ModifyState::InboundBlocked;
    return profile;
}

ProfileFinding AssessProfile(const State& state, const Profile& local, std::uint16_t port, long protocol) {
    const PolicyProfile& policy = state.PolicyFor(local.type);
    const Profile profile = Effective(local, policy, state.modifyState);
    ProfileFinding finding{local.type, FirewallVerdict::Admits, Reason::None, {}};
    if (!profile.firewallOn) return finding;
    if (profile.blockAllInbound) return {local.type, FirewallVerdict::Closed, Reason::BlockAllInbound, {}};
    // Under such a policy only the policy's own rules count, and INetFwPolicy2 does not say which rules
    // those are.
    const bool localRulesApply =
        policy.localRulesApply.value_or(true) && state.modifyState != ModifyState::GroupPolicyOverride;
    if (!localRulesApply) return {local.type, FirewallVerdict::Unknown, Reason::PolicyGoverns, {}};
    bool allowed = profile.inboundAllowedByDefault;
    for (const Rule& rule : state.rules) {
        if (!Concerns(rule, protocol, local.type, port)) continue;
        if (rule.action == Action::Allow) {
            allowed = allowed || !NarrowedBeyondAddresses(rule);
        } else if (!Narrowed(rule)) {
            // Block beats allow; a block limited to some addresses may well not be the administrator's.
            return {local.type, FirewallVerdict::Closed, Reason::BlockRule, rule.name};
        }
    }
    // A rule that could not be read may be a block rule, or the allow rule that is missing.
    if (state.unreadableRules > 0) return {local.type, FirewallVerdict::Unknown, Reason::UnreadableRules, {}};
    if (!allowed) return {local.type, FirewallVerdict::Closed, Reason::NoAllowRule, {}};
    return finding;
}

}  // namespace

const PolicyProfile& State::PolicyFor(long profileType) const {
    if (profileType == kProfileDomain) return policy[0];
    if (profileType == kProfilePrivate) return policy[1];
    return policy[2];
}

bool ConcernsInbound(const Rule& rule, long protocol) {
    return rule.enabled && rule.direction == Direction::In &&
           (rule.protocol == protocol || rule.protocol == kProtocolAny);
}

bool ConcernsInboundTcp(const Rule& rule) { return ConcernsInbound(rule, kProtocolTcp); }

bool PortListCovers(std::wstring_view localPorts, std::uint16_t port) {
    if (Trimmed(localPorts).empty()) return true;
    while (true) {
        const size_t comma = localPorts.find(L',');
        if (EntryCovers(localPorts.substr(0, comma), port)) return true;
        if (comma == std::wstring_view::npos) return false;
        localPorts.remove_prefix(comma + 1);
    }
}

bool AppliesToRemoteDesktop(const Rule& rule) {
    const std::wstring_view program = Trimmed(rule.applicationName);
    const std::wstring_view service = Trimmed(rule.serviceName);
    const bool programFits = program.empty() || SameNoCase(FileNameOf(program), L"svchost.exe");
    const bool serviceFits = service.empty() || service == L"*" || SameNoCase(service, L"termservice");
    return programFits && serviceFits;
}

long Assessment::ClosedProfiles() const {
    long bits = 0;
    for (const ProfileFinding& finding : profiles)
        if (finding.verdict == FirewallVerdict::Closed) bits |= finding.type;
    return bits;
}

const ProfileFinding* Assessment::FirstProblem() const {
    for (const ProfileFinding& finding : profiles)
        if (finding.verdict == FirewallVerdict::Closed) return &finding;
    for (const ProfileFinding& finding : profiles)
        if (finding.verdict == FirewallVerdict::Unknown) return &finding;
    return nullptr;
}

Assessment Assess(const State& state, std::uint16_t port, long protocol) {
    Assessment assessment;
    if (!state.known) return assessment;
    if (state.current.empty()) {
        assessment.reason = Reason::NoProfile;
        return assessment;
    }
    assessment.reason = Reason::None;
    bool unknown = false;
    bool closed = false;
    for (const Profile& profile : state.current) {
        assessment.profiles.push_back(AssessProfile(state, profile, port, protocol));
        closed = closed || assessment.profiles.back().verdict == FirewallVerdict::Closed;
        unknown = unknown || assessment.profiles.back().verdict == FirewallVerdict::Unknown;
    }
    assessment.verdict = closed ? FirewallVerdict::Closed : unknown ? FirewallVerdict::Unknown : FirewallVerdict::Admits;
    return assessment;
}

FirewallVerdict VerdictFor(const State& state, std::uint16_t port, long protocol) {
    return Assess(state, port, protocol).verdict;
}

bool LocalRulesTakeEffect(const State& state) {
    if (state.modifyState != ModifyState::Ok) return false;
    for (const Profile& profile : state.current)
        if (!state.PolicyFor(profile.type).localRulesApply.value_or(true)) return false;
    return true;
}

std::wstring OwnGroup() { return common::kProgramTitle; }

std::wstring OwnRuleName(std::uint16_t port, long protocol) {
    return std::wstring(common::kProgramTitle) + (protocol == kProtocolUdp ? L" - 远程桌面 UDP " : L" - 远程桌面 TCP ") +
           base::DecimalText64(port);
}

std::wstring LegacyOwnRuleName() { return std::wstring(common::kProgramTitle) + L" - 远程桌面 TCP"; }

Rule OwnRule(std::uint16_t port, long protocol) {
    Rule rule;
    rule.name = OwnRuleName(port, protocol);
    rule.grouping = OwnGroup();
    rule.protocol = protocol;
    rule.localPorts = base::DecimalText64(port);
    rule.direction = Direction::In;
    rule.action = Action::Allow;
    rule.enabled = true;
    rule.profiles = kProfileAll;
    return rule;
}

bool IsOwnRule(const Rule& rule) { return rule.grouping == OwnGroup() || rule.name == LegacyOwnRuleName(); }

std::optional<std::uint16_t> OwnRulePort(const Rule& rule) {
    std::uint32_t port = 0;
    if (!IsOwnRule(rule) || !ParsePort(rule.localPorts, port)) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

bool ReadsBackAsWritten(const Rule& written, const Rule& readBack) {
    return readBack.name == written.name && readBack.grouping == written.grouping &&
           readBack.protocol == written.protocol && Trimmed(readBack.localPorts) == written.localPorts &&
           readBack.direction == written.direction && readBack.action == written.action &&
           readBack.enabled == written.enabled &&
           (readBack.profiles & kEveryProfileBit) == (written.profiles & kEveryProfileBit) &&
           Trimmed(readBack.applicationName).empty() && Trimmed(readBack.serviceName).empty() && !Narrowed(readBack);
}

}  // namespace guard::firewall
