#pragma once
// What the Windows Firewall's own records say about one TCP port, decided without asking Windows: the
// reader (FirewallRead.cpp) copies the records out of INetFwPolicy2, tests write them by hand. Rules
// are matched by what they do, never by their display names, which are translated.

#include <cstdint>
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
// NET_FW_PROFILE_TYPE2 bits.
inline constexpr long kProfileDomain = 0x1;
inline constexpr long kProfilePrivate = 0x2;
inline constexpr long kProfilePublic = 0x4;
inline constexpr long kProfileAll = 0x7FFFFFFF;

enum class Direction { In, Out };
enum class Action { Block, Allow };

struct Rule {
    std::wstring name;  // only to find the program's own rule again
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
};

struct Profile {
    long type = 0;  // one NET_FW_PROFILE_TYPE2 bit
    bool firewallOn = false;
    bool blockAllInbound = false;
    bool inboundAllowedByDefault = false;  // DefaultInboundAction is "allow": no rule is needed then
};

struct State {
    bool known = false;            // false when anything could not be read: nothing is concluded then
    std::vector<Profile> current;  // the profiles of the networks the computer is on now
    std::vector<Rule> rules;
};

// Whether the rule is on, for inbound traffic and for TCP (or any protocol): the only rules that can
// decide whether a TCP port is admitted.
bool ConcernsInboundTcp(const Rule& rule);

// Whether a LocalPorts list names the port: numbers, ranges and "*" do; keywords ("RPC", "RPC-EPMap",
// "IPHTTPS", "Teredo", "Ply2Disc", ...) stand for ports chosen at run time and name none. An empty list
// means every port.
bool PortListCovers(std::wstring_view localPorts, std::uint16_t port);

// Whether the rule can apply to Remote Desktop's own listener: no program named, or svchost.exe, and no
// service named, or every service ("*"), or TermService.
bool AppliesToRemoteDesktop(const Rule& rule);

FirewallVerdict VerdictFor(const State& state, std::uint16_t port);

// The program's own allow rule (a fixed name) for inbound TCP on the port in the given profiles, and
// whether a rule read back from the firewall is that rule as written (and would admit Remote Desktop).
std::wstring OwnRuleName();
Rule OwnRule(std::uint16_t port, long profiles);
bool ReadsBackAsWritten(const Rule& written, const Rule& readBack);

}  // namespace firewall
}  // namespace guard
