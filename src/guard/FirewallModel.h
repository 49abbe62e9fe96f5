#pragma once
// What the Windows Firewall's own records say about one port, decided without asking Windows: the
// reader (FirewallRead.cpp) copies the records out of INetFwPolicy2 and Group Policy's values, a saved
// snapshot (FirewallSnapshot.h) fills the same state, tests write it by hand. Rules are matched by what
// they do, never by their display names, which are translated; the program's own rules are found by
// their group, their name and their port.
//
// Two certainties are kept apart, per protocol and per profile: "open" (Windows admits every remote
// peer on every interface) is what a claim such as "admitted" or "opened" needs; "closed" (Windows drops
// every peer) is what a warning needs. Anything in between, or anything the records cannot settle, is
// "unknown", and neither claims nor warns.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace guard {

// Admits: open (every peer admitted); Closed: every peer dropped; Unknown: neither is certain.
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
inline constexpr long kEveryProfile = kProfileDomain | kProfilePrivate | kProfilePublic;

enum class Direction { In, Out };
enum class Action { Block, Allow };

// INetFwPolicy2::get_LocalPolicyModifyState: whether a rule added locally now would take effect in the
// current profiles.
enum class ModifyState {
    Ok,                   // NET_FW_MODIFY_STATE_OK
    GroupPolicyOverride,  // NET_FW_MODIFY_STATE_GP_OVERRIDE: Group Policy governs the profile
    InboundBlocked,       // NET_FW_MODIFY_STATE_INBOUND_BLOCKED: no unsolicited inbound traffic at all
};

struct Rule {
    std::wstring name;
    long protocol = kProtocolAny;
    std::wstring localPorts;   // as the firewall writes them: "3389", "80,443", "3000-4000", "*", "RPC", ...
    std::wstring remotePorts;  // the peer's ports; "*" or empty: any
    std::wstring localAddresses;
    std::wstring remoteAddresses;
    Direction direction = Direction::In;
    Action action = Action::Allow;
    bool enabled = false;
    long profiles = kProfileAll;
    std::wstring applicationName;  // a path, possibly with environment variables; empty: any program
    std::wstring serviceName;      // empty: any program; "*": any service; else the service's name
    std::wstring grouping;         // the rule group; the program's own rules carry OwnGroup()
    std::wstring interfaceTypes;   // "All" (or empty), else a list such as "Lan,Wireless"
    std::vector<std::wstring> interfaces;  // names of the interfaces it is limited to; empty: every one
    bool edgeTraversal = false;
    // INetFwRule3's conditions (empty, or 0: none).
    std::wstring localAppPackageId;
    std::wstring localUserOwner;
    std::wstring localUserAuthorizedList;
    std::wstring remoteUserAuthorizedList;
    std::wstring remoteMachineAuthorizedList;
    long secureFlags = 0;
    // A Group Policy rule string with a field the model does not evaluate: such a rule may be narrowed
    // in a way it cannot see.
    bool conditionsBeyondModel = false;
};

struct Profile {
    bool firewallOn = true;
    bool blockAllInbound = false;
    bool inboundAllowedByDefault = false;  // DefaultInboundAction is "allow": no rule is needed then
};

// Group Policy's firewall values for one profile, as set under the profile's key below
// HKLM\SOFTWARE\Policies\Microsoft\WindowsFirewall (MS-GPFAS 2.2); nothing where policy sets none. They override the local
// settings that INetFwPolicy2 reports.
struct PolicyProfile {
    bool exists = false;  // the profile's policy key exists
    std::optional<std::uint32_t> enableFirewall;          // EnableFirewall: 1 on, 0 off
    std::optional<std::uint32_t> defaultInboundAction;    // DefaultInboundAction: 0 allows, 1 blocks
    std::optional<std::uint32_t> allowLocalPolicyMerge;   // AllowLocalPolicyMerge: 0 ignores local rules
    std::optional<std::uint32_t> doNotAllowExceptions;    // DoNotAllowExceptions: 1 blocks all inbound
    std::optional<std::uint32_t> globallyOpenPortsMerge;  // GloballyOpenPorts\AllowUserPrefMerge
    std::optional<std::uint32_t> authorizedApplicationsMerge;  // AuthorizedApplications\AllowUserPrefMerge
};

enum PolicyKey { kPolicyDomain, kPolicyPrivate, kPolicyPublic, kPolicyStandard, kPolicyKeys };

struct State {
    bool known = false;         // false when the firewall could not be read: nothing is concluded then
    long currentProfiles = 0;   // the NET_FW_PROFILE_TYPE2 bits of the networks the computer is on now
    Profile profiles[3];        // the local settings of domain, private, public
    ModifyState modifyState = ModifyState::Ok;
    PolicyProfile policy[kPolicyKeys];
    std::vector<std::wstring> excludedInterfaces;  // interfaces the firewall does not apply to
    std::vector<std::wstring> policyRules;         // Group Policy's rule strings (MS-GPFAS 2.2.2.19)
    // The local rules that can concern inbound TCP or UDP, and every rule of the program's own.
    std::vector<Rule> rules;
    int unreadableRules = 0;  // rules that could not be copied out
    bool mdmPolicy = false;   // an MDM firewall store, whose rules and settings are not read
    bool termServiceRestricted = false;  // Windows Service Hardening restricts TermService
    std::vector<Rule> termServiceRules;  // its service-hardening rules
};

// The profile's index (0 domain, 1 private, 2 public) for one NET_FW_PROFILE_TYPE2 bit.
int ProfileIndex(long profileType);

// Whether the rule is on, for inbound traffic and for the protocol (or any protocol).
bool ConcernsInbound(const Rule& rule, long protocol);

// Whether a port list names the port: numbers, ranges and "*" do; keywords ("RPC", "RPC-EPMap",
// "IPHTTPS", "Teredo", "Ply2Disc", ...) stand for ports chosen at run time and name none. An empty list
// means every port.
bool PortListCovers(std::wstring_view ports, std::uint16_t port);

// Why a profile is open, closed or unknown.
enum class Reason {
    None,
    Unreadable,         // the firewall could not be read
    FirewallOff,        // open: the firewall is off in the profile
    DefaultAllows,      // open: the default inbound action allows
    AllowRule,          // open: the rule admits every peer
    BlockAllInbound,    // closed: the profile blocks every unsolicited inbound connection
    BlockRule,          // closed: the rule blocks every peer (block beats allow)
    NoAllowRule,        // closed: nothing admits the port, and the default blocks
    NarrowedBlockRule,  // unknown: a block rule covers the port for some peers or interfaces
    NarrowedAllowOnly,  // unknown: only rules that admit some peers, interfaces or users
    PolicyGoverns,      // unknown: Group Policy may make local rules ineffective, with rules unseen
    PolicyUnclear,      // unknown: a policy value Windows alone interprets
    UnreadableRules,    // unknown: some rules could not be read, and one of them may decide
    UnparsedPolicyRule, // unknown: a Group Policy rule could not be read
    MdmPolicy,          // unknown: an MDM firewall store governs too
    ServiceRestricted,  // unknown: service hardening restricts Remote Desktop's service
    ExcludedInterfaces, // unknown: the firewall does not apply to some interfaces
    AuthenticatedBypass,  // unknown: an allow rule for authenticated peers overrides the block
};

struct ProfileFinding {
    long type = 0;  // one NET_FW_PROFILE_TYPE2 bit
    bool current = false;
    FirewallVerdict verdict = FirewallVerdict::Unknown;
    Reason reason = Reason::Unreadable;
    std::wstring rule;  // AllowRule, BlockRule, NarrowedBlockRule, NarrowedAllowOnly: the rule's name
};

struct Assessment {
    long protocol = kProtocolTcp;
    bool known = false;
    std::vector<ProfileFinding> profiles;  // domain, private, public (empty when not known)

    // Open in all three profiles: what any claim that the port is admitted needs.
    bool OpenEverywhere() const;
    // The bits of the current profiles that are certainly closed.
    long ClosedCurrentProfiles() const;
    // The bits of the profiles that are not current and not open.
    long NotOpenOtherProfiles() const;
    // Admits when open in all three, Closed when closed in a current profile, else Unknown.
    FirewallVerdict Summary() const;
    // The first profile that is not open, closed ones first; null when all three are open.
    const ProfileFinding* FirstProblem() const;
};

Assessment Assess(const State& state, std::uint16_t port, long protocol = kProtocolTcp);

// ---- Group Policy's rule strings ---------------------------------------------------------------

// A rule string of MS-GPFAS 2.2.2.19 ("v2.26|Action=Block|Active=TRUE|Dir=In|Protocol=6|LPort=3390|...")
// as a rule; nothing when it cannot be read. Fields the model does not evaluate mark it
// conditionsBeyondModel.
std::optional<Rule> ParsePolicyRule(std::wstring_view text);

// ---- The program's own rules -------------------------------------------------------------------

// One inbound allow rule per port and protocol, in every profile, in the program's own group, with the
// port in its name, scoped like Windows' own Remote Desktop rules: the service TermService in
// svchost.exe. The single rule of earlier versions (LegacyOwnRuleName, TCP only) counts as the rule of
// the port it names.
std::wstring OwnGroup();
std::wstring OwnRuleName(std::uint16_t port, long protocol);
std::wstring LegacyOwnRuleName();
inline constexpr const wchar_t* kRemoteDesktopProgram = L"%SystemRoot%\\system32\\svchost.exe";
inline constexpr const wchar_t* kRemoteDesktopService = L"TermService";
Rule OwnRule(std::uint16_t port, long protocol);
// In the program's group (or the legacy rule by its name).
bool IsOwnRule(const Rule& rule);
// The program's own rule for exactly that port: its group, a name the program gives such rules, and a
// LocalPorts that is exactly the port. A rule that also covers another port is never the program's.
bool IsOwnRuleFor(const Rule& rule, std::uint16_t port);
// How many of the state's rules carry this name (a name is renamed or removed only when it is one).
int RulesNamed(const State& state, const std::wstring& name);
// The rules the model keeps of the firewall's list: those that can concern inbound TCP or UDP, and any
// that is the program's own or carries its name (a name must be unique before it is renamed or removed).
bool MattersToTheModel(const Rule& rule);
// The port an own rule is for (its LocalPorts, when that is one number).
std::optional<std::uint16_t> OwnRulePort(const Rule& rule);

// Whether a rule read back from the firewall is the rule as written, in everything that decides what
// it admits: direction, action, protocol, port, profiles, enabled, program and service, and no address,
// port, interface or other condition.
bool ReadsBackAsWritten(const Rule& written, const Rule& readBack);

}  // namespace firewall
}  // namespace guard
