// The program's own firewall rules: how they are named, scoped and recognised.

#include "base/DecimalText.h"
#include "common/ProgramTitle.h"
#include "guard/FirewallModel.h"
#include "guard/FirewallRuleParts.h"

namespace guard::firewall {
namespace {

bool IsExactly(std::wstring_view ports, std::uint16_t port) {
    std::uint32_t single = 0;
    return ParsePort(ports, single) && single == port;
}

// The names the program gives its rule for the port: its own, or, where another rule holds that
// name, the same with " (2)", " (3)", ... after it.
bool IsOwnName(std::wstring_view name, std::uint16_t port, long protocol) {
    const std::wstring base = OwnRuleName(port, protocol);
    if (name == base) return true;
    if (name.size() < base.size() + 4 || name.substr(0, base.size()) != base) return false;
    const std::wstring_view tail = name.substr(base.size());
    if (tail.substr(0, 2) != L" (" || tail.back() != L')') return false;
    const std::wstring_view digits = tail.substr(2, tail.size() - 3);
    if (digits.empty() || digits.size() > 3) return false;
    for (wchar_t c : digits)
        if (c < L'0' || c > L'9') return false;
    return true;
}

}  // namespace

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
    rule.applicationName = kRemoteDesktopProgram;
    rule.serviceName = kRemoteDesktopService;
    return rule;
}

bool IsOwnRule(const Rule& rule) { return rule.grouping == OwnGroup() || rule.name == LegacyOwnRuleName(); }

int RulesNamed(const State& state, const std::wstring& name) {
    int count = 0;
    for (const Rule& rule : state.rules) count += rule.name == name ? 1 : 0;
    return count;
}

bool IsOwnRuleFor(const Rule& rule, std::uint16_t port) {
    if (!IsExactly(rule.localPorts, port)) return false;
    if (rule.name == LegacyOwnRuleName()) return rule.grouping.empty() || rule.grouping == OwnGroup();
    return rule.grouping == OwnGroup() &&
           (IsOwnName(rule.name, port, kProtocolTcp) || IsOwnName(rule.name, port, kProtocolUdp));
}

bool MattersToTheModel(const Rule& rule) {
    return ConcernsInbound(rule, kProtocolTcp) || ConcernsInbound(rule, kProtocolUdp) || IsOwnRule(rule) ||
           rule.name.rfind(common::kProgramTitle, 0) == 0;
}

std::optional<std::uint16_t> OwnRulePort(const Rule& rule) {
    std::uint32_t port = 0;
    if (!ParsePort(rule.localPorts, port) || !IsOwnRuleFor(rule, static_cast<std::uint16_t>(port))) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

bool ReadsBackAsWritten(const Rule& written, const Rule& readBack) {
    return readBack.name == written.name && readBack.grouping == written.grouping &&
           readBack.protocol == written.protocol && Trimmed(readBack.localPorts) == written.localPorts &&
           readBack.direction == written.direction && readBack.action == written.action &&
           readBack.enabled == written.enabled &&
           (readBack.profiles & kEveryProfile) == (written.profiles & kEveryProfile) &&
           SameNoCase(Trimmed(readBack.applicationName), written.applicationName) &&
           SameNoCase(Trimmed(readBack.serviceName), written.serviceName) && Trimmed(readBack.localAppPackageId).empty() &&
           Trimmed(readBack.localUserOwner).empty() && !Narrowed(readBack);
}

}  // namespace guard::firewall
