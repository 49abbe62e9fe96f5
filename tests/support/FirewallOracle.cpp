// The firewall evaluator. Everything here comes from Microsoft's pages; the address is given wherever
// the behaviour is not obvious. The abbreviations:
//   FASP   the Firewall and Advanced Security Protocol,
//   https://learn.microsoft.com/openspecs/windows_protocols/ms-fasp/ GPFAS  Group Policy: Firewall and Advanced
//   Security Data Structure,
//          https://learn.microsoft.com/openspecs/windows_protocols/ms-gpfas/
//
// The snapshot, format 1, is UTF-8 JSON. Fields may come in any order; unknown fields are ignored; a
// missing optional field takes the default shown:
//   {"format": "rdpport-firewall-snapshot", "version": 1,
//    "currentProfiles": ["domain"],            INetFwPolicy2::CurrentProfileTypes
//    "modifyState": "ok",                      INetFwPolicy2::LocalPolicyModifyState: "ok" | "gp-override" |
//    "inbound-blocked" "profiles": {"domain": {"enabled": true, "blockAllInbound": false, "defaultInboundAction":
//    "block"}, ...},
//                                              the local settings (FirewallEnabled, BlockAllInboundTraffic,
//                                              DefaultInboundAction)
//    "policy": {"domain": {...}, "private": {...}, "public": {...}, "standard": {...}},
//              Group Policy's values under HKLM\SOFTWARE\Policies\Microsoft\WindowsFirewall\<Profile>Profile:
//              EnableFirewall, DefaultInboundAction, AllowLocalPolicyMerge, DoNotAllowExceptions,
//              GloballyOpenPortsMerge (GloballyOpenPorts, AllowUserPrefMerge), AuthorizedApplicationsMerge
//              (AuthorizedApplications\AllowUserPrefMerge); a profile left out: its key does not exist; an empty
//              object: the key exists with no values.
//    "excludedInterfaces": [],                 interface names the firewall does not apply to
//    "policyRules": ["v2.26|Action=Block|..."],  the values under ...\WindowsFirewall\FirewallRules (GPFAS 2.2.2.19)
//    "rules": [{rule}],                        the local rules as INetFwRule/INetFwRule3 report them
//    "unreadableRules": 0, "mdmPolicy": false,
//    "termServiceRestricted": false, "termServiceRules": [{rule}]}   Windows Service Hardening for TermService
//   {rule} = {"name": "", "group": "", "enabled": true, "direction": "in", "action": "allow", "protocol": 6,
//             "localPorts": "*", "remotePorts": "*", "localAddresses": "*", "remoteAddresses": "*",
//             "profiles": ["domain", "private", "public"], "application": "", "service": "", "interfaceTypes": "All",
//             "interfaces": [], "edgeTraversal": false, "localAppPackageId": "", "localUserOwner": "",
//             "localUserAuthorizedList": "", "remoteUserAuthorizedList": "", "remoteMachineAuthorizedList": "",
//             "secureFlags": 0}     (protocol 256 = any; secureFlags as NET_FW_AUTHENTICATE_TYPE)
//
// How the answer is reached. Every fact the decision uses is three-valued (no, maybe, yes): a rule's
// match, whether a setting is on, whether a rule is enforced at all. A "maybe" is whatever the snapshot
// or the documentation leaves open. The decision is then worked out for every way the maybes could
// fall; one answer for all of them is the answer, and two different answers make it Depends.

#include "support/FirewallOracle.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "support/JsonReader.h"

namespace oracle {
namespace {

using testkit::JsonValue;

// ---- three-valued logic --------------------------------------------------------------------------------

enum class Tri { No, Maybe, Yes };

Tri And(Tri a, Tri b) {
    if (a == Tri::No || b == Tri::No) return Tri::No;
    return a == Tri::Maybe || b == Tri::Maybe ? Tri::Maybe : Tri::Yes;
}
Tri Or(Tri a, Tri b) {
    if (a == Tri::Yes || b == Tri::Yes) return Tri::Yes;
    return a == Tri::Maybe || b == Tri::Maybe ? Tri::Maybe : Tri::No;
}
Tri Not(Tri a) { return a == Tri::Yes ? Tri::No : a == Tri::No ? Tri::Yes : Tri::Maybe; }
Tri Of(bool b) { return b ? Tri::Yes : Tri::No; }
Tri AtMostMaybe(Tri a) { return a == Tri::Yes ? Tri::Maybe : a; }
// The values a fact can take: one when it is known, both when it is not.
std::vector<bool> Values(Tri a) {
    if (a == Tri::Maybe) return {false, true};
    return {a == Tri::Yes};
}

// ---- text ---------------------------------------------------------------------------------------------

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}
bool SameText(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

std::string Trim(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t at = text.find(separator, start);
        parts.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

bool AllDigits(std::string_view text, size_t minDigits, size_t maxDigits) {
    if (text.size() < minDigits || text.size() > maxDigits) return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<long> Decimal(std::string_view text, size_t maxDigits) {
    if (!AllDigits(text, 1, maxDigits)) return std::nullopt;
    long value = 0;
    for (char c : text) value = value * 10 + (c - '0');
    return value;
}

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        auto code = static_cast<std::uint32_t>(text[i]);
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {  // a UTF-16 surrogate pair
            const auto low = static_cast<std::uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00), ++i;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

// ---- profiles -----------------------------------------------------------------------------------------

constexpr const char* kProfileNames[3] = {"domain", "private", "public"};

int ProfileIndex(std::string_view name) {
    for (int i = 0; i < 3; ++i)
        if (SameText(name, kProfileNames[i])) return i;
    return -1;
}

// ---- addresses ----------------------------------------------------------------------------------------

std::optional<IpAddress> ParseV4(std::string_view text) {
    const auto parts = Split(text, '.');
    if (parts.size() != 4) return std::nullopt;
    IpAddress address;
    for (size_t i = 0; i < 4; ++i) {
        const auto value = Decimal(parts[i], 3);
        if (!value || *value > 255) return std::nullopt;
        address.bytes[i] = static_cast<std::uint8_t>(*value);
    }
    return address;
}

std::optional<IpAddress> ParseV6(std::string_view text) {
    std::vector<std::uint16_t> head, tail;
    bool compressed = false;
    std::string_view rest = text;
    if (rest.substr(0, 2) == "::") compressed = true, rest.remove_prefix(2);
    auto* groups = compressed ? &tail : &head;
    std::optional<IpAddress> embeddedV4;
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string_view group = rest.substr(0, colon);
        if (colon == std::string_view::npos && group.find('.') != std::string_view::npos) {
            embeddedV4 = ParseV4(group);
            if (!embeddedV4) return std::nullopt;
            rest = {};
            break;
        }
        if (group.empty() || group.size() > 4) return std::nullopt;
        std::uint16_t value = 0;
        for (char c : group) {
            const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const int digit = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
            if (digit < 0) return std::nullopt;
            value = static_cast<std::uint16_t>(value * 16 + digit);
        }
        groups->push_back(value);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
        if (rest.empty()) return std::nullopt;  // a trailing single colon
        if (rest.front() == ':') {
            if (compressed) return std::nullopt;  // "::" twice
            compressed = true, groups = &tail;
            rest.remove_prefix(1);
        }
    }
    const size_t words = head.size() + tail.size() + (embeddedV4 ? 2 : 0);
    if (compressed ? words > 7 : words != 8) return std::nullopt;
    IpAddress address;
    address.v6 = true;
    size_t at = 0;
    for (auto word : head)
        address.bytes[at++] = static_cast<std::uint8_t>(word >> 8), address.bytes[at++] = word & 0xFF;
    at = 16 - tail.size() * 2 - (embeddedV4 ? 4 : 0);
    for (auto word : tail)
        address.bytes[at++] = static_cast<std::uint8_t>(word >> 8), address.bytes[at++] = word & 0xFF;
    if (embeddedV4) std::copy_n(embeddedV4->bytes.begin(), 4, address.bytes.begin() + 12);
    return address;
}

bool AddressLess(const IpAddress& a, const IpAddress& b) { return a.bytes < b.bytes; }

// The highest address of the prefix (all host bits set) or the lowest (all cleared).
IpAddress PrefixEdge(IpAddress address, int prefixBits, bool high) {
    const int totalBits = address.v6 ? 128 : 32;
    for (int bit = prefixBits; bit < totalBits; ++bit) {
        auto& byte = address.bytes[static_cast<size_t>(bit / 8)];
        const auto mask = static_cast<std::uint8_t>(0x80 >> (bit % 8));
        byte = static_cast<std::uint8_t>(high ? (byte | mask) : (byte & ~mask));
    }
    return address;
}

// The canonical name of an address keyword, "" when the word is none. RemoteAddresses' keywords:
// https://learn.microsoft.com/windows/win32/api/netfw/nf-netfw-inetfwrule-get_remoteaddresses; the policy
// rule's: GPFAS 2.2.2.13
// https://learn.microsoft.com/openspecs/windows_protocols/ms-gpfas/b8f635e9-9101-47f9-a0b9-f9bb02cfb8b5
std::string AddressKeyword(std::string_view word) {
    const std::string w = Lower(word);
    for (const char* known : {"localsubnet", "dns", "dhcp", "wins", "defaultgateway", "intranet", "internet",
                              "ply2renders", "captiveportal"})
        if (w == known) return w;
    if (w == "remotecorpnetwork" || w == "rmtintranet" || w == "remoteintranet") return "remotecorpnetwork";
    return {};
}

struct AddressToken {
    enum class Kind { Any, Range, Keyword, Bad } kind = Kind::Bad;
    IpAddress low, high;
    std::string keyword;
    bool v4 = true, v6 = true;  // the families a keyword stands for
};

// One token of an address list: "*", an address, "a-b", "a/prefix" or "a/mask", or a keyword. A token
// that is none of these (or breaks FASP's semantic checks) matches "maybe": Windows would refuse it, or
// give it a meaning not written down.
AddressToken ParseAddressToken(std::string_view raw, bool keywordsAllowed) {
    AddressToken token;
    const std::string text = Trim(raw);
    if (text == "*") return token.kind = AddressToken::Kind::Any, token;
    if (const std::string keyword = AddressKeyword(text); !keyword.empty()) {
        if (keywordsAllowed) token.kind = AddressToken::Kind::Keyword, token.keyword = keyword;
        return token;  // FASP 2.2.37: "The dwV4AddressKeywords and dwV6AddressKeywords fields of LocalAddresses MUST be
                       // 0"
    }
    if (const size_t dash = text.find('-'); dash != std::string::npos) {
        const auto low = ParseIpAddress(text.substr(0, dash)), high = ParseIpAddress(text.substr(dash + 1));
        if (low && high && low->v6 == high->v6 && !AddressLess(*high, *low))
            token.kind = AddressToken::Kind::Range, token.low = *low, token.high = *high;
        return token;
    }
    if (const size_t slash = text.find('/'); slash != std::string::npos) {
        const auto base = ParseIpAddress(text.substr(0, slash));
        if (!base) return token;
        const std::string suffix = text.substr(slash + 1);
        int prefix = -1;
        if (const auto bits = Decimal(suffix, 3)) {
            prefix = static_cast<int>(*bits);
        } else if (const auto mask = ParseV4(suffix); mask && !base->v6) {  // a dotted mask: contiguous ones only
            const std::uint32_t m = (std::uint32_t{mask->bytes[0]} << 24) | (std::uint32_t{mask->bytes[1]} << 16) |
                                    (std::uint32_t{mask->bytes[2]} << 8) | mask->bytes[3];
            int ones = 0;
            while (ones < 32 && (m & (0x80000000u >> ones))) ++ones;
            if (ones == 32 || (m << ones) == 0) prefix = ones;
        }
        // FASP 2.2.4: "A dwSubNetMask of 0x00000000 is invalid"; 2.2.6: prefix bits "not less than 1".
        if (prefix < 1 || prefix > (base->v6 ? 128 : 32)) return token;
        token.kind = AddressToken::Kind::Range;
        token.low = PrefixEdge(*base, prefix, false), token.high = PrefixEdge(*base, prefix, true);
        return token;
    }
    if (const auto single = ParseIpAddress(text))
        token.kind = AddressToken::Kind::Range, token.low = token.high = *single;
    return token;
}

std::vector<AddressToken> ParseAddressList(std::string_view text, bool keywordsAllowed) {
    std::vector<AddressToken> tokens;
    if (Trim(text).empty() || Trim(text) == "*") return tokens;  // no condition
    for (const auto& piece : Split(text, ',')) tokens.push_back(ParseAddressToken(piece, keywordsAllowed));
    return tokens;
}

// ---- ports --------------------------------------------------------------------------------------------

struct PortToken {
    enum class Kind { Any, Range, Keyword, Bad } kind = PortToken::Kind::Bad;
    long low = 0, high = 0;
};

// The port keywords stand for "ports in the PortsInUse collection" that other components register (dynamic
// RPC, the endpoint mapper, Teredo, IP-HTTPS, DHCP, Play To discovery, mDNS...), FASP 2.2.14
// https://learn.microsoft.com/openspecs/windows_protocols/ms-fasp/f2a500d8-b8cb-48e1-b4f2-1f85c89011ad. Remote
// Desktop's listener is none of those, so a keyword never matches its port.
bool IsPortKeyword(std::string_view word) {
    const std::string w = Lower(word);
    for (const char* known : {"rpc", "rpc-epmap", "teredo", "iphttps", "iphttpsin", "iphttpsout", "iptlsin", "iptlsout",
                              "dhcp", "ply2disc", "mdns", "cortanaout", "tcpcdpsvc"})
        if (w == known) return true;
    return false;
}

PortToken ParsePortToken(std::string_view raw) {
    PortToken token;
    const std::string text = Trim(raw);
    if (text == "*") return token.kind = PortToken::Kind::Any, token;
    if (IsPortKeyword(text)) return token.kind = PortToken::Kind::Keyword, token;
    const size_t dash = text.find('-');
    const auto low = Decimal(text.substr(0, dash), 5);
    const auto high = dash == std::string::npos ? low : Decimal(text.substr(dash + 1), 5);
    // FASP 2.2.24, FW_RULE_STATUS_SEMANTIC_ERROR_PORT_RANGE: "End != Begin or port = 0".
    if (low && high && *low >= 1 && *low <= *high && *high <= 65535)
        token.kind = PortToken::Kind::Range, token.low = *low, token.high = *high;
    return token;
}

std::vector<PortToken> ParsePortList(std::string_view text) {
    std::vector<PortToken> tokens;
    if (Trim(text).empty() || Trim(text) == "*") return tokens;
    for (const auto& piece : Split(text, ',')) tokens.push_back(ParsePortToken(piece));
    return tokens;
}

Tri MatchPorts(const std::vector<PortToken>& tokens, long port) {
    if (tokens.empty()) return Tri::Yes;
    Tri any = Tri::No;
    for (const auto& t : tokens) {
        if (t.kind == PortToken::Kind::Any) any = Tri::Yes;
        if (t.kind == PortToken::Kind::Range) any = Or(any, Of(port >= t.low && port <= t.high));
        if (t.kind == PortToken::Kind::Bad) any = Or(any, Tri::Maybe);
    }
    return any;
}

// ---- security descriptors -------------------------------------------------------------------------------

std::string SidOf(std::string_view text) {
    const std::string t = Trim(text);
    static const std::pair<const char*, const char*> kAliases[] = {
        {"NS", "S-1-5-20"},     {"LS", "S-1-5-19"},     {"SY", "S-1-5-18"}, {"WD", "S-1-1-0"}, {"AU", "S-1-5-11"},
        {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"NU", "S-1-5-2"},  {"SU", "S-1-5-6"}, {"IU", "S-1-5-4"}};
    for (const auto& [alias, sid] : kAliases)
        if (t == alias) return Lower(sid);
    return Lower(t);
}

// Whether an SDDL list (the authorized users or machines of a rule, FASP 2.2.37) grants the identity.
// Only the identity's own SID and Everyone are known to be in its token; an entry for any other SID might
// be a group the identity belongs to, so it leaves the answer open where it could decide it.
Tri SddlGrants(std::string_view sddl, std::string_view identity) {
    if (identity.empty()) return Tri::No;
    const std::string who = SidOf(identity);
    const size_t dacl = sddl.find("D:");
    if (dacl == std::string_view::npos) return Tri::Maybe;
    std::string_view rest = sddl.substr(dacl + 2);
    bool sawAce = false, unknownAllow = false, unknownDeny = false;
    while (true) {
        const size_t open = rest.find('('), close = rest.find(')');
        if (open == std::string_view::npos || close == std::string_view::npos || close < open) break;
        const auto fields = Split(rest.substr(open + 1, close - open - 1), ';');
        rest.remove_prefix(close + 1);
        if (fields.size() < 6) return Tri::Maybe;
        sawAce = true;
        const std::string type = Trim(fields[0]);
        if (type != "A" && type != "D") return Tri::Maybe;  // conditional and other entries: not evaluated here
        const std::string sid = SidOf(fields[5]);
        const bool allow = type == "A";
        if (sid == who || sid == "s-1-1-0") {  // the entry certainly applies: the first such decides
            if (allow ? unknownDeny : unknownAllow) return Tri::Maybe;
            return Of(allow);
        }
        (allow ? unknownAllow : unknownDeny) = true;
    }
    if (!sawAce) return Tri::Maybe;
    return unknownAllow ? Tri::Maybe : Tri::No;
}

// ---- rules ----------------------------------------------------------------------------------------------

// What a rule requires of IPsec: INetFwRule3::SecureFlags (NET_FW_AUTHENTICATE_TYPE,
// https://learn.microsoft.com/windows/win32/api/icftypes/ne-icftypes-net_fw_authenticate_type) or the policy
// rule's Security tokens (FASP 2.2.35 FW_RULE_FLAGS_AUTHENTICATE and _WITH_ENCRYPTION).
enum class Security { None, Authenticated, Encrypted, Unknown };

struct Rule {
    Tri enforced = Tri::Yes;  // maybe: a parsing or semantic error, or a version, that Windows may refuse it for
    Tri enabled = Tri::Yes;
    Tri inbound = Tri::Yes;
    bool allow = false, block = false, bypass = false;  // the actions it may have
    std::optional<int> protocol = 256;                  // none: unknown
    std::vector<PortToken> localPorts, remotePorts;
    std::vector<AddressToken> localAddresses, remoteAddresses;
    Tri profile[3] = {Tri::Yes, Tri::Yes, Tri::Yes};
    std::string application, service;         // "": any
    std::vector<std::string> interfaceTypes;  // empty: all
    std::vector<std::string> interfaceNames;  // empty: all
    bool interfaceIds = false;                // policy IF= (a GUID the packet's interface is not known by)
    std::string packageId, owner, localUsers, remoteMachines, remoteUsers;
    Tri localUsersReadable = Tri::Yes;
    Security security = Security::None;
    bool localOnlyMapped = false;
    Tri unseen = Tri::Yes;  // maybe: conditions this evaluator cannot see (trust tuples, network names, platforms)
    // For the legacy merges (local rules only), FASP 2.2.38.
    Tri authorizedApplicationShape = Tri::No, globalPortShape = Tri::No;
};

// A rule whose content is unknown: a value that could not be parsed at all.
Rule UnknownRule() {
    Rule r;
    r.enforced = r.enabled = r.inbound = r.unseen = Tri::Maybe;
    r.allow = r.block = r.bypass = true;
    r.protocol.reset();
    r.security = Security::Unknown;
    for (auto& p : r.profile) p = Tri::Maybe;
    return r;
}

// The legacy rule shapes that Group Policy's AllowUserPrefMerge values switch off, FASP 2.2.38
// https://learn.microsoft.com/openspecs/windows_protocols/ms-fasp/5a6e0d39-802d-456b-b483-c7360566fcdd:
// authorized application rules have a program, no service, TCP or UDP and no local port at all; global
// port rules have no program, no service, TCP or UDP and exactly one local port entry, no keyword.
void SetLegacyShapes(Rule& r) {
    if (!r.protocol) {
        r.authorizedApplicationShape = r.globalPortShape = Tri::Maybe;
        return;
    }
    const Tri tcpOrUdp = Of(*r.protocol == 6 || *r.protocol == 17);
    size_t entries = 0;
    bool keyword = false, bad = false;
    for (const auto& t : r.localPorts) {
        entries += t.kind == PortToken::Kind::Range;
        keyword |= t.kind == PortToken::Kind::Keyword;
        bad |= t.kind == PortToken::Kind::Bad;
    }
    const Tri noService = Of(r.service.empty());
    const Tri noPorts = bad ? Tri::Maybe : Of(entries == 0 && !keyword);
    const Tri onePort = bad ? Tri::Maybe : Of(entries == 1 && !keyword);
    r.authorizedApplicationShape = And(And(Of(!r.application.empty()), noService), And(tcpOrUdp, noPorts));
    r.globalPortShape = And(And(Of(r.application.empty()), noService), And(tcpOrUdp, onePort));
}

// FASP 2.2.37's semantic checks that this evaluator can see; a rule failing one may not be enforced.
void CheckSemantics(Rule& r) {
    const bool secured = r.security != Security::None;
    bool ok = true;
    if (r.protocol && *r.protocol != 6 && *r.protocol != 17 && (!r.localPorts.empty() || !r.remotePorts.empty()))
        ok = false;
    for (const auto& t : r.remotePorts) ok &= t.kind != PortToken::Kind::Keyword;  // RemotePorts keywords "MUST be 0"
    if (r.block && !r.allow && !r.bypass && secured) ok = false;
    if ((!r.remoteMachines.empty() || !r.remoteUsers.empty()) && r.security == Security::None) ok = false;
    if ((!r.localUsers.empty() || !r.owner.empty()) && !r.service.empty()) ok = false;
    if (r.bypass && !r.allow && !r.block && (!secured || r.remoteMachines.empty() || r.inbound == Tri::No)) ok = false;
    if (!ok) r.enforced = AtMostMaybe(r.enforced);
}

// ---- the packet -------------------------------------------------------------------------------------------

struct PacketView {
    const Packet* packet = nullptr;
    int profile = 0;
    IpAddress local, remote;
    std::vector<std::string> remoteIs;  // canonical keyword names
};

Tri MatchAddresses(const std::vector<AddressToken>& tokens, const IpAddress& address, const PacketView* remoteOf) {
    if (tokens.empty()) return Tri::Yes;
    Tri any = Tri::No;
    for (const auto& t : tokens) {
        switch (t.kind) {
            case AddressToken::Kind::Any:
                any = Tri::Yes;
                break;
            case AddressToken::Kind::Range:
                any = Or(any,
                         Of(t.low.v6 == address.v6 && !AddressLess(address, t.low) && !AddressLess(t.high, address)));
                break;
            case AddressToken::Kind::Keyword: {
                const bool family = address.v6 ? t.v6 : t.v4;
                const bool member = remoteOf && std::find(remoteOf->remoteIs.begin(), remoteOf->remoteIs.end(),
                                                          t.keyword) != remoteOf->remoteIs.end();
                any = Or(any, Of(family && member));
                break;
            }
            case AddressToken::Kind::Bad:
                any = Or(any, Tri::Maybe);
                break;
        }
    }
    return any;
}

// The program path: %SystemRoot% (and %windir%) expand to C:\Windows, %SystemDrive% to C:, and paths are
// compared without regard to case. A path this cannot resolve (another variable, a device path, a short
// name) that still names svchost.exe might be it.
Tri MatchApplication(const std::string& application) {
    if (application.empty()) return Tri::Yes;
    std::string path = Lower(Trim(application));
    for (const auto& [variable, value] : {std::pair<const char*, const char*>{"%systemroot%", "c:\\windows"},
                                          {"%windir%", "c:\\windows"},
                                          {"%systemdrive%", "c:"}})
        for (size_t at; (at = path.find(variable)) != std::string::npos;)
            path.replace(at, std::string(variable).size(), value);
    if (path == "c:\\windows\\system32\\svchost.exe") return Tri::Yes;
    const bool unresolved = path.find('%') != std::string::npos || path.find('~') != std::string::npos ||
                            path.find('/') != std::string::npos || path.find("\\\\") != std::string::npos ||
                            path.find("..") != std::string::npos || (!path.empty() && path.front() == '\\');
    const std::string tail = "\\svchost.exe";
    const bool namesSvchost =
        path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
    return unresolved && namesSvchost ? Tri::Maybe : Tri::No;
}

// "*": "a service, not an application, must be sending or receiving traffic"
// (https://learn.microsoft.com/windows/win32/api/netfw/nf-netfw-inetfwrule-get_servicename); Remote Desktop is the
// service TermService.
Tri MatchService(const std::string& service) {
    const std::string s = Trim(service);
    return Of(s.empty() || s == "*" || SameText(s, "TermService"));
}

Tri MatchInterfaceTypes(const std::vector<std::string>& types, const std::string& packetType) {
    if (types.empty()) return Tri::Yes;
    Tri any = Tri::No;
    for (const auto& t : types) {
        const std::string type = Lower(Trim(t));
        if (type == "all") return Tri::Yes;
        if (type == "lan" || type == "wireless" || type == "remoteaccess")
            any = Or(any, Of(SameText(type, packetType)));
        else
            any = Or(any, Tri::Maybe);  // a type the documentation does not name (mobile broadband...)
    }
    return any;
}

// Whether the rule's conditions take in the packet (its action and security are weighed later).
Tri Matches(const Rule& r, const PacketView& v) {
    const Packet& p = *v.packet;
    Tri m = And(And(r.enforced, r.enabled), And(r.inbound, r.unseen));
    m = And(m, r.profile[v.profile]);
    if (m == Tri::No) return m;
    if (!r.protocol)
        m = And(m, Tri::Maybe);
    else if (*r.protocol != 256)
        m = And(m, Of(*r.protocol == p.protocol));
    m = And(m, MatchPorts(r.localPorts, p.localPort));
    m = And(m, MatchAddresses(r.localAddresses, v.local, nullptr));
    // FASP 2.2.35 FW_RULE_FLAGS_LOCAL_ONLY_MAPPED: "the remote address and remote port conditions are
    // ignored", except on block rules.
    Tri remote = And(MatchPorts(r.remotePorts, p.remotePort), MatchAddresses(r.remoteAddresses, v.remote, &v));
    if (r.localOnlyMapped) remote = r.block ? Or(remote, (r.allow || r.bypass) ? Tri::Maybe : Tri::No) : Tri::Yes;
    m = And(m, remote);
    m = And(m, MatchApplication(r.application));
    m = And(m, MatchService(r.service));
    m = And(m, MatchInterfaceTypes(r.interfaceTypes, p.interfaceType));
    if (!r.interfaceNames.empty()) {
        m = And(m, Of(std::any_of(r.interfaceNames.begin(), r.interfaceNames.end(),
                                  [&](const std::string& n) { return SameText(Trim(n), p.interfaceName); })));
    }
    if (r.interfaceIds) m = And(m, Tri::Maybe);
    if (!r.packageId.empty()) m = Tri::No;  // the application SID of a packaged process; svchost has none
    // Without local user conditions, "all the traffic that this rule matches must be destined to or originated from
    // this user." https://learn.microsoft.com/windows/win32/api/netfw/nf-netfw-inetfwrule3-get_localuserowner
    if (!r.owner.empty() && r.localUsers.empty()) m = And(m, Of(SidOf(r.owner) == "s-1-5-20"));
    if (!r.localUsers.empty()) m = And(m, And(r.localUsersReadable, SddlGrants(r.localUsers, "S-1-5-20")));
    return m;
}

// ---- the snapshot -----------------------------------------------------------------------------------------

struct LocalProfile {
    bool enabled = true, blockAll = false, defaultBlock = true;
};

struct PolicyKey {
    bool exists = false;
    std::vector<std::pair<std::string, std::int64_t>> values;
};

enum class ModifyState { Ok, GpOverride, InboundBlocked };

struct Snapshot {
    std::vector<int> current;
    ModifyState modifyState = ModifyState::Ok;
    LocalProfile local[3];
    PolicyKey policy[4];  // domain, private, public, standard
    std::vector<std::string> excluded;
    std::vector<Rule> policyRules, rules, serviceRules;
    std::int64_t unreadable = 0;
    bool mdm = false, restricted = false;
};

class Reader {
public:
    explicit Reader(std::string* error) : m_error(error) {}
    bool Ok() const { return m_ok; }
    void Fail(const std::string& what) {
        if (m_ok && m_error) *m_error = what;
        m_ok = false;
    }

    std::string Text(const JsonValue& object, const char* key, const char* fallback, const std::string& where) {
        if (!object.Has(key)) return fallback;
        const JsonValue& v = object[key];
        if (v.type != JsonValue::Type::String) return Fail(where + "." + key + " is not a string"), fallback;
        return Utf8(v.text);
    }
    bool Flag(const JsonValue& object, const char* key, bool fallback, const std::string& where) {
        if (!object.Has(key)) return fallback;
        const JsonValue& v = object[key];
        if (v.type != JsonValue::Type::Bool) return Fail(where + "." + key + " is not true or false"), fallback;
        return v.boolean;
    }
    std::int64_t Number(const JsonValue& object, const char* key, std::int64_t fallback, const std::string& where) {
        if (!object.Has(key)) return fallback;
        const JsonValue& v = object[key];
        if (v.type != JsonValue::Type::Number) return Fail(where + "." + key + " is not a number"), fallback;
        return v.number;
    }
    std::vector<std::string> Texts(const JsonValue& object, const char* key, std::vector<std::string> fallback,
                                   const std::string& where) {
        if (!object.Has(key)) return fallback;
        const JsonValue& v = object[key];
        if (v.type != JsonValue::Type::Array) return Fail(where + "." + key + " is not an array"), fallback;
        std::vector<std::string> out;
        for (const auto& item : v.items) {
            if (item.type != JsonValue::Type::String) return Fail(where + "." + key + " holds a non-string"), fallback;
            out.push_back(Utf8(item.text));
        }
        return out;
    }
    const JsonValue* Object(const JsonValue& object, const char* key, const std::string& where) {
        if (!object.Has(key)) return nullptr;
        if (object[key].type != JsonValue::Type::Object) return Fail(where + "." + key + " is not an object"), nullptr;
        return &object[key];
    }
    const JsonValue* Array(const JsonValue& object, const char* key, const std::string& where) {
        if (!object.Has(key)) return nullptr;
        if (object[key].type != JsonValue::Type::Array) return Fail(where + "." + key + " is not an array"), nullptr;
        return &object[key];
    }

private:
    std::string* m_error;
    bool m_ok = true;
};

// A local (or service hardening) rule as INetFwRule and INetFwRule3 report it,
// https://learn.microsoft.com/windows/win32/api/netfw/nn-netfw-inetfwrule.
Rule ReadRule(const JsonValue& v, Reader& in, const std::string& where) {
    Rule r;
    if (v.type != JsonValue::Type::Object) return in.Fail(where + " is not an object"), r;
    r.enabled = Of(in.Flag(v, "enabled", true, where));
    const std::string direction = in.Text(v, "direction", "in", where);
    if (direction != "in" && direction != "out") in.Fail(where + ".direction is not \"in\" or \"out\"");
    r.inbound = Of(direction == "in");
    const std::string action = in.Text(v, "action", "allow", where);
    if (action != "allow" && action != "block") in.Fail(where + ".action is not \"allow\" or \"block\"");
    (action == "block" ? r.block : r.allow) = true;
    const std::int64_t protocol = in.Number(v, "protocol", 6, where);
    if (protocol < 0 || protocol > 256) in.Fail(where + ".protocol is out of range");
    r.protocol = static_cast<int>(protocol);
    r.localPorts = ParsePortList(in.Text(v, "localPorts", "*", where));
    r.remotePorts = ParsePortList(in.Text(v, "remotePorts", "*", where));
    r.localAddresses = ParseAddressList(in.Text(v, "localAddresses", "*", where), false);
    r.remoteAddresses = ParseAddressList(in.Text(v, "remoteAddresses", "*", where), true);
    const auto profiles = in.Texts(v, "profiles", {"domain", "private", "public"}, where);
    for (auto& p : r.profile) p = profiles.empty() ? Tri::Maybe : Tri::No;  // an empty mask is invalid (FASP 2.2.2)
    for (const auto& name : profiles) {
        const int index = ProfileIndex(name);
        if (index < 0 || name != kProfileNames[index])
            in.Fail(where + ".profiles holds \"" + name + "\"");
        else
            r.profile[index] = Tri::Yes;
    }
    r.application = Trim(in.Text(v, "application", "", where));
    r.service = Trim(in.Text(v, "service", "", where));
    const std::string types = Trim(in.Text(v, "interfaceTypes", "All", where));
    if (!types.empty()) r.interfaceTypes = Split(types, ',');
    r.interfaceNames = in.Texts(v, "interfaces", {}, where);
    in.Flag(v, "edgeTraversal", false, where);  // Teredo only; the packet never is
    r.packageId = Trim(in.Text(v, "localAppPackageId", "", where));
    r.owner = Trim(in.Text(v, "localUserOwner", "", where));
    r.localUsers = Trim(in.Text(v, "localUserAuthorizedList", "", where));
    r.remoteUsers = Trim(in.Text(v, "remoteUserAuthorizedList", "", where));
    r.remoteMachines = Trim(in.Text(v, "remoteMachineAuthorizedList", "", where));
    switch (in.Number(v, "secureFlags", 0, where)) {
        case 0:
            r.security = Security::None;
            break;
        case 1:
        case 2:
            r.security = Security::Authenticated;
            break;  // NO_ENCAPSULATION, WITH_INTEGRITY
        case 3:
        case 4:
            r.security = Security::Encrypted;
            break;  // ..._NEGOTIATE_ENCRYPTION, AND_ENCRYPT
        default:
            r.security = Security::Unknown;
            break;
    }
    in.Text(v, "name", "", where);
    in.Text(v, "group", "", where);
    CheckSemantics(r);
    SetLegacyShapes(r);
    return r;
}

// ---- Group Policy's rule strings (GPFAS 2.2.2.19,
// https://learn.microsoft.com/openspecs/windows_protocols/ms-gpfas/2efe0b76-7b4a-41ff-9050-1023f8196d16) --------

std::optional<int> ParseVersion(std::string_view text) {
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const auto major = Decimal(text.substr(0, dot), 3), minor = Decimal(text.substr(dot + 1), 3);
    if (!major || !minor || *major > 255 || *minor > 255) return std::nullopt;
    return static_cast<int>(*major * 256 + *minor);
}

std::optional<bool> ParseBool(std::string_view text) {
    if (SameText(text, "TRUE")) return true;
    if (SameText(text, "FALSE")) return false;
    return std::nullopt;
}

Rule ParsePolicyRule(std::string_view text) {
    // ABNF strings are not case-sensitive (RFC 4234, 2.3), so neither are the tokens.
    if (text.empty() || (text.front() != 'v' && text.front() != 'V')) return UnknownRule();
    const size_t bar = text.find('|');
    if (bar == std::string_view::npos) return UnknownRule();
    const auto version = ParseVersion(text.substr(1, bar - 1));
    if (!version) return UnknownRule();

    Rule r;
    r.enabled = Tri::No;  // "If the "Active=" token does not appear in the rule a Boolean value of false is assumed."
    bool broken = false, sawAction = false, sawDirection = false, sawProfile = false, unknownProfile = false;
    std::optional<int> protocolSoFar;
    std::vector<std::string> seenOnce;
    auto onlyOnce = [&](const std::string& name) {
        if (std::find(seenOnce.begin(), seenOnce.end(), name) != seenOnce.end()) broken = true;
        seenOnce.push_back(name);
    };
    // A higher major version is ignored ("FW_RULE_STATUS_IGNORED", FASP 2.2.24); one below 2 is refused.
    if (*version < 0x0200 || *version >= 0x0300) broken = true;

    auto fields = Split(text.substr(bar + 1), '|');
    if (fields.back().empty())
        fields.pop_back();  // every FIELD ends with "|"
    else
        broken = true;
    if (fields.empty()) broken = true;
    bool profiles[3] = {false, false, false};
    for (const auto& field : fields) {
        const size_t eq = field.find('=');
        if (field.empty() || eq == std::string::npos) {
            broken = true, r.unseen = AtMostMaybe(r.unseen);
            continue;
        }
        const std::string name = Lower(field.substr(0, eq));
        const std::string value = field.substr(eq + 1);
        const std::string lvalue = Lower(value);
        auto portField = [&](bool local, bool ranges, bool keywords) {
            if (!protocolSoFar || (*protocolSoFar != 6 && *protocolSoFar != 17)) broken = true;
            PortToken token = ParsePortToken(value);
            const bool isRange = token.kind == PortToken::Kind::Range && token.low != token.high;
            if ((token.kind == PortToken::Kind::Keyword && !keywords) || (isRange && !ranges) ||
                token.kind == PortToken::Kind::Any || token.kind == PortToken::Kind::Bad)
                token.kind = PortToken::Kind::Bad, broken = true;
            (local ? r.localPorts : r.remotePorts).push_back(token);
        };
        auto addressField = [&](bool local, bool v6, bool keywordsOnly) {
            AddressToken token = ParseAddressToken(value, !local);
            const bool keyword = token.kind == AddressToken::Kind::Keyword;
            const bool rightFamily = keyword || (token.kind == AddressToken::Kind::Range && token.low.v6 == v6);
            if (token.kind == AddressToken::Kind::Bad || !rightFamily || (keywordsOnly && !keyword)) {
                token.kind = AddressToken::Kind::Bad, broken = true;
            } else if (keyword) {
                token.v4 = !v6, token.v6 = v6;  // RA4's keywords are IPv4 addresses, RA6's IPv6
            }
            (local ? r.localAddresses : r.remoteAddresses).push_back(token);
        };
        if (name == "action") {
            onlyOnce(name), sawAction = true;
            if (lvalue == "allow")
                r.allow = true;
            else if (lvalue == "block")
                r.block = true;
            else if (lvalue == "bypass")
                r.bypass = true;
            else
                broken = true, r.allow = r.block = r.bypass = true;
        } else if (name == "dir") {
            onlyOnce(name);
            const Tri in = lvalue == "in" ? Tri::Yes : lvalue == "out" ? Tri::No : Tri::Maybe;
            if (in == Tri::Maybe) broken = true;
            r.inbound = sawDirection && r.inbound != in ? Tri::Maybe : in;
            sawDirection = true;
        } else if (name == "profile") {
            sawProfile = true;
            const int index = ProfileIndex(value);
            if (index < 0)
                broken = true, unknownProfile = true;
            else
                profiles[index] = true;
        } else if (name == "protocol") {
            onlyOnce(name);
            const auto number = Decimal(value, 3);
            if (!number || *number > 255)
                broken = true, r.protocol.reset();
            else
                r.protocol = protocolSoFar = static_cast<int>(*number);
        } else if (name == "lport") {
            portField(true, false, true);
        } else if (name == "lport2_10" || name == "lport2_20") {
            portField(true, name == "lport2_10", true);
        } else if (name == "rport") {
            portField(false, false, false);
        } else if (name == "rport2_10") {
            portField(false, true, true);
        } else if (name == "security") {
            onlyOnce(name);
            if (lvalue == "authenticate")
                r.security = Security::Authenticated;
            else if (lvalue == "authenticateencrypt")
                r.security = Security::Encrypted;
            else
                broken = true, r.security = Security::Unknown;
        } else if (name == "security2_9" || name == "security2") {
            onlyOnce(name);
            // An-NoEncap refines Authenticate, AnE-Nego refines AuthenticateEncrypt (FASP 2.2.35).
            if (lvalue != (name == "security2_9" ? "an-noencap" : "ane-nego")) broken = true;
        } else if (name == "if") {
            r.interfaceIds = true;
        } else if (name == "iftype") {
            if (lvalue != "lan" && lvalue != "wireless" && lvalue != "remoteaccess") broken = true;
            r.interfaceTypes.push_back(value);
        } else if (name == "app") {
            onlyOnce(name), r.application = Trim(value);
        } else if (name == "svc") {
            onlyOnce(name), r.service = Trim(value);
        } else if (name == "la4" || name == "la6" || name == "ra4" || name == "ra6") {
            addressField(name[0] == 'l', name[2] == '6', false);
        } else if (name == "ra42" || name == "ra62") {
            addressField(false, name[2] == '6', true);
        } else if (name == "active") {
            onlyOnce(name);
            const auto on = ParseBool(value);
            if (!on) broken = true;
            r.enabled = on ? Of(*on) : Tri::Maybe;
        } else if (name == "lom") {
            onlyOnce(name);
            const auto on = ParseBool(value);
            if (!on) broken = true;
            r.localOnlyMapped = on.value_or(false);
            if (!on) r.unseen = AtMostMaybe(r.unseen);
        } else if (name == "edge" || name == "lsm" || name == "pcross" || name == "authbypassout") {
            onlyOnce(name);  // Teredo, responses to outbound traffic, outbound bypass: not this packet's concern
            if (!ParseBool(value)) broken = true;
        } else if (name == "defer") {
            if (lvalue != "app" && lvalue != "user") broken = true;
        } else if (name == "icmp4" || name == "icmp6") {
            if (!protocolSoFar || *protocolSoFar != (name == "icmp4" ? 1 : 58)) broken = true;
        } else if (name == "rmauth") {
            onlyOnce(name), r.remoteMachines = value;
        } else if (name == "ruauth") {
            onlyOnce(name), r.remoteUsers = value;
        } else if (name == "luauth") {
            onlyOnce(name), r.localUsers = value;
        } else if (name == "luauth2_24") {  // base64, may hold conditional entries: not evaluated here
            onlyOnce(name), r.localUsers = value, r.localUsersReadable = Tri::Maybe;
        } else if (name == "luown") {
            onlyOnce(name), r.owner = value;
        } else if (name == "apppkgid") {
            onlyOnce(name), r.packageId = value;
        } else if (name == "skipver") {
            // "the highest inherent version of the Firewall and Advanced Security components that can ignore this
            // rule string completely". Every Windows this tool runs on is at least 2.10 (Windows 7).
            const auto skip = ParseVersion(value);
            if (!skip)
                broken = true;
            else if (*skip >= 0x020A)
                r.enforced = AtMostMaybe(r.enforced);
        } else if (name == "platform" || name == "platform2" || name == "ttk" || name == "ttk2_22" ||
                   name == "ttk2_27" || name == "ttk2_28" || name == "nnm" || name == "securityrealmid") {
            // The platforms it is enforced on, trust tuples, network names, a security realm: not in the snapshot.
            r.unseen = AtMostMaybe(r.unseen);
        } else if (name != "name" && name != "desc" && name != "embedctxt") {
            r.unseen = AtMostMaybe(r.unseen);  // a field of a later version: a condition, or ignored
        }
    }
    if (!sawAction) broken = true, r.allow = r.block = r.bypass = true;
    if (!sawDirection) broken = true, r.inbound = Tri::Maybe;
    if (sawProfile) {  // "If the Profile= token never appears ... FW_PROFILE_TYPE_ALL"
        for (int i = 0; i < 3; ++i) r.profile[i] = profiles[i] ? Tri::Yes : unknownProfile ? Tri::Maybe : Tri::No;
    }
    if (broken) r.enforced = AtMostMaybe(r.enforced);
    CheckSemantics(r);
    return r;
}

// ---- reading the snapshot ---------------------------------------------------------------------------------

std::optional<Snapshot> ReadSnapshot(std::string_view utf8, std::string* error) {
    std::string parseError;
    const auto doc = testkit::ParseJson(utf8, &parseError);
    if (!doc) {
        if (error) *error = "not JSON: " + parseError;
        return std::nullopt;
    }
    Reader in(error);
    const std::string top = "snapshot";
    if (doc->type != JsonValue::Type::Object) return in.Fail("the snapshot is not an object"), std::nullopt;
    if (!doc->Has("format") || in.Text(*doc, "format", "", top) != "rdpport-firewall-snapshot")
        return in.Fail("format is not \"rdpport-firewall-snapshot\""), std::nullopt;
    if (!doc->Has("version") || in.Number(*doc, "version", 0, top) != 1)
        return in.Fail("version is not 1"), std::nullopt;

    Snapshot s;
    for (const auto& name : in.Texts(*doc, "currentProfiles", {"domain"}, top)) {
        const int index = ProfileIndex(name);
        if (index < 0 || name != kProfileNames[index])
            in.Fail("currentProfiles holds \"" + name + "\"");
        else if (std::find(s.current.begin(), s.current.end(), index) == s.current.end())
            s.current.push_back(index);
    }
    const std::string modify = in.Text(*doc, "modifyState", "ok", top);
    if (modify == "ok")
        s.modifyState = ModifyState::Ok;
    else if (modify == "gp-override")
        s.modifyState = ModifyState::GpOverride;
    else if (modify == "inbound-blocked")
        s.modifyState = ModifyState::InboundBlocked;
    else
        in.Fail("modifyState is \"" + modify + "\"");

    if (const JsonValue* profiles = in.Object(*doc, "profiles", top)) {
        for (int i = 0; i < 3; ++i) {
            const std::string where = top + ".profiles." + kProfileNames[i];
            const JsonValue* p = in.Object(*profiles, kProfileNames[i], top + ".profiles");
            if (!p) continue;
            s.local[i].enabled = in.Flag(*p, "enabled", true, where);
            s.local[i].blockAll = in.Flag(*p, "blockAllInbound", false, where);
            const std::string action = in.Text(*p, "defaultInboundAction", "block", where);
            if (action != "block" && action != "allow") in.Fail(where + ".defaultInboundAction is \"" + action + "\"");
            s.local[i].defaultBlock = action == "block";
        }
    }
    if (const JsonValue* policy = in.Object(*doc, "policy", top)) {
        const char* keys[4] = {"domain", "private", "public", "standard"};
        for (int i = 0; i < 4; ++i) {
            const JsonValue* p = in.Object(*policy, keys[i], top + ".policy");
            if (!p) continue;
            s.policy[i].exists = true;
            for (const auto& [name, value] : p->members) {
                if (value.type != JsonValue::Type::Number)
                    in.Fail(top + ".policy." + keys[i] + "." + name + " is not a number");
                s.policy[i].values.emplace_back(name, value.number);
            }
        }
    }
    s.excluded = in.Texts(*doc, "excludedInterfaces", {}, top);
    for (const auto& text : in.Texts(*doc, "policyRules", {}, top)) s.policyRules.push_back(ParsePolicyRule(text));
    if (const JsonValue* rules = in.Array(*doc, "rules", top))
        for (size_t i = 0; i < rules->items.size(); ++i)
            s.rules.push_back(ReadRule(rules->items[i], in, top + ".rules[" + std::to_string(i) + "]"));
    s.unreadable = in.Number(*doc, "unreadableRules", 0, top);
    if (s.unreadable < 0) in.Fail("unreadableRules is negative");
    s.mdm = in.Flag(*doc, "mdmPolicy", false, top);
    s.restricted = in.Flag(*doc, "termServiceRestricted", false, top);
    if (const JsonValue* rules = in.Array(*doc, "termServiceRules", top))
        for (size_t i = 0; i < rules->items.size(); ++i)
            s.serviceRules.push_back(
                ReadRule(rules->items[i], in, top + ".termServiceRules[" + std::to_string(i) + "]"));
    if (!in.Ok()) return std::nullopt;
    return s;
}

std::optional<PacketView> ReadPacket(const Packet& p, std::string* error) {
    auto fail = [&](const std::string& what) -> std::optional<PacketView> {
        if (error) *error = "packet: " + what;
        return std::nullopt;
    };
    PacketView v;
    v.packet = &p;
    v.profile = ProfileIndex(p.profile);
    if (v.profile < 0 || p.profile != kProfileNames[v.profile]) return fail("profile is \"" + p.profile + "\"");
    if (p.protocol != 6 && p.protocol != 17) return fail("protocol is neither TCP nor UDP");
    if (p.localPort == 0 || p.remotePort == 0) return fail("a port is 0");
    const auto local = ParseIpAddress(p.localAddress), remote = ParseIpAddress(p.remoteAddress);
    if (!local || !remote) return fail("an address does not parse");
    if (local->v6 != remote->v6) return fail("the addresses are of different families");
    const bool loopback = remote->v6 ? remote->bytes == ParseV6("::1")->bytes : remote->bytes[0] == 127;
    if (loopback) return fail("the remote address is loopback");
    if (!SameText(p.interfaceType, "Lan") && !SameText(p.interfaceType, "Wireless") &&
        !SameText(p.interfaceType, "RemoteAccess"))
        return fail("interfaceType is \"" + p.interfaceType + "\"");
    v.local = *local, v.remote = *remote;
    for (const auto& word : p.remoteIs) {
        const std::string keyword = AddressKeyword(word);
        v.remoteIs.push_back(keyword.empty() ? Lower(word) : keyword);
    }
    return v;
}

// ---- settings -----------------------------------------------------------------------------------------------

// The settings that decide a profile, each three-valued.
struct ProfileSettings {
    Tri enabled, shielded, defaultAllow, localMerge, applicationsMerge, portsMerge;
};

// Group Policy's value for a profile. GPFAS 2.2.3: "If neither the ...\PrivateProfile nor the
// ...\PublicProfile key exists, then the settings under the ...\StandardProfile key are applied to both public
// and private profiles", otherwise StandardProfile is ignored; it never applies to the domain profile. A value
// that "MUST NOT be present on ...\StandardProfile" but is may be honoured or ignored.
struct PolicyValue {
    enum class State { Absent, Set, Doubtful } state = State::Absent;
    std::int64_t value = 0;
};

PolicyValue Lookup(const Snapshot& s, int profile, const char* name, bool allowedInStandard) {
    const PolicyKey* key = &s.policy[profile];
    bool standard = false;
    if (profile != 0 && !s.policy[1].exists && !s.policy[2].exists) key = &s.policy[3], standard = true;
    PolicyValue out;
    if (!key->exists) return out;
    for (const auto& [n, v] : key->values) {
        if (n != name) continue;
        out.state = standard && !allowedInStandard ? PolicyValue::State::Doubtful : PolicyValue::State::Set;
        out.value = v;
    }
    return out;
}

// A DWORD "for which possible values are 0x00000000 or 0x00000001": any other value has no written meaning.
Tri Switch(std::int64_t value) { return value == 1 ? Tri::Yes : value == 0 ? Tri::No : Tri::Maybe; }

// The policy value wins where it is set (FASP 2.2.38's merge law "let the value of the GroupPolicyRSoPStore win
// if it is configured; otherwise, the local store value is used").
Tri PolicyWins(const PolicyValue& v, Tri local, bool inverted = false) {
    if (v.state == PolicyValue::State::Absent) return local;
    const Tri policy = inverted ? Not(Switch(v.value)) : Switch(v.value);
    if (v.state == PolicyValue::State::Set) return policy;
    return policy == local ? local : Tri::Maybe;
}

ProfileSettings Settings(const Snapshot& s, int p) {
    ProfileSettings out;
    // FirewallEnabled is the local value, "the effective result may differ due to group policy settings"
    // (https://learn.microsoft.com/windows/win32/api/netfw/nf-netfw-inetfwpolicy2-get_firewallenabled).
    out.enabled = PolicyWins(Lookup(s, p, "EnableFirewall", true), Of(s.local[p].enabled));
    // FW_PROFILE_CONFIG_SHIELDED: "The merge law for this option is to let "on" values win."
    out.shielded = Or(PolicyWins(Lookup(s, p, "DoNotAllowExceptions", true), Tri::No), Of(s.local[p].blockAll));
    // DefaultInboundAction: 0 allow, 1 block (GPFAS 2.2.3.17).
    out.defaultAllow = PolicyWins(Lookup(s, p, "DefaultInboundAction", false), Of(!s.local[p].defaultBlock), true);
    // ALLOW_LOCAL_POLICY_MERGE: "always use the value of the GroupPolicyRSoPStore"; without one, local rules apply.
    out.localMerge = PolicyWins(Lookup(s, p, "AllowLocalPolicyMerge", false), Tri::Yes);
    // The two legacy merges: the policy value where set; their local value is not in INetFwPolicy2 and is on
    // unless changed through the protocol itself.
    out.applicationsMerge = PolicyWins(Lookup(s, p, "AuthorizedApplicationsMerge", true), Tri::Yes);
    out.portsMerge = PolicyWins(Lookup(s, p, "GloballyOpenPortsMerge", true), Tri::Yes);
    return out;
}

// LocalPolicyModifyState speaks of "the current profile"
// (https://learn.microsoft.com/windows/win32/api/icftypes/ne-icftypes-net_fw_modify_state). With exactly one
// current profile it tells that profile's state; with several, a state other than "ok" belongs to one of them,
// and when none of them shows a reason for it, it may be the packet's profile for a reason not in the snapshot.
// Returns false where the state and the settings contradict each other: the settings read are then not what
// Windows enforces.
bool ApplyModifyState(const Snapshot& s, ProfileSettings (&settings)[3], int p) {
    const bool current = std::find(s.current.begin(), s.current.end(), p) != s.current.end();
    if (!current) return true;
    ProfileSettings& mine = settings[p];
    const bool alone = s.current.size() == 1;
    switch (s.modifyState) {
        case ModifyState::Ok:
            if (!alone) return true;
            // "will take effect": local rules count and unsolicited inbound traffic is allowed.
            if (mine.localMerge == Tri::No || And(mine.enabled, mine.shielded) == Tri::Yes) return false;
            mine.localMerge = Tri::Yes;
            if (mine.enabled == Tri::Yes) mine.shielded = Tri::No;
            return true;
        case ModifyState::GpOverride:
            if (!alone) {
                return std::any_of(s.current.begin(), s.current.end(),
                                   [&](int q) { return settings[q].localMerge != Tri::Yes; });
            }
            // "will not take effect because the profile is controlled by the group policy": local rules do not
            // count. Unexplained by the policy values read, it comes from a policy not in the snapshot.
            if (mine.localMerge == Tri::Yes) return false;
            mine.localMerge = Tri::No;
            return true;
        case ModifyState::InboundBlocked:
            if (!alone) {
                return std::any_of(s.current.begin(), s.current.end(), [&](int q) {
                    return settings[q].enabled != Tri::No && settings[q].shielded != Tri::No;
                });
            }
            // "unsolicited inbound traffic is not allowed": that is the answer, whatever else the snapshot says,
            // unless it says the firewall is off.
            if (mine.enabled == Tri::No) return false;
            mine.enabled = mine.shielded = Tri::Yes;
            return true;
    }
    return true;
}

// ---- the decision -------------------------------------------------------------------------------------------

// What the rules that take in the packet amount to, for one assignment of the merge settings.
struct Weights {
    Tri serviceAllow = Tri::No, serviceBlock = Tri::No;
    Tri bypass = Tri::No, block = Tri::No, allow = Tri::No;
    // An allow rule that requires IPsec and takes in a peer that does not satisfy it. FASP 2.2.35,
    // FW_RULE_FLAGS_AUTHENTICATE: "traffic that matches the rule is allowed only if it has been authenticated by
    // IPsec; otherwise, traffic is blocked"
    // (https://learn.microsoft.com/openspecs/windows_protocols/ms-fasp/fc67ea04-19f0-4ccd-8912-abe467e7c11a). Whether
    // "blocked" means the rule blocks that traffic or merely does not allow it is not written down.
    Tri secureBlock = Tri::No;
};

void Weigh(const Rule& r, Tri present, const PacketView& v, bool serviceRule, bool localRule, Weights& w) {
    const Tri matched = And(present, Matches(r, v));
    if (matched == Tri::No) return;
    const Packet& p = *v.packet;
    const bool authenticated = p.authenticated;
    const Tri demands = r.security == Security::None      ? Tri::No
                        : r.security == Security::Unknown ? Tri::Maybe
                                                          : Tri::Yes;
    Tri level = Tri::Yes;
    if (r.security == Security::Authenticated) level = Of(authenticated);
    if (r.security == Security::Encrypted)
        level = authenticated ? Tri::Maybe : Tri::No;  // encryption is not in the packet
    if (r.security == Security::Unknown) level = Tri::Maybe;
    const Tri machine = r.remoteMachines.empty() ? Tri::Yes
                        : authenticated          ? SddlGrants(r.remoteMachines, p.remoteMachine)
                                                 : Tri::No;
    const Tri user = r.remoteUsers.empty() ? Tri::Yes
                     : authenticated       ? SddlGrants(r.remoteUsers, p.remoteUser)
                                           : Tri::No;
    const Tri satisfied = And(level, And(machine, user));
    const Tri admitted = And(matched, satisfied);
    const Tri refused = And(matched, And(demands, Not(satisfied)));
    const bool several = (r.allow + r.block + r.bypass) > 1;
    auto one = [&](Tri t) { return several ? AtMostMaybe(t) : t; };

    if (serviceRule) {
        if (r.allow || r.bypass) w.serviceAllow = Or(w.serviceAllow, one(admitted));
        if (r.block) w.serviceBlock = Or(w.serviceBlock, one(matched));
        return;
    }
    if (r.allow || r.bypass) w.secureBlock = Or(w.secureBlock, AtMostMaybe(refused));
    if (r.allow) w.allow = Or(w.allow, one(admitted));
    if (r.bypass) w.bypass = Or(w.bypass, one(admitted));
    if (r.block) w.block = Or(w.block, one(matched));
    // INetFwRule reports only allow or block: an allow-bypass rule (FASP 2.2.34) reads as an allow rule that
    // requires IPsec and names the authorized machines, which is what a bypass rule must have (FASP 2.2.37).
    if (localRule && r.allow && r.security != Security::None && !r.remoteMachines.empty())
        w.bypass = Or(w.bypass, AtMostMaybe(admitted));
}

Weights WeighAll(const Snapshot& s, const PacketView& v, bool localMerge, bool applicationsMerge, bool portsMerge) {
    Weights w;
    for (const auto& r : s.serviceRules) Weigh(r, Tri::Yes, v, true, false, w);
    for (const auto& r : s.policyRules) Weigh(r, Tri::Yes, v, false, false, w);
    for (const auto& r : s.rules) {
        Tri present = Of(localMerge);
        if (!applicationsMerge) present = And(present, Not(r.authorizedApplicationShape));
        if (!portsMerge) present = And(present, Not(r.globalPortShape));
        Weigh(r, present, v, false, true, w);
    }
    // A rule that exists but could not be read may be anything. It is a local rule: Group Policy's rules are all
    // in policyRules, and local rules do not count where local merge is off.
    if (s.unreadable > 0 && localMerge) {
        w.allow = Or(w.allow, Tri::Maybe), w.block = Or(w.block, Tri::Maybe);
        w.secureBlock = Or(w.secureBlock, Tri::Maybe);
        if (v.packet->authenticated) w.bypass = Or(w.bypass, Tri::Maybe);
    }
    return w;
}

enum : int { kAdmit = 1, kDrop = 2 };

struct Facts {
    bool enabled, shielded, defaultAllow, excluded, restricted, serviceDrop, bypass, block, secureBlock, allow;
};

int Decide(const Facts& f) {
    // Service hardening comes before everything else, and keeps the service to what its rules allow: "You must
    // still create or enable a rule to allow these services to communicate; Windows Service Hardening rules only
    // prevent the service from communicating in ways that it was not designed to do."
    // (https://learn.microsoft.com/previous-versions/windows/it-pro/windows-server-2008-R2-and-2008/ff602923(v=ws.10),
    // https://learn.microsoft.com/windows/win32/api/netfw/nf-netfw-inetfwservicerestriction-restrictservice).
    // Whether the restriction still holds where the firewall is off, or on an excluded interface, is not written
    // down by Microsoft.
    const bool serviceStops = f.restricted && f.serviceDrop;
    // FW_PROFILE_CONFIG_ENABLE_FW: "If this value is off, the server MUST NOT block any network traffic, regardless
    // of other policy settings." (FASP 2.2.38)
    if (!f.enabled) return serviceStops ? kAdmit | kDrop : kAdmit;
    // FW_PROFILE_CONFIG_SHIELDED: "the server MUST block all incoming traffic regardless of other policy settings";
    // BlockAllInboundTraffic: "All interfaces are firewall-enabled", so excluded interfaces too
    // (https://learn.microsoft.com/windows/win32/api/netfw/nf-netfw-inetfwpolicy2-get_blockallinboundtraffic).
    if (f.shielded) return kDrop;
    // "The firewall is not applicable to any traffic received from or sent to an excluded interface."
    // (https://learn.microsoft.com/windows/win32/api/netfw/nf-netfw-inetfwpolicy2-get_excludedinterfaces)
    if (f.excluded) return serviceStops ? kAdmit | kDrop : kAdmit;
    if (serviceStops) return kDrop;
    // FASP 2.2.34: "Allow-bypass rules take precedence over block rules, and block rules take precedence over allow
    // rules." (https://learn.microsoft.com/openspecs/windows_protocols/ms-fasp/702e3c23-c9d8-43db-8380-b4c670dd7f7d)
    if (f.bypass) return kAdmit;
    if (f.block || f.secureBlock) return kDrop;
    if (f.allow) return kAdmit;
    // FW_PROFILE_CONFIG_DEFAULT_INBOUND_ACTION: "the action that the firewall does by default (and evaluates at the
    // very end) on inbound connections".
    return f.defaultAllow ? kAdmit : kDrop;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Admit:
            return "Admit";
        case Outcome::Drop:
            return "Drop";
        case Outcome::Depends:
            return "Depends";
    }
    return "?";
}

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
    return text.find(':') != std::string_view::npos ? ParseV6(text) : ParseV4(text);
}

std::string FormatIpAddress(const IpAddress& address) {
    std::string out;
    if (!address.v6) {
        for (int i = 0; i < 4; ++i) out += (i ? "." : "") + std::to_string(address.bytes[static_cast<size_t>(i)]);
        return out;
    }
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < 16; i += 2) {
        const unsigned word = (unsigned{address.bytes[i]} << 8) | address.bytes[i + 1];
        if (i) out += ':';
        bool leading = true;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = (word >> shift) & 0xF;
            if (digit == 0 && leading && shift > 0) continue;
            leading = false;
            out += kHex[digit];
        }
    }
    return out;
}

std::optional<Outcome> Evaluate(std::string_view snapshotUtf8, const Packet& packet, std::string* error) {
    const auto snapshot = ReadSnapshot(snapshotUtf8, error);
    if (!snapshot) return std::nullopt;
    const auto view = ReadPacket(packet, error);
    if (!view) return std::nullopt;
    const Snapshot& s = *snapshot;
    const int p = view->profile;

    // An MDM firewall store sits beside Group Policy with no rule for which wins ("there will be a race condition
    // and no guarantee which one wins",
    // https://learn.microsoft.com/windows/client-management/mdm/policy-csp-controlpolicyconflict), and its contents are
    // not in the snapshot: it can turn any answer around.
    if (s.mdm) return Outcome::Depends;

    ProfileSettings settings[3] = {Settings(s, 0), Settings(s, 1), Settings(s, 2)};
    if (!ApplyModifyState(s, settings, p)) return Outcome::Depends;
    const ProfileSettings& mine = settings[p];
    const bool excluded = std::any_of(s.excluded.begin(), s.excluded.end(), [&](const std::string& name) {
        return SameText(Trim(name), packet.interfaceName);
    });

    int possible = 0;
    for (bool localMerge : Values(mine.localMerge))
        for (bool applicationsMerge : Values(mine.applicationsMerge))
            for (bool portsMerge : Values(mine.portsMerge)) {
                const Weights w = WeighAll(s, *view, localMerge, applicationsMerge, portsMerge);
                const Tri serviceDrop = Or(w.serviceBlock, Not(w.serviceAllow));
                for (bool enabled : Values(mine.enabled))
                    for (bool shielded : Values(mine.shielded))
                        for (bool defaultAllow : Values(mine.defaultAllow))
                            for (bool serviceStop : Values(serviceDrop))
                                for (bool bypass : Values(w.bypass))
                                    for (bool block : Values(w.block))
                                        for (bool secureBlock : Values(w.secureBlock))
                                            for (bool allow : Values(w.allow)) {
                                                possible |=
                                                    Decide({enabled, shielded, defaultAllow, excluded, s.restricted,
                                                            serviceStop, bypass, block, secureBlock, allow});
                                                if (possible == (kAdmit | kDrop)) return Outcome::Depends;
                                            }
            }
    return possible == kAdmit ? Outcome::Admit : Outcome::Drop;
}

}  // namespace oracle
