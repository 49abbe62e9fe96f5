#include "guard/FirewallModel.h"

#include "guard/FirewallRuleParts.h"

// How Windows decides an inbound connection (MS-FASP 2.2.34 "rule precedence",
// https://learn.microsoft.com/openspecs/windows_protocols/ms-fasp/702e3c23-c9d8-43db-8380-b4c670dd7f7d):
// service-hardening rules first, then allow rules that bypass block rules for authenticated peers, then
// block rules, then allow rules, then the profile's default. "Block all inbound" and a firewall that is
// off decide before any rule. Each step below asks what is certain for every remote peer on every
// interface, and keeps "may be" apart from "is".

namespace guard::firewall {
namespace {

enum class Certainty { No, Maybe, Yes };

Certainty Either(Certainty a, Certainty b) {
    if (a == Certainty::Yes || b == Certainty::Yes) return Certainty::Yes;
    if (a == Certainty::Maybe || b == Certainty::Maybe) return Certainty::Maybe;
    return Certainty::No;
}

// A policy flag: the value that means `yes`, the one that means no, anything else Windows interprets.
Certainty Flag(std::optional<std::uint32_t> value, std::uint32_t yes, std::uint32_t no, Certainty unset) {
    if (!value) return unset;
    if (*value == yes) return Certainty::Yes;
    if (*value == no) return Certainty::No;
    return Certainty::Maybe;
}

// The profile's settings as Windows applies them: Group Policy's values over the local ones.
struct Settings {
    Certainty on = Certainty::Yes;
    Certainty blockAll = Certainty::No;
    Certainty defaultAllows = Certainty::No;
    Certainty localRules = Certainty::Yes;  // local rules take effect
    bool portOnlyRulesIgnored = false;      // GloballyOpenPorts\AllowUserPrefMerge 0
    bool programOnlyRulesIgnored = false;   // AuthorizedApplications\AllowUserPrefMerge 0
    bool policyOverride = false;            // the modify state says Group Policy governs the profile
};

// The StandardProfile key is the one profile of Windows before Vista; it counts for the private and the
// public profile only while neither has a key of its own (MS-GPFAS 2.2).
const PolicyProfile& PolicyOf(const State& state, int index) {
    static const PolicyProfile kNone;
    const PolicyProfile& own = state.policy[index];
    if (index == kPolicyDomain || own.exists) return own;
    if (!state.policy[kPolicyPrivate].exists && !state.policy[kPolicyPublic].exists &&
        state.policy[kPolicyStandard].exists)
        return state.policy[kPolicyStandard];
    return kNone;
}

Settings PolicySettings(const State& state, long type) {
    const int index = ProfileIndex(type);
    const Profile& local = state.profiles[index];
    const PolicyProfile& policy = PolicyOf(state, index);
    Settings settings;
    settings.on = Flag(policy.enableFirewall, 1, 0, local.firewallOn ? Certainty::Yes : Certainty::No);
    settings.defaultAllows =
        Flag(policy.defaultInboundAction, 0, 1, local.inboundAllowedByDefault ? Certainty::Yes : Certainty::No);
    // "Block all" is on when either the local setting or policy turns it on.
    settings.blockAll = Either(local.blockAllInbound ? Certainty::Yes : Certainty::No,
                               Flag(policy.doNotAllowExceptions, 1, 0, Certainty::No));
    settings.localRules = Flag(policy.allowLocalPolicyMerge, 1, 0, Certainty::Yes);
    settings.portOnlyRulesIgnored = Flag(policy.globallyOpenPortsMerge, 1, 0, Certainty::Yes) != Certainty::Yes;
    settings.programOnlyRulesIgnored = Flag(policy.authorizedApplicationsMerge, 1, 0, Certainty::Yes) != Certainty::Yes;
    return settings;
}

// The modify state (https://learn.microsoft.com/windows/win32/api/icftypes/ne-icftypes-net_fw_modify_state)
// speaks of "the current profile". With one current profile it is that profile's; with several, a state
// other than "ok" belongs to at least one of them. Where the settings read cannot explain it, Windows
// enforces something they do not show: nothing is certain in the current profiles then (false).
bool ApplyModifyState(const State& state, long type, Settings& settings) {
    const long current = state.currentProfiles & kEveryProfile;
    if ((current & type) == 0 || (state.modifyState == ModifyState::Ok && current != type)) return true;
    const bool alone = current == type;
    const auto anyCurrent = [&](auto explains) {
        for (long other : kProfileBits)
            if ((current & other) != 0 && explains(PolicySettings(state, other))) return true;
        return false;
    };
    switch (state.modifyState) {
        case ModifyState::Ok:
            // Local rules would take effect, and unsolicited traffic is let in.
            return settings.localRules != Certainty::No &&
                   !(settings.on == Certainty::Yes && settings.blockAll == Certainty::Yes);
        case ModifyState::GroupPolicyOverride:
            if (!anyCurrent([](const Settings& s) { return s.localRules != Certainty::Yes; })) return false;
            settings.localRules = alone ? Certainty::No : Certainty::Maybe;
            settings.policyOverride = true;
            return true;
        case ModifyState::InboundBlocked:
            // Alone, it is taken at its word; among several, one of them must be able to block all.
            if (!alone &&
                !anyCurrent([](const Settings& s) { return s.on != Certainty::No && s.blockAll != Certainty::No; }))
                return false;
            if (alone) {
                if (settings.on == Certainty::No) return false;
                settings.on = settings.blockAll = Certainty::Yes;
            } else {
                settings.blockAll = Either(settings.blockAll, Certainty::Maybe);
            }
            return true;
    }
    return true;
}

// Whether the rule can reach Remote Desktop's listener: svchost.exe running the service TermService
// as NETWORK SERVICE, no packaged app.
Certainty ReachesRemoteDesktop(const Rule& rule) {
    const std::wstring_view service = Trimmed(rule.serviceName);
    if (!service.empty() && service != L"*" && !SameNoCase(service, kRemoteDesktopService)) return Certainty::No;
    if (!Trimmed(rule.localAppPackageId).empty()) return Certainty::No;
    Certainty reach = Trimmed(rule.localUserOwner).empty() ? Certainty::Yes : Certainty::Maybe;
    const std::wstring_view program = Trimmed(rule.applicationName);
    if (program.empty()) return reach;
    if (SameNoCase(program, kRemoteDesktopProgram) || SameNoCase(program, L"%windir%\\system32\\svchost.exe"))
        return reach;
    // Another spelling of the same file (a drive letter, another variable) may or may not be it.
    const size_t slash = program.find_last_of(L"\\/");
    const std::wstring_view file = slash == std::wstring_view::npos ? program : program.substr(slash + 1);
    return SameNoCase(file, L"svchost.exe") ? Certainty::Maybe : Certainty::No;
}

// An allow rule for authenticated peers may override block rules (MS-FASP 2.2.34): it can admit some
// peers whatever blocks the port.
bool MayBypassBlocks(const Rule& rule) {
    return rule.action == Action::Allow && (rule.secureFlags != 0 || !Trimmed(rule.remoteUserAuthorizedList).empty() ||
                                            !Trimmed(rule.remoteMachineAuthorizedList).empty() ||
                                            rule.conditionsBeyondModel);
}

// Windows' legacy merge settings ignore local rules that open a port for any program, or a program on
// any port; a rule naming both (as Windows' own Remote Desktop rules do) is neither.
bool PortOnly(const Rule& rule) {
    return !Any(rule.localPorts) && Trimmed(rule.applicationName).empty() &&
           (Trimmed(rule.serviceName).empty() || Trimmed(rule.serviceName) == L"*");
}
bool ProgramOnly(const Rule& rule) { return !Trimmed(rule.applicationName).empty() && Any(rule.localPorts); }

// Whether a local rule takes effect in the profile. Where policy ignores local rules it stays "may be":
// whether INetFwPolicy2's list holds Group Policy's own rules too, only Windows can say.
Certainty LocalRuleInForce(const Rule& rule, const Settings& settings) {
    if (settings.localRules != Certainty::Yes) return Certainty::Maybe;
    if ((settings.portOnlyRulesIgnored && PortOnly(rule)) || (settings.programOnlyRulesIgnored && ProgramOnly(rule)))
        return Certainty::Maybe;
    return Certainty::Yes;
}

// What the rules in force say of the port in one profile.
struct RuleFindings {
    const Rule* blocksAll = nullptr;    // an unnarrowed block rule certainly in force
    const Rule* mayBlock = nullptr;     // a block rule that may drop some peers
    const Rule* admitsAll = nullptr;    // an unnarrowed allow rule certainly in force
    const Rule* mayAdmit = nullptr;     // an allow rule that may admit some peers
    const Rule* mayBypass = nullptr;    // an allow rule that may override block rules
    bool localAllowIgnored = false;     // an allow rule that policy may make ineffective
};

void Consider(const Rule& rule, Certainty inForce, long protocol, long type, std::uint16_t port, RuleFindings& out) {
    if (!ConcernsInbound(rule, protocol) || (rule.profiles & type) == 0 || !PortListCovers(rule.localPorts, port))
        return;
    const Certainty reaches = ReachesRemoteDesktop(rule);
    if (reaches == Certainty::No) return;
    const bool certain = reaches == Certainty::Yes && inForce == Certainty::Yes && !Narrowed(rule);
    if (rule.action == Action::Block) {
        if (certain && !out.blocksAll) out.blocksAll = &rule;
        if (!out.mayBlock) out.mayBlock = &rule;
        return;
    }
    // An allow rule that wants IPsec: authenticated peers may pass it over block rules, and the peers
    // it takes in that are not authenticated may be dropped ("otherwise, traffic is blocked", MS-FASP
    // 2.2.35 FW_RULE_FLAGS_AUTHENTICATE): neither "open" nor "closed" is certain beside it.
    if (MayBypassBlocks(rule) && !out.mayBypass) out.mayBypass = &rule;
    if (certain && !out.admitsAll) out.admitsAll = &rule;
    if (!out.mayAdmit) out.mayAdmit = &rule;
    if (inForce != Certainty::Yes) out.localAllowIgnored = true;
}

ProfileFinding Found(FirewallVerdict verdict, Reason reason, const Rule* rule = nullptr) {
    ProfileFinding finding;
    finding.verdict = verdict;
    finding.reason = reason;
    if (rule) finding.rule = rule->name;
    return finding;
}

// Service hardening restricts a service to what its own rules allow, before any other rule
// (INetFwServiceRestriction::RestrictService,
// https://learn.microsoft.com/windows/win32/api/netfw/nf-netfw-inetfwservicerestriction-restrictservice).
bool HardeningAdmits(const State& state, long protocol, long type, std::uint16_t port) {
    if (!state.termServiceRestricted) return true;
    RuleFindings hardening;
    for (const Rule& rule : state.termServiceRules) Consider(rule, Certainty::Yes, protocol, type, port, hardening);
    return hardening.admitsAll && !hardening.mayBlock;
}

// Group Policy's rule strings as rules, read once for every profile judged; whether one could not be read.
struct PolicyRules {
    std::vector<Rule> rules;
    bool unparsed = false;
};

PolicyRules ParsePolicyRules(const State& state) {
    PolicyRules policy;
    policy.rules.reserve(state.policyRules.size());
    for (const std::wstring& text : state.policyRules) {
        std::optional<Rule> rule = ParsePolicyRule(text);
        if (rule) policy.rules.push_back(std::move(*rule));
        policy.unparsed = policy.unparsed || !rule;
    }
    return policy;
}

ProfileFinding AssessProfile(const State& state, const PolicyRules& policy, long type, std::uint16_t port, long protocol) {
    if (state.mdmPolicy) return Found(FirewallVerdict::Unknown, Reason::MdmPolicy);
    if (!HardeningAdmits(state, protocol, type, port)) return Found(FirewallVerdict::Unknown, Reason::ServiceRestricted);
    Settings settings = PolicySettings(state, type);
    if (!ApplyModifyState(state, type, settings)) return Found(FirewallVerdict::Unknown, Reason::PolicyGoverns);
    if (settings.on == Certainty::No) return Found(FirewallVerdict::Admits, Reason::FirewallOff);
    if (settings.on == Certainty::Maybe) return Found(FirewallVerdict::Unknown, Reason::PolicyUnclear);

    RuleFindings rules;
    for (const Rule& rule : policy.rules) Consider(rule, Certainty::Yes, protocol, type, port, rules);
    for (const Rule& rule : state.rules) Consider(rule, LocalRuleInForce(rule, settings), protocol, type, port, rules);

    const bool uncertainRules = state.unreadableRules > 0 || policy.unparsed;
    const Reason uncertainReason = state.unreadableRules > 0 ? Reason::UnreadableRules : Reason::UnparsedPolicyRule;
    // A drop for every peer needs nothing that could let some in: an interface the firewall leaves
    // alone, an allow rule that overrides blocks, a rule that could not be read.
    const auto closedUnless = [&](Reason reason, const Rule* rule) {
        if (!state.excludedInterfaces.empty()) return Found(FirewallVerdict::Unknown, Reason::ExcludedInterfaces);
        if (rules.mayBypass) return Found(FirewallVerdict::Unknown, Reason::AuthenticatedBypass, rules.mayBypass);
        if (uncertainRules) return Found(FirewallVerdict::Unknown, uncertainReason);
        return Found(FirewallVerdict::Closed, reason, rule);
    };
    if (settings.blockAll == Certainty::Yes) return closedUnless(Reason::BlockAllInbound, nullptr);
    if (rules.blocksAll) return closedUnless(Reason::BlockRule, rules.blocksAll);
    if (uncertainRules) return Found(FirewallVerdict::Unknown, uncertainReason);
    const Rule* opener = rules.admitsAll;
    if (settings.defaultAllows == Certainty::Yes || opener) {
        if (settings.blockAll == Certainty::Maybe) return Found(FirewallVerdict::Unknown, Reason::PolicyUnclear);
        if (rules.mayBlock) return Found(FirewallVerdict::Unknown, Reason::NarrowedBlockRule, rules.mayBlock);
        if (rules.mayBypass) return Found(FirewallVerdict::Unknown, Reason::AuthenticatedBypass, rules.mayBypass);
        return settings.defaultAllows == Certainty::Yes ? Found(FirewallVerdict::Admits, Reason::DefaultAllows)
                                                        : Found(FirewallVerdict::Admits, Reason::AllowRule, opener);
    }
    if (settings.defaultAllows == Certainty::Maybe) return Found(FirewallVerdict::Unknown, Reason::PolicyUnclear);
    if (rules.localAllowIgnored || settings.policyOverride)
        return Found(FirewallVerdict::Unknown, Reason::PolicyGoverns, rules.mayAdmit);
    if (rules.mayAdmit) return Found(FirewallVerdict::Unknown, Reason::NarrowedAllowOnly, rules.mayAdmit);
    if (!state.excludedInterfaces.empty()) return Found(FirewallVerdict::Unknown, Reason::ExcludedInterfaces);
    return Found(FirewallVerdict::Closed, Reason::NoAllowRule);
}

}  // namespace

int ProfileIndex(long profileType) {
    if (profileType == kProfileDomain) return 0;
    if (profileType == kProfilePrivate) return 1;
    return 2;
}

bool ConcernsInbound(const Rule& rule, long protocol) {
    return rule.enabled && rule.direction == Direction::In &&
           (rule.protocol == protocol || rule.protocol == kProtocolAny);
}

bool PortListCovers(std::wstring_view ports, std::uint16_t port) {
    if (Trimmed(ports).empty()) return true;
    while (true) {
        const size_t comma = ports.find(L',');
        const std::wstring_view entry = Trimmed(ports.substr(0, comma));
        std::uint32_t low = 0, high = 0;
        // "RPC-EPMap" has a dash too: a range is only a range when both ends are numbers.
        if (entry == L"*" || (ParsePortRange(entry, low, high) && low <= port && port <= high)) return true;
        if (comma == std::wstring_view::npos) return false;
        ports.remove_prefix(comma + 1);
    }
}

bool Assessment::OpenEverywhere() const {
    if (!known || profiles.size() != 3) return false;
    for (const ProfileFinding& finding : profiles)
        if (finding.verdict != FirewallVerdict::Admits) return false;
    return true;
}

long Assessment::ClosedCurrentProfiles() const {
    long bits = 0;
    for (const ProfileFinding& finding : profiles)
        if (finding.current && finding.verdict == FirewallVerdict::Closed) bits |= finding.type;
    return bits;
}

long Assessment::NotOpenOtherProfiles() const {
    long bits = 0;
    for (const ProfileFinding& finding : profiles)
        if (!finding.current && finding.verdict != FirewallVerdict::Admits) bits |= finding.type;
    return bits;
}

FirewallVerdict Assessment::Summary() const {
    if (OpenEverywhere()) return FirewallVerdict::Admits;
    return ClosedCurrentProfiles() ? FirewallVerdict::Closed : FirewallVerdict::Unknown;
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
    assessment.protocol = protocol;
    assessment.known = state.known;
    if (!state.known) return assessment;
    const PolicyRules policy = ParsePolicyRules(state);
    for (long type : kProfileBits) {
        ProfileFinding finding = AssessProfile(state, policy, type, port, protocol);
        finding.type = type;
        finding.current = (state.currentProfiles & type) != 0;
        assessment.profiles.push_back(std::move(finding));
    }
    return assessment;
}

}  // namespace guard::firewall
