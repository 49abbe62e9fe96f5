#include "support/FirewallSnapshotGen.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <iterator>
#include <optional>

#include "support/JsonReader.h"

namespace oracle {
namespace {

// ---- random choices -----------------------------------------------------------------------------------------

int Below(std::mt19937_64& rng, int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
bool Chance(std::mt19937_64& rng, int percent) { return Below(rng, 100) < percent; }
template <typename T>
T OneOf(std::mt19937_64& rng, std::initializer_list<T> choices) {
    return *(choices.begin() + Below(rng, static_cast<int>(choices.size())));
}
std::string OneOfText(std::mt19937_64& rng, std::initializer_list<const char*> choices) { return OneOf(rng, choices); }

// ---- JSON text ----------------------------------------------------------------------------------------------

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string List(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + Quote(items[i]);
    return out + "]";
}

// Members joined into an object; an empty member is left out.
std::string Object(std::initializer_list<std::string> members) {
    std::string out = "{";
    for (const auto& m : members) {
        if (m.empty()) continue;
        if (out.size() > 1) out += ",";
        out += m;
    }
    return out + "}";
}
std::string Member(std::string_view key, const std::string& value) { return Quote(key) + ":" + value; }

// ---- ports near the port ----------------------------------------------------------------------------------------

std::string Num(long n) { return std::to_string(std::clamp(n, 1L, 65535L)); }
std::string Span(long low, long high) { return Num(low) + "-" + Num(std::max(low, high)); }

// A local port list that takes in the port.
std::string CoveringPorts(std::mt19937_64& rng, long port) {
    switch (Below(rng, 6)) {
        case 0:
            return "*";
        case 1:
            return Num(port) + "," + Num(port == 3389 ? 3390 : 3389);
        case 2:
            return Span(port - 5, port + 5);
        case 3:
            return Span(port, port + 1);
        default:
            return Num(port);
    }
}

// A local port list beside the port: never the port itself.
std::string NearPorts(std::mt19937_64& rng, long port) {
    switch (Below(rng, 5)) {
        case 0:
            return port > 1 ? Num(port - 1) : Num(port + 1);
        case 1:
            return port < 65535 ? Num(port + 1) : Num(port - 1);
        case 2:
            return port < 65525 ? Span(port + 1, port + 10) : Span(port - 10, port - 1);
        case 3:
            return "RPC";
        default:
            return port == 443 ? "80" : "443";
    }
}

// ---- rules ---------------------------------------------------------------------------------------------------

constexpr const char* kProfiles[3] = {"domain", "private", "public"};

std::vector<std::string> SomeProfiles(std::mt19937_64& rng) {
    std::vector<std::string> out;
    while (out.empty())
        for (const char* p : kProfiles)
            if (Chance(rng, 50)) out.emplace_back(p);
    return out;
}

struct LocalRule {
    std::string name = "rule", group;
    bool enabled = true, inbound = true, block = false;
    int protocol = 6;
    std::string localPorts = "*", remotePorts = "*", localAddresses = "*", remoteAddresses = "*";
    std::vector<std::string> profiles{"domain", "private", "public"};
    std::string application, service, interfaceTypes = "All";
    std::vector<std::string> interfaces;
    bool edge = false;
    std::string packageId, owner, localUsers, remoteUsers, remoteMachines;
    int secureFlags = 0;

    // Every field, or, now and then, only those that differ from the default.
    std::string Json(std::mt19937_64& rng) const {
        const bool terse = Chance(rng, 30);
        auto field = [&](std::string_view key, const std::string& value, bool isDefault) {
            return terse && isDefault ? std::string() : Member(key, value);
        };
        const bool allProfiles = profiles.size() == 3;
        return Object({field("name", Quote(name), name.empty()),
                       field("group", Quote(group), group.empty()),
                       field("enabled", enabled ? "true" : "false", enabled),
                       field("direction", inbound ? "\"in\"" : "\"out\"", inbound),
                       field("action", block ? "\"block\"" : "\"allow\"", !block),
                       field("protocol", std::to_string(protocol), protocol == 6),
                       field("localPorts", Quote(localPorts), localPorts == "*"),
                       field("remotePorts", Quote(remotePorts), remotePorts == "*"),
                       field("localAddresses", Quote(localAddresses), localAddresses == "*"),
                       field("remoteAddresses", Quote(remoteAddresses), remoteAddresses == "*"),
                       field("profiles", List(profiles), allProfiles),
                       field("application", Quote(application), application.empty()),
                       field("service", Quote(service), service.empty()),
                       field("interfaceTypes", Quote(interfaceTypes), interfaceTypes == "All"),
                       field("interfaces", List(interfaces), interfaces.empty()),
                       field("edgeTraversal", edge ? "true" : "false", !edge),
                       field("localAppPackageId", Quote(packageId), packageId.empty()),
                       field("localUserOwner", Quote(owner), owner.empty()),
                       field("localUserAuthorizedList", Quote(localUsers), localUsers.empty()),
                       field("remoteUserAuthorizedList", Quote(remoteUsers), remoteUsers.empty()),
                       field("remoteMachineAuthorizedList", Quote(remoteMachines), remoteMachines.empty()),
                       field("secureFlags", std::to_string(secureFlags), secureFlags == 0)});
    }
};

const char* const kSvchost = "%SystemRoot%\\system32\\svchost.exe";
const char* const kAdminMachine = "S-1-5-21-1004336348-1177238915-682003330-1105";
const char* const kAdminUser = "S-1-5-21-1004336348-1177238915-682003330-1001";

// One narrowing that keeps a rule from taking in every peer on every interface.
void Narrow(std::mt19937_64& rng, LocalRule& r, long port) {
    switch (Below(rng, 12)) {
        case 0:
            r.remoteAddresses = OneOfText(rng, {"LocalSubnet", "10.0.0.0/8", "192.168.1.0/255.255.255.0",
                                                "203.0.113.1-203.0.113.100", "2001:db8::/32", "Internet", "DNS"});
            break;
        case 1:
            r.remotePorts = OneOf(rng, {Num(port), std::string("1024-65535"), std::string("49152-65535")});
            break;
        case 2:
            r.interfaceTypes = OneOfText(rng, {"Lan", "Wireless", "RemoteAccess", "Lan,Wireless"});
            break;
        case 3:
            r.interfaces = {OneOfText(rng, {"Ethernet", "Wi-Fi"})};
            break;
        case 4:
            r.localAddresses = OneOfText(rng, {"192.168.1.10", "192.168.1.0/24", "2001:db8::10", "10.0.0.1-10.0.0.9"});
            break;
        case 5:
            r.profiles = SomeProfiles(rng);
            break;
        case 6:
            r.application = OneOfText(rng, {"C:\\Program Files\\Other\\other.exe", "%windir%\\System32\\SVCHOST.EXE"});
            break;
        case 7:
            r.service = OneOfText(rng, {"Spooler", "TermService", "*"});
            break;
        case 8:
            r.secureFlags = OneOf(rng, {1, 2, 4});
            break;
        case 9:
            r.secureFlags = 1;
            r.remoteMachines = std::string("O:LSD:(A;;CC;;;") + kAdminMachine + ")";
            break;
        case 10:
            r.owner = OneOfText(rng, {"S-1-5-20", "S-1-5-21-1004336348-1177238915-682003330-1013"});
            break;
        default:
            r.localUsers = OneOfText(rng, {"O:LSD:(A;;CC;;;S-1-5-20)", "O:LSD:(A;;CC;;;S-1-5-19)", "D:(A;;CC;;;WD)"});
            break;
    }
}

// A rule near the port: on it or beside it, either action, now and then narrowed, disabled or outbound.
LocalRule RandomRule(std::mt19937_64& rng, long port, int index) {
    LocalRule r;
    r.name = "Rule " + std::to_string(index);
    r.group = Chance(rng, 20) ? "@FirewallAPI.dll,-28752" : "";
    r.block = Chance(rng, 40);
    r.enabled = Chance(rng, 90);
    r.inbound = Chance(rng, 90);
    r.protocol = OneOf(rng, {6, 6, 6, 17, 17, 256, 256, 1});
    if (r.protocol == 6 || r.protocol == 17)
        r.localPorts = Chance(rng, 60) ? CoveringPorts(rng, port) : NearPorts(rng, port);
    if (Chance(rng, 20)) r.profiles = SomeProfiles(rng);
    if (Chance(rng, 20))
        r.application = OneOfText(rng, {kSvchost, "C:\\Windows\\System32\\svchost.exe", "C:\\Tools\\app.exe"});
    if (Chance(rng, 20)) r.service = OneOfText(rng, {"TermService", "*", "Spooler"});
    if (Chance(rng, 35)) Narrow(rng, r, port);
    if (Chance(rng, 8)) r.packageId = "S-1-15-2-1430448594-2639229838-973813799-439329657";
    if (Chance(rng, 5)) r.edge = true;
    if (r.protocol != 6 && r.protocol != 17) r.remotePorts = "*";
    if (r.block && r.secureFlags) r.secureFlags = Chance(rng, 70) ? 0 : r.secureFlags;  // now and then an invalid rule
    return r;
}

// The program's own kind of rule: the port, one protocol, every profile, nothing narrowed.
LocalRule PortRule(std::mt19937_64& rng, long port, int protocol) {
    LocalRule r;
    r.name = "Remote Desktop " + Num(port) + (protocol == 6 ? " TCP" : protocol == 17 ? " UDP" : "");
    r.protocol = protocol;
    if (protocol != 256) r.localPorts = CoveringPorts(rng, port);
    if (Chance(rng, 30)) r.application = kSvchost, r.service = "TermService";
    return r;
}

// ---- Group Policy -----------------------------------------------------------------------------------------------

// A policy key's values (name, DWORD); an absent key is std::nullopt, an empty list a key with no values.
using PolicyKey = std::optional<std::vector<std::pair<std::string, int>>>;

PolicyKey PolicyValues(std::mt19937_64& rng, bool standard) {
    std::vector<std::pair<std::string, int>> values;
    auto value = [&](const char* name, int chance, std::initializer_list<int> choices) {
        if (!Chance(rng, chance)) return;
        values.emplace_back(name,
                            Chance(rng, 4) ? 2 : OneOf(rng, choices));  // now and then a value with no written meaning
    };
    value("EnableFirewall", 50, {1, 1, 0});
    value("DoNotAllowExceptions", 25, {0, 0, 1});
    if (!standard || Chance(rng, 20)) value("DefaultInboundAction", 35, {1, 1, 0});  // "MUST NOT be present" there
    if (!standard || Chance(rng, 20)) value("AllowLocalPolicyMerge", 35, {1, 0});
    value("GloballyOpenPortsMerge", 15, {1, 0});
    value("AuthorizedApplicationsMerge", 15, {1, 0});
    return values;
}

std::string PolicyRule(std::mt19937_64& rng, long port, int index) {
    std::string action = OneOfText(rng, {"Allow", "Allow", "Block", "Block", "ByPass"});
    std::string rule = OneOfText(rng, {"v2.10", "v2.26", "v2.30"}) + std::string("|Action=") + action + "|";
    if (!Chance(rng, 8)) rule += std::string("Active=") + (Chance(rng, 85) ? "TRUE" : "FALSE") + "|";
    rule += std::string("Dir=") + (Chance(rng, 90) ? "In" : "Out") + "|";
    const int protocol = OneOf(rng, {6, 6, 17, 0});
    if (protocol) {
        rule += "Protocol=" + std::to_string(protocol) + "|";
        switch (Below(rng, 5)) {
            case 0:
                rule += "LPort=" + Num(port) + "|LPort=" + Num(port == 3389 ? 3390 : 3389) + "|";
                break;
            case 1:
                rule += "LPort2_10=" + Span(port - 2, port + 2) + "|";
                break;
            case 2:
                rule += "LPort=" + (Chance(rng, 50) ? Num(port + 1) : std::string("RPC")) + "|";
                break;
            case 3:
                break;
            default:
                rule += "LPort=" + Num(port) + "|";
                break;
        }
        if (Chance(rng, 10)) rule += "RPort=" + Num(port) + "|";
    }
    if (Chance(rng, 40))
        for (const auto& p : SomeProfiles(rng))
            rule += "Profile=" + std::string(1, static_cast<char>(p[0] - 32)) + p.substr(1) + "|";
    if (Chance(rng, 15))
        rule += OneOfText(rng, {"RA4=LocalSubnet|", "RA4=10.0.0.0/8|", "RA6=2001:db8::/32|", "RA42=IntErnet|"});
    if (Chance(rng, 8)) rule += "LA4=192.168.1.10|";
    if (Chance(rng, 10)) rule += "IFType=" + OneOfText(rng, {"Lan", "Wireless", "RemoteAccess"}) + std::string("|");
    if (Chance(rng, 20)) rule += std::string("App=") + kSvchost + "|";
    if (Chance(rng, 15)) rule += std::string("Svc=") + OneOfText(rng, {"TermService", "*", "Spooler"}) + "|";
    if (action == "ByPass" || Chance(rng, 5))
        rule += std::string("Security=Authenticate|RMAuth=O:LSD:(A;;CC;;;") + kAdminMachine + ")|";
    if (Chance(rng, 4)) rule += "Platform=2:6:2|Platform2=GTEQ|";
    rule += "Name=Policy rule " + std::to_string(index) + "|";
    if (Chance(rng, 15)) {  // malformed in one way or another
        switch (Below(rng, 7)) {
            case 0:
                rule.pop_back();
                break;  // no closing "|"
            case 1:
                rule += "LPort=70000|";
                break;  // out of range
            case 2:
                rule += "Foo=bar|";
                break;  // a field of some later version
            case 3:
                rule = "hello";
                break;
            case 4:
                rule += "Action=Allow|";
                break;  // twice
            case 5:
                rule += "Dir=Sideways|";
                break;
            default:
                rule = "v3.0|Action=Block|Active=TRUE|Dir=In|";
                break;  // a major version Windows ignores
        }
    }
    return rule;
}

// ---- snapshots ---------------------------------------------------------------------------------------------------

struct Draft {
    std::vector<std::string> current{"domain"};
    std::string modifyState = "ok";
    bool enabled[3] = {true, true, true}, blockAll[3] = {false, false, false}, defaultAllow[3] = {false, false, false};
    PolicyKey policy[4];  // domain, private, public, standard
    std::vector<std::string> excluded, policyRules, rules, serviceRules;
    int unreadable = 0;
    bool mdm = false, restricted = false;

    std::string Json() const {
        std::string profiles = "{";
        for (int i = 0; i < 3; ++i)
            profiles += std::string(i ? "," : "") +
                        Member(kProfiles[i],
                               Object({Member("enabled", enabled[i] ? "true" : "false"),
                                       Member("blockAllInbound", blockAll[i] ? "true" : "false"),
                                       Member("defaultInboundAction", defaultAllow[i] ? "\"allow\"" : "\"block\"")}));
        profiles += "}";
        const char* keys[4] = {"domain", "private", "public", "standard"};
        std::string policies = "{";
        for (int i = 0; i < 4; ++i)
            if (policy[i]) {
                std::string values = "{";
                for (const auto& [name, v] : *policy[i])
                    values += (values.size() > 1 ? "," : "") + Member(name, std::to_string(v));
                policies += std::string(policies.size() > 1 ? "," : "") + Member(keys[i], values + "}");
            }
        policies += "}";
        auto array = [](const std::vector<std::string>& objects) {
            std::string out = "[";
            for (size_t i = 0; i < objects.size(); ++i) out += (i ? "," : "") + objects[i];
            return out + "]";
        };
        return Object({Member("format", "\"rdpport-firewall-snapshot\""), Member("version", "1"),
                       Member("currentProfiles", List(current)), Member("modifyState", Quote(modifyState)),
                       Member("profiles", profiles), Member("policy", policies),
                       Member("excludedInterfaces", List(excluded)), Member("policyRules", List(policyRules)),
                       Member("rules", array(rules)), Member("unreadableRules", std::to_string(unreadable)),
                       Member("mdmPolicy", mdm ? "true" : "false"),
                       Member("termServiceRestricted", restricted ? "true" : "false"),
                       Member("termServiceRules", array(serviceRules))});
    }
};

// A plain firewall: on, blocking by default, with the port's allow rules, now and then narrowed, now and then
// closed by a block rule, "block all" or the lack of a rule.
void Plain(std::mt19937_64& rng, long port, Draft& d) {
    std::vector<LocalRule> rules;
    switch (Below(rng, 4)) {
        case 0:
            rules.push_back(PortRule(rng, port, 256));
            break;
        case 1:
            rules.push_back(PortRule(rng, port, 6));
            break;
        default:
            rules.push_back(PortRule(rng, port, 6)), rules.push_back(PortRule(rng, port, 17));
            break;
    }
    if (Chance(rng, 25)) Narrow(rng, rules[static_cast<size_t>(Below(rng, static_cast<int>(rules.size())))], port);
    switch (Below(rng, 10)) {
        case 0:  // closed: the rules are for a port beside this one
            for (auto& r : rules)
                if (r.protocol != 256)
                    r.localPorts = NearPorts(rng, port);
                else
                    r.enabled = false;
            break;
        case 1: {  // closed: a block rule on the port
            LocalRule b = PortRule(rng, port, OneOf(rng, {6, 256}));
            b.name = "Block " + Num(port), b.block = true;
            if (Chance(rng, 40)) Narrow(rng, b, port);
            rules.push_back(b);
            break;
        }
        case 2:
            d.blockAll[Below(rng, 3)] = true;
            break;
        default:
            break;
    }
    const int extras = Below(rng, 3);
    for (int i = 0; i < extras; ++i) {
        LocalRule e = RandomRule(rng, port, i);
        if (e.block && Chance(rng, 50)) e.localPorts = NearPorts(rng, port);  // mostly beside the port
        rules.push_back(e);
    }
    for (const auto& r : rules) d.rules.push_back(r.Json(rng));
}

void Everything(std::mt19937_64& rng, long port, Draft& d) {
    for (int i = 0; i < 3; ++i) {
        d.enabled[i] = Chance(rng, 85), d.blockAll[i] = Chance(rng, 10), d.defaultAllow[i] = Chance(rng, 15);
        if (Chance(rng, 30)) d.policy[i] = PolicyValues(rng, false);
    }
    if (Chance(rng, 15)) d.policy[3] = PolicyValues(rng, true);
    const int policyRules = Below(rng, 4);
    for (int i = 0; i < policyRules; ++i) d.policyRules.push_back(PolicyRule(rng, port, i));
    const int rules = Below(rng, 7);
    for (int i = 0; i < rules; ++i) d.rules.push_back(RandomRule(rng, port, i).Json(rng));
    if (Chance(rng, 40)) d.rules.push_back(PortRule(rng, port, OneOf(rng, {6, 256})).Json(rng));
    if (Chance(rng, 15)) d.excluded = {OneOfText(rng, {"Ethernet", "Ethernet 2", "Wi-Fi"})};
    if (Chance(rng, 8)) d.unreadable = 1 + Below(rng, 2);
    d.mdm = Chance(rng, 4);
    if (Chance(rng, 12)) {
        d.restricted = true;
        LocalRule wsh = PortRule(rng, port, OneOf(rng, {6, 17, 256}));
        wsh.application = kSvchost, wsh.service = "TermService";
        if (Chance(rng, 40)) wsh.localPorts = port == 3389 ? "3390" : "3389";
        d.serviceRules.push_back(wsh.Json(rng));
        if (Chance(rng, 30)) {
            LocalRule stop = wsh;
            stop.block = true, stop.localPorts = "*", stop.protocol = 6;
            if (Chance(rng, 50)) stop.remoteAddresses = "Internet";
            d.serviceRules.push_back(stop.Json(rng));
        }
    }
}

// The value Group Policy gives a profile (the StandardProfile key standing in for Private and Public where
// neither of their keys exists), or -1.
int PolicyValue(const Draft& d, int profile, const char* name) {
    const int key = profile != 0 && !d.policy[1] && !d.policy[2] ? 3 : profile;
    if (!d.policy[key]) return -1;
    for (const auto& [n, v] : *d.policy[key])
        if (n == name) return v;
    return -1;
}

// LocalPolicyModifyState as Windows would report it for the current profiles: inbound blocked where one of
// them blocks all inbound traffic, Group Policy's override where one ignores local rules, "ok" otherwise. Now
// and then a state at random, which may not fit the settings.
std::string ModifyState(std::mt19937_64& rng, const Draft& d) {
    if (Chance(rng, 8)) return OneOfText(rng, {"ok", "gp-override", "inbound-blocked"});
    bool blocked = false, overridden = false;
    for (const auto& name : d.current) {
        const int p =
            static_cast<int>(std::find(std::begin(kProfiles), std::end(kProfiles), name) - std::begin(kProfiles));
        const int enable = PolicyValue(d, p, "EnableFirewall");
        const bool on = enable == -1 ? d.enabled[p] : enable == 1;
        blocked |= on && (d.blockAll[p] || PolicyValue(d, p, "DoNotAllowExceptions") == 1);
        overridden |= p == 0 || d.policy[1] || d.policy[2] ? PolicyValue(d, p, "AllowLocalPolicyMerge") == 0 : false;
    }
    return blocked ? "inbound-blocked" : overridden ? "gp-override" : "ok";
}

}  // namespace

std::string GenerateSnapshot(std::mt19937_64& rng, std::uint16_t port) {
    Draft d;
    d.current.clear();
    if (Chance(rng, 60))
        d.current.emplace_back(kProfiles[Below(rng, 3)]);
    else
        d.current = SomeProfiles(rng);
    const int kind = Below(rng, 100);
    if (kind < 34) {
        Plain(rng, port, d);
        if (Chance(rng, 20)) d.policy[Below(rng, 3)] = {{{"EnableFirewall", 1}, {"AllowLocalPolicyMerge", 1}}};
    } else if (kind < 46) {  // the firewall off in some profiles, locally or by policy
        Plain(rng, port, d);
        for (int i = 0; i < 3; ++i) {
            if (Chance(rng, 50))
                d.enabled[i] = false;
            else if (Chance(rng, 30))
                d.policy[i] = {{{"EnableFirewall", 0}}};
        }
    } else if (kind < 56) {  // allow by default, locally or by policy
        for (int i = 0; i < 3; ++i) {
            if (Chance(rng, 60))
                d.defaultAllow[i] = true;
            else if (Chance(rng, 30))
                d.policy[i] = {{{"DefaultInboundAction", 0}}};
        }
        const int rules = Below(rng, 3);
        for (int i = 0; i < rules; ++i) d.rules.push_back(RandomRule(rng, port, i).Json(rng));
    } else {
        Everything(rng, port, d);
    }
    d.modifyState = ModifyState(rng, d);
    return d.Json();
}

namespace {

// ---- packets ---------------------------------------------------------------------------------------------------

std::string Narrow8(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += static_cast<char>(c < 0x80 ? c : '?');
    return out;
}

IpAddress Step(IpAddress a, int delta) {
    const int last = a.v6 ? 15 : 3;
    for (int i = last; i >= 0; --i) {
        auto& byte = a.bytes[static_cast<size_t>(i)];
        if (delta > 0 ? byte != 0xFF : byte != 0x00) {
            byte = static_cast<std::uint8_t>(byte + delta);
            return a;
        }
        byte = delta > 0 ? 0x00 : 0xFF;
    }
    return a;  // wrapped around: still an address
}

IpAddress Edge(IpAddress a, int prefix, bool high) {
    for (int bit = prefix; bit < (a.v6 ? 128 : 32); ++bit) {
        auto& byte = a.bytes[static_cast<size_t>(bit / 8)];
        const auto mask = static_cast<std::uint8_t>(0x80 >> (bit % 8));
        byte = static_cast<std::uint8_t>(high ? (byte | mask) : (byte & ~mask));
    }
    return a;
}

struct Harvest {
    std::vector<IpAddress> addresses;
    std::vector<long> remotePorts;
    std::vector<std::string> keywords{"LocalSubnet", "Internet", "Intranet", "DNS", "DefaultGateway"};
    std::vector<std::string> interfaces{"Ethernet", "Wi-Fi", "Ethernet 2", "VPN"};
    std::vector<std::string> sids{kAdminMachine, kAdminUser};

    // An address token's edges and their neighbours outside.
    void Address(const std::string& token) {
        const size_t dash = token.find('-'), slash = token.find('/');
        std::optional<IpAddress> low, high;
        if (dash != std::string::npos) {
            low = ParseIpAddress(token.substr(0, dash)), high = ParseIpAddress(token.substr(dash + 1));
        } else if (slash != std::string::npos) {
            const auto base = ParseIpAddress(token.substr(0, slash));
            const std::string suffix = token.substr(slash + 1);
            int prefix = -1;
            if (const auto mask = ParseIpAddress(suffix); mask && !mask->v6) {
                prefix = 0;
                while (prefix < 32 && (mask->bytes[static_cast<size_t>(prefix / 8)] & (0x80 >> (prefix % 8)))) ++prefix;
            } else if (!suffix.empty() && suffix.size() <= 3 &&
                       std::all_of(suffix.begin(), suffix.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                prefix = std::stoi(suffix);
            }
            if (base && prefix >= 0 && prefix <= (base->v6 ? 128 : 32))
                low = Edge(*base, prefix, false), high = Edge(*base, prefix, true);
        } else {
            low = high = ParseIpAddress(token);
        }
        if (!low || !high) {
            if (!token.empty() && token != "*") keywords.push_back(token);
            return;
        }
        for (const auto& a : {*low, *high, Step(*low, -1), Step(*high, +1), Step(*low, +1)}) addresses.push_back(a);
    }
    void Ports(const std::string& list) {
        size_t start = 0;
        while (start <= list.size()) {
            const size_t comma = list.find(',', start);
            const std::string token =
                list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            const size_t dash = token.find('-');
            try {
                const long low = std::stol(token.substr(0, dash));
                const long high = dash == std::string::npos ? low : std::stol(token.substr(dash + 1));
                for (long p : {low, high, low - 1, high + 1})
                    if (p >= 1 && p <= 65535) remotePorts.push_back(p);
            } catch (...) {  // "*" or a keyword: nothing to aim at
            }
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    void Sids(const std::string& text) {
        for (size_t at = text.find("S-1-"); at != std::string::npos; at = text.find("S-1-", at + 1)) {
            size_t end = at;
            while (end < text.size() &&
                   (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '-' || text[end] == 'S'))
                ++end;
            sids.push_back(text.substr(at, end - at));
        }
    }
    void Rule(const testkit::JsonValue& r) {
        auto text = [&](const char* key) { return Narrow8(r[key].text); };
        for (const char* key : {"localAddresses", "remoteAddresses"}) {
            const std::string list = text(key);
            size_t start = 0;
            while (true) {
                const size_t comma = list.find(',', start);
                Address(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        }
        Ports(text("remotePorts"));
        for (const auto& name : r["interfaces"].items) interfaces.push_back(Narrow8(name.text));
        for (const char* key : {"remoteUserAuthorizedList", "remoteMachineAuthorizedList"}) Sids(text(key));
    }
    void PolicyRule(const std::string& rule) {
        size_t start = 0;
        while (start < rule.size()) {
            const size_t bar = rule.find('|', start);
            const std::string field = rule.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
            const size_t eq = field.find('=');
            if (eq != std::string::npos) {
                const std::string name = field.substr(0, eq), value = field.substr(eq + 1);
                if (name == "LA4" || name == "LA6" || name == "RA4" || name == "RA6" || name == "RA42" ||
                    name == "RA62")
                    Address(value);
                if (name == "RPort" || name == "RPort2_10") Ports(value);
                if (name == "RMAuth" || name == "RUAuth") Sids(value);
            }
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
    }
};

bool Usable(const IpAddress& a, bool remote) {
    const bool zero =
        std::all_of(a.bytes.begin(), a.bytes.begin() + (a.v6 ? 16 : 4), [](std::uint8_t b) { return b == 0; });
    if (zero) return false;
    if (!remote) return true;
    if (!a.v6) return a.bytes[0] != 127;
    return !(std::all_of(a.bytes.begin(), a.bytes.begin() + 15, [](std::uint8_t b) { return b == 0; }) &&
             a.bytes[15] == 1);
}

IpAddress PickAddress(std::mt19937_64& rng, const Harvest& h, bool v6, bool remote) {
    std::vector<IpAddress> pool;
    for (const auto& a : h.addresses)
        if (a.v6 == v6 && Usable(a, remote)) pool.push_back(a);
    if (!pool.empty() && Chance(rng, remote ? 65 : 50))
        return pool[static_cast<size_t>(Below(rng, static_cast<int>(pool.size())))];
    const auto text = v6 ? (remote ? OneOfText(rng, {"2001:db8::99", "2001:db8:1::5", "fe80::2", "2a00:1450::1"})
                                   : OneOfText(rng, {"2001:db8::10", "fe80::1"}))
                         : (remote ? OneOfText(rng, {"203.0.113.7", "192.168.1.20", "10.1.2.3", "198.51.100.1"})
                                   : OneOfText(rng, {"192.168.1.10", "10.0.0.5", "172.16.0.4"}));
    return *ParseIpAddress(text);
}

}  // namespace

std::vector<Packet> DrawPackets(std::mt19937_64& rng, std::string_view snapshotUtf8, const std::string& profile,
                                int protocol, std::uint16_t port, int count) {
    Harvest h;
    if (const auto doc = testkit::ParseJson(snapshotUtf8)) {
        for (const char* key : {"rules", "termServiceRules"})
            for (const auto& r : (*doc)[key].items) h.Rule(r);
        for (const auto& r : (*doc)["policyRules"].items) h.PolicyRule(Narrow8(r.text));
        for (const auto& name : (*doc)["excludedInterfaces"].items) h.interfaces.push_back(Narrow8(name.text));
    }
    const bool anyV6 = std::any_of(h.addresses.begin(), h.addresses.end(), [](const IpAddress& a) { return a.v6; });
    std::vector<Packet> packets;
    for (int i = 0; i < count; ++i) {
        Packet p;
        p.profile = profile, p.protocol = protocol, p.localPort = port;
        const bool v6 = Chance(rng, anyV6 ? 35 : 20);
        p.localAddress = FormatIpAddress(PickAddress(rng, h, v6, false));
        p.remoteAddress = FormatIpAddress(PickAddress(rng, h, v6, true));
        if (!h.remotePorts.empty() && Chance(rng, 45))
            p.remotePort = static_cast<std::uint16_t>(
                h.remotePorts[static_cast<size_t>(Below(rng, static_cast<int>(h.remotePorts.size())))]);
        else
            p.remotePort = Chance(rng, 10) ? port : static_cast<std::uint16_t>(1024 + Below(rng, 64512));
        for (const auto& k : h.keywords)
            if (Chance(rng, 30)) p.remoteIs.push_back(k);
        p.interfaceType = OneOfText(rng, {"Lan", "Wireless", "RemoteAccess"});
        p.interfaceName = h.interfaces[static_cast<size_t>(Below(rng, static_cast<int>(h.interfaces.size())))];
        p.authenticated = Chance(rng, 30);
        if (p.authenticated) {
            auto sid = [&] {
                if (Chance(rng, 20)) return std::string();
                if (Chance(rng, 60)) return h.sids[static_cast<size_t>(Below(rng, static_cast<int>(h.sids.size())))];
                return "S-1-5-21-7-7-7-" + std::to_string(1000 + Below(rng, 50));
            };
            p.remoteUser = sid(), p.remoteMachine = sid();
        }
        packets.push_back(std::move(p));
    }
    return packets;
}

std::vector<std::pair<std::string, std::string>> ReviewScenarios(std::uint16_t port) {
    const std::string p = std::to_string(port);
    auto snapshot = [](const std::string& current, const std::string& more) {
        return "{\"format\":\"rdpport-firewall-snapshot\",\"version\":1,\"currentProfiles\":" + current + more + "}";
    };
    const std::string domain = "[\"domain\"]";
    const std::string allowTcp =
        "{\"name\":\"Remote Desktop " + p + " TCP\",\"protocol\":6,\"localPorts\":\"" + p + "\"}";
    auto blockTcp = [&](const std::string& narrowing) {
        return "{\"name\":\"Block " + p + "\",\"action\":\"block\",\"protocol\":6,\"localPorts\":\"" + p + "\"," +
               narrowing + "}";
    };
    const std::string wide = Span(port - 500L, port + 500L);
    return {
        {"N1-interface-type",
         snapshot(domain, ",\"rules\":[" + allowTcp + "," + blockTcp("\"interfaceTypes\":\"Lan\"") + "]")},
        {"N1-local-address",
         snapshot(domain, ",\"rules\":[" + allowTcp + "," + blockTcp("\"localAddresses\":\"192.168.1.10\"") + "]")},
        {"N1-remote-range", snapshot(domain, ",\"rules\":[" + allowTcp + "," +
                                                 blockTcp("\"remoteAddresses\":\"0.0.0.0-255.255.255.255\"") + "]")},
        {"N2-local-subnet",
         snapshot(domain, ",\"rules\":[{\"name\":\"Intranet application\",\"protocol\":6,\"localPorts\":\"" + wide +
                              "\",\"remoteAddresses\":\"LocalSubnet\"}]")},
        {"N3-domain-only",
         snapshot(domain, ",\"rules\":[{\"name\":\"Remote Desktop " + p + "\",\"protocol\":6,\"localPorts\":\"" + p +
                              "\",\"profiles\":[\"domain\"]}]")},
        {"N4-remote-port",
         snapshot(domain, ",\"rules\":[{\"name\":\"Mistaken\",\"protocol\":6,\"localPorts\":\"*\",\"remotePorts\":\"" +
                              p + "\"}]")},
        {"N8-public-block-all",
         snapshot("[\"domain\",\"public\"]",
                  ",\"modifyState\":\"inbound-blocked\",\"profiles\":{\"public\":{\"blockAllInbound\":true}},"
                  "\"rules\":[" +
                      allowTcp + "]")},
        {"N8-public-no-merge",
         snapshot("[\"domain\",\"public\"]",
                  ",\"modifyState\":\"gp-override\",\"policy\":{\"public\":{\"AllowLocalPolicyMerge\":0}},"
                  "\"rules\":[" +
                      allowTcp + "]")},
    };
}

}  // namespace oracle
