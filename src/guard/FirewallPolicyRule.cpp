// Group Policy's firewall rules, as stored under the FirewallRules key of
// HKLM\SOFTWARE\Policies\Microsoft\WindowsFirewall: one string per rule, "v2.26|Action=Block|Active=TRUE|Dir=In|Protocol=6|LPort=3390|...|"
// (MS-GPFAS 2.2.2.19, https://learn.microsoft.com/openspecs/windows_protocols/ms-gpfas/2efe0b76-7b4a-41ff-9050-1023f8196d16).
// Only what decides an inbound connection is read; a field that narrows the rule in a way the model does
// not evaluate marks it so, and a string that does not follow the grammar is not read at all.

#include "guard/FirewallModel.h"
#include "guard/FirewallRuleParts.h"

#include <vector>

namespace guard::firewall {
namespace {

bool IsNumber(std::wstring_view text, std::uint32_t limit, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        number = number * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    if (number > limit) return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

// "v2.26": the grammar's version comes first. Only version 2 is the grammar read here: a later major
// version may mean what this reading does not know.
bool IsVersion(std::wstring_view text) {
    const size_t dot = text.find(L'.');
    std::uint32_t major = 0, minor = 0;
    return text.size() > 1 && text[0] == L'v' && dot != std::wstring_view::npos &&
           IsNumber(text.substr(1, dot - 1), 99, major) && IsNumber(text.substr(dot + 1), 99, minor) && major == 2;
}

bool Boolean(std::wstring_view value, bool& out) {
    if (SameNoCase(value, L"TRUE")) return out = true, true;
    if (SameNoCase(value, L"FALSE")) return out = false, true;
    return false;
}

void Append(std::wstring& list, std::wstring_view entry) {
    if (!list.empty()) list += L',';
    list += entry;
}

struct Seen {
    bool action = false, active = false, direction = false;
    long profiles = 0;
    std::vector<std::wstring_view> keys;  // the fields that may stand once, as met so far
};

// Numbers, ranges and the keywords Windows names dynamic ports by (MS-FASP 2.2.14); anything else is
// no port this reading understands.
bool IsPortEntry(std::wstring_view entry) {
    std::uint32_t low = 0, high = 0;
    if (ParsePortRange(entry, low, high)) return true;
    for (const wchar_t* keyword : {L"RPC", L"RPC-EPMap", L"IPHTTPS", L"IPHTTPSIn", L"IPHTTPSOut", L"Teredo",
                                   L"Ply2Disc", L"mDNS", L"DHCP", L"CORTANA_OUT"})
        if (SameNoCase(entry, keyword)) return true;
    return false;
}

bool AppendPorts(std::wstring& list, std::wstring_view value) {
    std::wstring_view rest = value;
    while (true) {
        const size_t comma = rest.find(L',');
        if (!IsPortEntry(rest.substr(0, comma))) return false;
        if (comma == std::wstring_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    Append(list, value);
    return true;
}

bool Repeats(std::wstring_view key) {
    for (const wchar_t* repeating : {L"LPort", L"LPort2_10", L"RPort", L"RPort2_10", L"LA4", L"LA6", L"RA4", L"RA6",
                                     L"Profile", L"IF", L"RUAuth", L"RMAuth", L"LUAuth"})
        if (key == repeating) return true;
    return false;
}

// One "Key=Value" field; false when its value breaks the grammar.
bool ReadField(std::wstring_view key, std::wstring_view value, Rule& rule, Seen& seen) {
    std::uint32_t number = 0;
    // A field that says one thing twice may mean either: not read as a guess.
    if (!Repeats(key)) {
        for (std::wstring_view seenKey : seen.keys)
            if (seenKey == key) return false;
        seen.keys.push_back(key);
    }
    if (key == L"Action") {
        seen.action = true;
        if (value == L"Allow") return rule.action = Action::Allow, true;
        if (value == L"Block") return rule.action = Action::Block, true;
        // Allow and bypass block rules for authenticated peers.
        if (value == L"ByPass") return rule.action = Action::Allow, rule.conditionsBeyondModel = true, true;
        return false;
    }
    if (key == L"Active") return seen.active = true, Boolean(value, rule.enabled);
    if (key == L"Dir") {
        seen.direction = true;
        if (value == L"In") return rule.direction = Direction::In, true;
        if (value == L"Out") return rule.direction = Direction::Out, true;
        return false;
    }
    if (key == L"Protocol") return IsNumber(value, 255, number) && (rule.protocol = static_cast<long>(number), true);
    if (key == L"Profile") {
        if (value == L"Domain") return seen.profiles |= kProfileDomain, true;
        if (value == L"Private") return seen.profiles |= kProfilePrivate, true;
        if (value == L"Public") return seen.profiles |= kProfilePublic, true;
        return false;
    }
    if (key == L"LPort" || key == L"LPort2_10") return AppendPorts(rule.localPorts, value);
    if (key == L"RPort" || key == L"RPort2_10") return AppendPorts(rule.remotePorts, value);
    if (key == L"LA4" || key == L"LA6") return !value.empty() && (Append(rule.localAddresses, value), true);
    if (key == L"RA4" || key == L"RA6") return !value.empty() && (Append(rule.remoteAddresses, value), true);
    if (key == L"App") return rule.applicationName = value, true;
    if (key == L"Svc") return rule.serviceName = value, true;
    if (key == L"Name") return rule.name = value, true;
    if (key == L"IFType") return rule.interfaceTypes = value, true;
    if (key == L"IF") return rule.interfaces.emplace_back(value), true;
    if (key == L"Edge") return Boolean(value, rule.edgeTraversal);
    if (key == L"Desc" || key == L"EmbedCtxt" || key == L"Defer") return true;
    // Authentication, users, machines, packages, platforms and whatever later versions add.
    rule.conditionsBeyondModel = true;
    return true;
}

}  // namespace

std::optional<Rule> ParsePolicyRule(std::wstring_view text) {
    const size_t bar = text.find(L'|');
    if (bar == std::wstring_view::npos || !IsVersion(text.substr(0, bar))) return std::nullopt;
    text.remove_prefix(bar + 1);
    Rule rule;
    rule.enabled = true;
    rule.protocol = kProtocolAny;
    Seen seen;
    while (!text.empty()) {
        const size_t end = text.find(L'|');
        if (end == std::wstring_view::npos) return std::nullopt;  // every field ends with "|"
        const std::wstring_view field = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (field.empty()) continue;
        const size_t equals = field.find(L'=');
        if (equals == std::wstring_view::npos || equals == 0) return std::nullopt;
        if (!ReadField(field.substr(0, equals), field.substr(equals + 1), rule, seen)) return std::nullopt;
    }
    // Action, Active and Dir are what every rule string states; one without them is not read as a guess.
    if (!seen.action || !seen.active || !seen.direction) return std::nullopt;
    rule.profiles = seen.profiles ? seen.profiles : kProfileAll;
    return rule;
}

}  // namespace guard::firewall
