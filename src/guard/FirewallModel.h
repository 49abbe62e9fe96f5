#pragma once
// What the Windows Firewall's own records say about one port, decided without asking Windows: the
// reader (FirewallRead.cpp) copies the records out of INetFwPolicy2 and Group Policy's values, tests
// write them by hand. Rules are matched by what they do, never by their display names, which are
// translated; the program's own rules are found by their group, which is the program's.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace guard {

enum class FirewallVerdict { Admits, Closed, Unknown };

namespace firewall {

// NET_FW_IP_PROTOCOL values, with "any protocol" (256), which netfw.h does not name.
inline constexpr long kProtocolTcp = 6;
inline constexpr long kProtocolUdp = 17;
inline constexpr long kProtocolAny = 256;
// NET_FW_PROFILE_TYPE2 bits; a rule for every profile reads back as NET_FW_PROFILE2_ALL.
inline constexpr long kProfileDomain = 0x1;
inline constexpr long kProfilePrivate = 0x2;
inline constexpr long kProfilePublic = 0x4;
inline constexpr long kProfileAll = 0x7FFFFFFF;
inline constexpr long kProfileBits[] = {kProfileDomain, kProfilePrivate, kProfilePublic};

enum class Direction { In, Out };
enum class Action { Block, Allow };

// INetFwPolicy2::get_LocalPolicyModifyState: whether a rule added locally now would take effect.
enum class ModifyState {
    Ok,                   // NET_FW_MODIFY_STATE_OK
    GroupPolicyOverride,  // NET_FW_MODIFY_STATE_GP_OVERRIDE: Group Policy governs the profile
    InboundBlocked,       // NET_FW_MODIFY_STATE_INBOUND_BLOCKED: no unsolicited inbound traffic at all
};

struct Rule {
    std::wstring name;
    long protocol = kProtocolAny;
    std::wstring localPorts;  // as the firewall writes them: "3389", "80,443", "3000-4000", "*", "RPC", ...
    std::wstring localAddresses;
    std::wstring remoteAddresses;
    Direction direction = Direction::In;
    Action action = Action::Allow;
    bool enabled = false;
    long profiles = kProfileAll;
    std::wstring applicationName;  // a path, possibly with environment variables; empty: any program
    std::wstring serviceName;      // empty or "*": any service
    std::wstring grouping;         // the rule group; the program's own rules carry OwnGroup()
    std::wstring interfaceTypes;   // "All" (or empty), else a list such as "Lan,Wireless"
    bool limitedToInterfaces = false;    // an Interfaces list is set
    // Conditions of INetFwRule3 the model does not evaluate: a package, a user owner, authorized users
    // or machines, IPsec secure flags. Such an allow rule may well not admit the administrator.
    bool conditionsBeyondModel = false;
};

struct Profile {
    long type = 0;  // one NET_FW_PROFILE_TYPE2 bit
    bool firewallOn = false;
    bool blockAllInbound = false;
    bool inboundAllowedByDefault = false;  // DefaultInboundAction is "allow": no rule is needed then
};

// Group Policy's firewall values for one profile (the DomainProfile, PrivateProfile and PublicProfile
// keys under HKLM\SOFTWARE\Policies\Microsoft\WindowsFirewall); nothing where policy sets none. They
// override the local settings that INetFwPolicy2 reports.
struct PolicyProfile {
    std::optional<bool> firewallOn;               // EnableFirewall
    std::optional<bool> inboundAllowedByDefault;  // DefaultInboundAction (0 allows, 1 blocks)
    std::optional<bool> localRulesApply;          // AllowLocalPolicyMerge: 0 ignores every local rule
    std::optional<bool> blockAllInbound;          // DoNotAllowExceptions
};

struct State {
    bool known = false;            // false when the firewall could not be read: nothing is concluded then
    std::vector<Profile> current;  // the profiles of the networks the computer is on now
    // The rules that can concern inbound TCP or UDP, and every rule of the program's own.
    std::vector<Rule> rules;
    ModifyState modifyState = ModifyState::Ok;
    PolicyProfile policy[3];       // domain, private, public
    int unreadableRules = 0;       // rules that could not be copied out

    const PolicyProfile& PolicyFor(long profileType) const;
};

// Whether the rule is on, for inbound traffic and for the protocol (or any protocol).
bool ConcernsInbound(const Rule& rule, long protocol);
bool ConcernsInboundTcp(const Rule& rule);

// Whether a LocalPorts list names the port: numbers, ranges and "*" do; keywords ("RPC", "RPC-EPMap",
// "IPHTTPS", "Teredo", "Ply2Disc", ...) stand for ports chosen at run time and name none. An empty list
// means every port.
bool PortListCovers(std::wstring_view localPorts, std::uint16_t port);

// Whether the rule can apply to Remote Desktop's own listener: no program named, or svchost.exe, and no
// service named, or every service ("*"), or TermService.
bool AppliesToRemoteDesktop(const Rule& rule);

// Why a profile does not admit the port, or why that cannot be told.
enum class Reason {
    None,
    Unreadable,       // the firewall could not be read
    NoProfile,        // no current profile was reported
    BlockAllInbound,  // the profile blocks every unsolicited inbound connection
    BlockRule,        // a block rule covers the port (block beats allow)
    NoAllowRule,      // nothing admits the port
    PolicyGoverns,    // Group Policy makes local rules ineffective, and which rules are its own is unknown
    UnreadableRules,  // some rules could not be read, and one of them may decide
};

struct ProfileFinding {
    long type = 0;
    FirewallVerdict verdict = FirewallVerdict::Unknown;
    Reason reason = Reason::None;
    std::wstring rule;  // BlockRule: the rule's name
};

struct Assessment {
    FirewallVerdict verdict = FirewallVerdict::Unknown;
    Reason reason = Reason::Unreadable;  // for the whole state, when no profile was looked at
    std::vector<ProfileFinding> profiles;

    // The NET_FW_PROFILE_TYPE2 bits of the profiles that certainly do not admit the port.
    long ClosedProfiles() const;
    // The first profile that does not admit (or, when none does not, that cannot be told); null when
    // every profile admits.
    const ProfileFinding* FirstProblem() const;
};

// The verdict for inbound connections to the port over the protocol in every current profile: closed
// when one profile certainly does not admit them, unknown when one cannot be told.
Assessment Assess(const State& state, std::uint16_t port, long protocol = kProtocolTcp);
FirewallVerdict VerdictFor(const State& state, std::uint16_t port, long protocol = kProtocolTcp);

// Whether a rule added locally now would take effect in every current profile: not when Group Policy
// governs, or no unsolicited inbound traffic is allowed.
bool LocalRulesTakeEffect(const State& state);

// ---- The program's own rules -------------------------------------------------------------------

// One inbound allow rule per port and protocol, in every profile, in the program's own group, with the
// port in its name. The single rule of earlier versions (LegacyOwnRuleName, TCP only) counts as the
// rule of the port it names.
std::wstring OwnGroup();
std::wstring OwnRuleName(std::uint16_t port, long protocol);
std::wstring LegacyOwnRuleName();
Rule OwnRule(std::uint16_t port, long protocol);
bool IsOwnRule(const Rule& rule);
// The port an own rule is for (its LocalPorts, when that is one number).
std::optional<std::uint16_t> OwnRulePort(const Rule& rule);

// Whether a rule read back from the firewall is the rule as written, in everything that decides what
// it admits: direction, action, protocol, port, profiles, enabled, and no program, service, address,
// interface or other condition.
bool ReadsBackAsWritten(const Rule& written, const Rule& readBack);

}  // namespace firewall
}  // namespace guard
