#include "guard/FirewallModel.h"

#include <algorithm>

#include "base/DecimalText.h"
#include "common/ProgramTitle.h"

namespace guard::firewall {
namespace {

constexpr std::uint32_t kHighestPort = 65535;

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

std::wstring_view FileNameOf(std::wstring_view path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

bool Concerns(const Rule& rule, const Profile& profile, std::uint16_t port) {
    return ConcernsInboundTcp(rule) && (rule.profiles & profile.type) != 0 && PortListCovers(rule.localPorts, port) && AppliesToRemoteDesktop(rule);
}

bool ProfileAdmits(const State& state, const Profile& profile, std::uint16_t port) {
    if (profile.blockAllInbound) return false;
    bool allowed = profile.inboundAllowedByDefault;
    for (const Rule& rule : state.rules) {
        if (!Concerns(rule, profile, port)) continue;
        if (rule.action == Action::Allow) {
            // An allow rule limited to some addresses still admits the administrator's own address,
            // as far as anyone here can tell.
            allowed = true;
        } else if (AnyAddress(rule.localAddresses) && AnyAddress(rule.remoteAddresses)) {
            // Block beats allow; a block limited to some addresses may well not be the administrator's.
            return false;
        }
    }
    return allowed;
}

}  // namespace

bool ConcernsInboundTcp(const Rule& rule) {
    return rule.enabled && rule.direction == Direction::In &&
           (rule.protocol == kProtocolTcp || rule.protocol == kProtocolAny);
}

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

FirewallVerdict VerdictFor(const State& state, std::uint16_t port) {
    if (!state.known || state.current.empty()) return FirewallVerdict::Unknown;
    for (const Profile& profile : state.current) {
        if (profile.firewallOn && !ProfileAdmits(state, profile, port)) return FirewallVerdict::Closed;
    }
    return FirewallVerdict::Admits;
}

std::wstring OwnRuleName() { return std::wstring(common::kProgramTitle) + L" - 远程桌面 TCP"; }

Rule OwnRule(std::uint16_t port, long profiles) {
    Rule rule;
    rule.name = OwnRuleName();
    rule.protocol = kProtocolTcp;
    rule.localPorts = base::DecimalText64(port);
    rule.direction = Direction::In;
    rule.action = Action::Allow;
    rule.enabled = true;
    rule.profiles = profiles;
    return rule;
}

bool ReadsBackAsWritten(const Rule& written, const Rule& readBack) {
    return readBack.name == written.name && readBack.protocol == written.protocol &&
           Trimmed(readBack.localPorts) == written.localPorts && readBack.direction == written.direction &&
           readBack.action == written.action && readBack.enabled == written.enabled &&
           (readBack.profiles & written.profiles) == written.profiles && AppliesToRemoteDesktop(readBack);
}

}  // namespace guard::firewall
