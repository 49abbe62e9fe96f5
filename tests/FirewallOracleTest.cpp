// The firewall evaluator against Microsoft's documented answers, and the snapshot generator's output against
// the evaluator. Each row names the page its answer comes from (FASP: the Firewall and Advanced Security
// Protocol; GPFAS: Group Policy: Firewall and Advanced Security Data Structure, both under
// https://learn.microsoft.com/openspecs/windows_protocols/).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/FirewallOracle.h"
#include "support/FirewallSnapshotGen.h"

namespace {

using oracle::Outcome;
using oracle::Packet;

constexpr Outcome kAdmit = Outcome::Admit, kDrop = Outcome::Drop, kDepends = Outcome::Depends;

std::string Snap(const std::string& members) {
    return R"({"format":"rdpport-firewall-snapshot","version":1)" + (members.empty() ? "" : "," + members) + "}";
}

// An unauthenticated IPv4 peer reaching TCP 3390 on the domain profile's Ethernet adapter.
Packet Peer() {
    Packet p;
    p.profile = "domain", p.protocol = 6, p.localPort = 3390, p.remotePort = 50000;
    p.localAddress = "192.0.2.10", p.remoteAddress = "203.0.113.9";
    p.interfaceType = "Lan", p.interfaceName = "Ethernet";
    return p;
}

void Same(Packet&) {}

const std::string kAllow = R"({"name":"allow","localPorts":"3390"})";
const std::string kBlock = R"({"name":"block","action":"block","localPorts":"3390"})";
std::string Rules(const std::string& list) { return R"("rules":[)" + list + "]"; }

struct Row {
    const char* name;
    const char* source;
    std::string members;
    void (*tweak)(Packet&);
    Outcome expected;
};

void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        Packet packet = Peer();
        row.tweak(packet);
        std::string error;
        const auto outcome = oracle::Evaluate(Snap(row.members), packet, &error);
        ASSERT_TRUE(outcome.has_value()) << row.name << ": " << error;
        EXPECT_STREQ(oracle::OutcomeName(*outcome), oracle::OutcomeName(row.expected))
            << row.name << " (" << row.source << ")";
    }
}

TEST(FirewallOracle, RulePrecedenceAndDefaults) {
    const std::string secureBypass = R"("policyRules":["v2.26|Action=ByPass|Active=TRUE|Dir=In|Protocol=6|LPort=3390|)"
                                     R"(Security=Authenticate|RMAuth=O:LSD:(A;;CC;;;S-1-5-21-1-2-3-500)|Name=b|"])";
    auto admin = [](Packet& p) { p.authenticated = true, p.remoteMachine = "S-1-5-21-1-2-3-500"; };
    Check({
        {"an allow rule admits", "FASP 2.2.34 FW_RULE_ACTION_ALLOW", Rules(kAllow), Same, kAdmit},
        {"no rule: the default action blocks", "FASP 2.2.38 DEFAULT_INBOUND_ACTION", "", Same, kDrop},
        {"default action allow", "FASP 2.2.38 DEFAULT_INBOUND_ACTION",
         R"("profiles":{"domain":{"defaultInboundAction":"allow"}})", Same, kAdmit},
        {"block beats allow", "FASP 2.2.34", Rules(kAllow + "," + kBlock), Same, kDrop},
        {"block beats the default allow", "FASP 2.2.34",
         R"("profiles":{"domain":{"defaultInboundAction":"allow"}},)" + Rules(kBlock), Same, kDrop},
        {"bypass beats block for the authorized machine", "FASP 2.2.34",
         secureBypass + "," + Rules(kAllow + "," + kBlock), admin, kAdmit},
        {"bypass needs an authenticated peer", "FASP 2.2.34, 2.2.35", secureBypass + "," + Rules(kAllow + "," + kBlock),
         Same, kDrop},
        {"an allow rule requiring IPsec does not admit a plain peer", "FASP 2.2.35 FW_RULE_FLAGS_AUTHENTICATE",
         Rules(R"({"localPorts":"3390","secureFlags":1})"), Same, kDrop},
        {"... and admits an authenticated one", "FASP 2.2.35; NET_FW_AUTHENTICATE_TYPE",
         Rules(R"({"localPorts":"3390","secureFlags":1})"), admin, kAdmit},
        {"... beside a plain allow rule: blocked or merely not allowed",
         "FASP 2.2.35 \"otherwise, traffic is blocked\"", Rules(kAllow + R"(,{"localPorts":"3390","secureFlags":1})"),
         Same, kDepends},
        {"INetFwRule cannot tell an allow-bypass rule from allow-if-secure", "FASP 2.2.37 bypass checks; INetFwRule3",
         Rules(kBlock +
               R"j(,{"localPorts":"3390","secureFlags":1,"remoteMachineAuthorizedList":"O:LSD:(A;;CC;;;WD)"})j"),
         admin, kDepends},
    });
}

TEST(FirewallOracle, RuleConditions) {
    Check({
        {"block narrowed to Lan, on Lan", "FASP 2.2.20, 2.2.37 dwLocalInterfaceTypes",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","interfaceTypes":"Lan"})"), Same, kDrop},
        {"block narrowed to Lan, on Wi-Fi", "FASP 2.2.20",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","interfaceTypes":"Lan"})"),
         [](Packet& p) { p.interfaceType = "Wireless"; }, kAdmit},
        {"block on the server's address", "INetFwRule::LocalAddresses",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","localAddresses":"192.0.2.10"})"), Same, kDrop},
        {"block on another local address", "INetFwRule::LocalAddresses",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","localAddresses":"192.0.2.10"})"),
         [](Packet& p) { p.localAddress = "192.0.2.11"; }, kAdmit},
        {"block on 0.0.0.0-255.255.255.255 takes every IPv4 peer", "INetFwRule::RemoteAddresses ranges",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","remoteAddresses":"0.0.0.0-255.255.255.255"})"), Same,
         kDrop},
        {"... but no IPv6 peer", "INetFwRule::RemoteAddresses",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","remoteAddresses":"0.0.0.0-255.255.255.255"})"),
         [](Packet& p) { p.localAddress = "2001:db8::10", p.remoteAddress = "2001:db8:5::1"; }, kAdmit},
        {"allow for LocalSubnet, peer outside", "INetFwRule::RemoteAddresses \"LocalSubnet\"",
         Rules(R"({"localPorts":"3000-4000","remoteAddresses":"LocalSubnet"})"), Same, kDrop},
        {"allow for LocalSubnet, peer inside", "INetFwRule::RemoteAddresses \"LocalSubnet\"",
         Rules(R"({"localPorts":"3000-4000","remoteAddresses":"localsubnet"})"),
         [](Packet& p) { p.remoteIs = {"LocalSubnet"}; }, kAdmit},
        {"allow for a /24 by mask, peer inside", "INetFwRule::RemoteAddresses subnets",
         Rules(R"({"localPorts":"3390","remoteAddresses":"203.0.113.0/255.255.255.0"})"), Same, kAdmit},
        {"allow for the domain profile, packet on Public", "FASP 2.2.37 dwProfiles",
         Rules(R"({"localPorts":"3390","profiles":["domain"]})"), [](Packet& p) { p.profile = "public"; }, kDrop},
        {"the port as a remote port, peer from 50000", "FASP 2.2.37 RemotePorts",
         Rules(R"({"localPorts":"*","remotePorts":"3390"})"), Same, kDrop},
        {"the port as a remote port, peer from 3390", "FASP 2.2.37 RemotePorts",
         Rules(R"({"localPorts":"*","remotePorts":"3390"})"), [](Packet& p) { p.remotePort = 3390; }, kAdmit},
        {"a port keyword never is the port", "FASP 2.2.14 PortsInUse",
         Rules(kAllow + R"(,{"action":"block","localPorts":"RPC,RPC-EPMap"})"), Same, kAdmit},
        {"UDP rule, TCP packet", "FASP 2.2.37 wIpProtocol", Rules(R"({"protocol":17,"localPorts":"3390"})"), Same,
         kDrop},
        {"any protocol", "FASP 2.2.37 wIpProtocol 256", Rules(R"({"protocol":256})"), Same, kAdmit},
        {"another service's block rule", "INetFwRule::ServiceName",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","service":"Spooler"})"), Same, kAdmit},
        {"a block rule for every service", "INetFwRule::ServiceName \"*\"",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","service":"*"})"), Same, kDrop},
        {"svchost by another spelling", "FASP 2.2.33 RESOLVE_APPLICATION (environment variables)",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","application":"%windir%\\System32\\SVCHOST.EXE"})"),
         Same, kDrop},
        {"another program's block rule", "FASP 2.2.37 wszLocalApplication",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","application":"C:\\Tools\\app.exe"})"), Same, kAdmit},
        {"a packaged app's block rule", "FASP 2.2.37 wszPackageId",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","localAppPackageId":"S-1-15-2-1-2-3"})"), Same,
         kAdmit},
        {"a block rule owned by NETWORK SERVICE", "INetFwRule3::LocalUserOwner",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","localUserOwner":"S-1-5-20"})"), Same, kDrop},
        {"a block rule owned by someone else", "INetFwRule3::LocalUserOwner",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","localUserOwner":"S-1-5-21-9-9-9-1001"})"), Same,
         kAdmit},
        {"an interface list without this adapter", "INetFwRule::Interfaces",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","interfaces":["Wi-Fi"]})"), Same, kAdmit},
        {"a disabled block rule", "FASP 2.2.35 FW_RULE_FLAGS_ACTIVE",
         Rules(kAllow + R"(,{"action":"block","localPorts":"3390","enabled":false})"), Same, kAdmit},
    });
}

TEST(FirewallOracle, ProfileSettingsAndPolicy) {
    const std::string policyBlock =
        R"("policyRules":["v2.26|Action=Block|Active=TRUE|Dir=In|Protocol=6|LPort=3390|Name=b|"])";
    const std::string privateOff = R"("policy":{"standard":{"EnableFirewall":0}})";
    auto onPrivate = [](Packet& p) { p.profile = "private"; };
    Check({
        {"firewall off admits despite a block rule", "FASP 2.2.38 ENABLE_FW",
         R"("profiles":{"domain":{"enabled":false}},)" + Rules(kBlock), Same, kAdmit},
        {"policy turns the firewall off", "FASP 2.2.38 merge law; GPFAS 2.2.3.1",
         R"("policy":{"domain":{"EnableFirewall":0}},)" + Rules(kBlock), Same, kAdmit},
        {"policy turns the firewall on", "INetFwPolicy2::FirewallEnabled \"may differ due to group policy\"",
         R"("profiles":{"domain":{"enabled":false}},"policy":{"domain":{"EnableFirewall":1}})", Same, kDrop},
        {"block all inbound", "INetFwPolicy2::BlockAllInboundTraffic",
         R"("modifyState":"inbound-blocked","profiles":{"domain":{"blockAllInbound":true}},)" + Rules(kAllow), Same,
         kDrop},
        {"DoNotAllowExceptions: on wins", "FASP 2.2.38 SHIELDED",
         R"("modifyState":"inbound-blocked","policy":{"domain":{"DoNotAllowExceptions":1}},)" + Rules(kAllow), Same,
         kDrop},
        {"policy default action allow", "GPFAS 2.2.3.17", R"("policy":{"domain":{"DefaultInboundAction":0}})", Same,
         kAdmit},
        {"excluded interface", "INetFwPolicy2::ExcludedInterfaces",
         R"("excludedInterfaces":["Ethernet"],)" + Rules(kBlock), Same, kAdmit},
        {"excluded interface under block all", "BlockAllInboundTraffic \"All interfaces are firewall-enabled\"",
         R"("modifyState":"inbound-blocked","excludedInterfaces":["Ethernet"],)"
         R"("profiles":{"domain":{"blockAllInbound":true}})",
         Same, kDrop},
        {"local merge off ignores local rules", "FASP 2.2.38 ALLOW_LOCAL_POLICY_MERGE",
         R"("modifyState":"gp-override","policy":{"domain":{"AllowLocalPolicyMerge":0}},)" + Rules(kAllow), Same,
         kDrop},
        {"... not Group Policy's own", "FASP 2.2.38 ALLOW_LOCAL_POLICY_MERGE",
         R"("modifyState":"gp-override","policy":{"domain":{"AllowLocalPolicyMerge":0}},)"
         R"("policyRules":["v2.26|Action=Allow|Active=TRUE|Dir=In|Protocol=6|LPort=3390|"])",
         Same, kAdmit},
        {"a policy block rule", "GPFAS 2.2.2.19", policyBlock + "," + Rules(kAllow), Same, kDrop},
        {"a policy rule without Active= is off", "GPFAS 2.2.2.19 \"Active=\"",
         R"("policyRules":["v2.26|Action=Block|Dir=In|Protocol=6|LPort=3390|"],)" + Rules(kAllow), Same, kAdmit},
        {"a policy block rule for the Public profile", "GPFAS 2.2.2.19 \"Profile=\"",
         R"("policyRules":["v2.26|Action=Block|Active=TRUE|Dir=In|Protocol=6|LPort=3390|Profile=Public|"],)" +
             Rules(kAllow),
         Same, kAdmit},
        {"StandardProfile applies to Private", "GPFAS 2.2.3", privateOff + "," + Rules(kBlock), onPrivate, kAdmit},
        {"StandardProfile is ignored once PublicProfile exists", "GPFAS 2.2.3",
         R"("policy":{"standard":{"EnableFirewall":0},"public":{}})", onPrivate, kDrop},
        {"StandardProfile never applies to Domain", "GPFAS 2.2.3", privateOff, Same, kDrop},
        {"GloballyOpenPorts merge off: a port-only local rule", "FASP 2.2.38 GLOBAL_PORTS_ALLOW_USER_PREF_MERGE",
         R"("policy":{"domain":{"GloballyOpenPortsMerge":0}},)" + Rules(kAllow), Same, kDrop},
        {"... a rule for svchost is no global port rule", "FASP 2.2.38 global port rules",
         R"("policy":{"domain":{"GloballyOpenPortsMerge":0}},)" +
             Rules(R"({"localPorts":"3390","application":"%SystemRoot%\\system32\\svchost.exe"})"),
         Same, kAdmit},
        {"AuthorizedApplications merge off: a program-only local rule", "FASP 2.2.38 AUTH_APPS_ALLOW_USER_PREF_MERGE",
         R"("policy":{"domain":{"AuthorizedApplicationsMerge":0}},)" +
             Rules(R"({"localPorts":"*","application":"%SystemRoot%\\system32\\svchost.exe"})"),
         Same, kDrop},
    });
}

TEST(FirewallOracle, UnseenContentAndModifyState) {
    const std::string wsh =
        R"("termServiceRestricted":true,"termServiceRules":[{"localPorts":"3389","service":"TermService"}])";
    Check({
        {"an unreadable rule", "INetFwRules: a rule not read may be any", Rules(kAllow) + R"(,"unreadableRules":1)",
         Same, kDepends},
        {"an unreadable rule under firewall off", "FASP 2.2.38 ENABLE_FW",
         R"("profiles":{"domain":{"enabled":false}},"unreadableRules":2)", Same, kAdmit},
        {"an MDM store", "Policy CSP ControlPolicyConflict: \"no guarantee which one wins\"",
         Rules(kAllow) + R"(,"mdmPolicy":true)", Same, kDepends},
        {"a policy rule that does not parse", "GPFAS 2.2.2.19", R"("policyRules":["garbage"],)" + Rules(kAllow), Same,
         kDepends},
        {"a malformed rule cannot matter under block all", "FASP 2.2.38 SHIELDED",
         R"("modifyState":"inbound-blocked","policyRules":["garbage"],"profiles":{"domain":{"blockAllInbound":true}})",
         Same, kDrop},
        {"gp-override explained by the policy", "NET_FW_MODIFY_STATE_GP_OVERRIDE",
         R"("modifyState":"gp-override","policy":{"domain":{"AllowLocalPolicyMerge":0}},)" + Rules(kAllow), Same,
         kDrop},
        {"\"ok\" beside a visible block all: the settings read are not those in force", "NET_FW_MODIFY_STATE_OK",
         R"("profiles":{"domain":{"blockAllInbound":true}},)" + Rules(kAllow), Same, kDepends},
        {"gp-override with no policy value to explain it", "NET_FW_MODIFY_STATE_GP_OVERRIDE",
         R"("modifyState":"gp-override",)" + Rules(kAllow), Same, kDepends},
        {"inbound-blocked, one current profile", "NET_FW_MODIFY_STATE_INBOUND_BLOCKED",
         R"("modifyState":"inbound-blocked",)" + Rules(kAllow), Same, kDrop},
        {"inbound-blocked belongs to the other current profile", "INetFwPolicy2::CurrentProfileTypes (several)",
         R"("currentProfiles":["domain","public"],"modifyState":"inbound-blocked",)"
         R"("profiles":{"public":{"blockAllInbound":true}},)" +
             Rules(kAllow),
         Same, kAdmit},
        {"inbound-blocked, two current profiles, no reason seen", "NET_FW_MODIFY_STATE_INBOUND_BLOCKED",
         R"("currentProfiles":["domain","public"],"modifyState":"inbound-blocked",)" + Rules(kAllow), Same, kDepends},
        {"a profile not current is judged on its settings", "NET_FW_MODIFY_STATE: \"the current profile\"",
         R"("currentProfiles":["public"],"modifyState":"inbound-blocked",)" + Rules(kAllow), Same, kAdmit},
        {"service hardening allows the port", "INetFwServiceRestriction::RestrictService",
         Rules(kAllow) +
             R"(,"termServiceRestricted":true,"termServiceRules":[{"localPorts":"3390","service":"TermService"}])",
         Same, kAdmit},
        {"service hardening allows only 3389", "Windows Service Hardening rules are evaluated first",
         wsh + "," + Rules(kAllow), Same, kDrop},
        {"... and a firewall off: not written down", "FASP 2.2.38 ENABLE_FW vs service hardening",
         wsh + R"(,"profiles":{"domain":{"enabled":false}})", Same, kDepends},
        {"an unrestricted TermService ignores its hardening rules", "RestrictService(VARIANT_FALSE)",
         R"("termServiceRules":[{"localPorts":"3389"}],)" + Rules(kAllow), Same, kAdmit},
    });
}

// Group Policy's rule strings, read by GPFAS 2.2.2.19's grammar, beside a local allow rule for the port.
TEST(FirewallOracle, PolicyRuleGrammar) {
    auto beside = [](const std::string& rule) { return R"("policyRules":[")" + rule + R"("],)" + Rules(kAllow); };
    const std::string block = "v2.26|Action=Block|Active=TRUE|Dir=In|Protocol=6|";
    auto v6 = [](Packet& p) {
        p.localAddress = "2001:db8::10", p.remoteAddress = "2001:db8::9", p.remoteIs = {"LocalSubnet"};
    };
    Check({
        {"tokens in any case", "RFC 4234 2.3: ABNF strings are case-insensitive",
         beside("V2.26|action=block|ACTIVE=true|dir=in|protocol=6|lport=3390|"), Same, kDrop},
        {"a port range", "GPFAS 2.2.2.19 LPort2_10", beside(block + "LPort2_10=3000-4000|"), Same, kDrop},
        {"another port", "GPFAS 2.2.2.19 LPort", beside(block + "LPort=3391|"), Same, kAdmit},
        {"outbound", "GPFAS 2.2.2.4", beside("v2.26|Action=Block|Active=TRUE|Dir=Out|Protocol=6|LPort=3390|"), Same,
         kAdmit},
        {"RA4's keyword on an IPv4 peer", "GPFAS 2.2.2.19 RA4", beside(block + "LPort=3390|RA4=LocalSubnet|"),
         [](Packet& p) { p.remoteIs = {"LocalSubnet"}; }, kDrop},
        {"RA4's keyword is no IPv6 address", "GPFAS 2.2.2.19 RA4 (dwV4AddressKeywords)",
         beside(block + "LPort=3390|RA4=LocalSubnet|"), v6, kAdmit},
        {"two Profile tokens, neither Domain",
         "GPFAS 2.2.2.19 Profile=", beside(block + "LPort=3390|Profile=Private|Profile=Public|"), Same, kAdmit},
        {"another service", "GPFAS 2.2.2.19 Svc=", beside(block + "LPort=3390|Svc=Spooler|"), Same, kAdmit},
        {"no closing bar", "GPFAS 2.2.2.19 FIELD = TYPE-VALUE \"|\"", beside(block + "LPort=3390"), Same, kDepends},
        {"LPort before Protocol", "GPFAS 2.2.2.19 \"LPort= ... only if a Protocol= token has appeared before it\"",
         beside("v2.26|Action=Block|Active=TRUE|Dir=In|LPort=3390|Protocol=6|"), Same, kDepends},
        {"a higher major version", "FASP 2.2.24 FW_RULE_STATUS_IGNORED",
         beside("v3.0|Action=Block|Active=TRUE|Dir=In|Protocol=6|LPort=3390|"), Same, kDepends},
        {"an interface by GUID", "GPFAS 2.2.2.7",
         beside(block + "LPort=3390|IF={0A1B2C3D-0000-4000-8000-00AA00BB00CC}|"), Same, kDepends},
        {"a trust tuple", "FASP 2.2.37 dwTrustTupleKeywords", beside(block + "LPort=3390|TTK=Proximity|"), Same,
         kDepends},
        {"skipped only by 2.0 and older", "GPFAS 2.2.2.19 SkipVer=", beside(block + "LPort=3390|SkipVer=2.0|"),
         Same, kDrop},
        {"skipped by 2.30 and older", "GPFAS 2.2.2.19 SkipVer=", beside(block + "LPort=3390|SkipVer=2.30|"), Same,
         kDepends},
        {"local-only mapping ignores the remote port", "FASP 2.2.35 FW_RULE_FLAGS_LOCAL_ONLY_MAPPED",
         R"("policyRules":["v2.26|Action=Allow|Active=TRUE|Dir=In|Protocol=6|LPort=3390|RPort=1|LOM=TRUE|"])", Same,
         kAdmit},
    });
}

// Address lists (INetFwRule::RemoteAddresses) and authorized-user lists (FASP 2.2.37, SDDL).
TEST(FirewallOracle, AddressesAndAuthorizedUsers) {
    auto allowFrom = [](const std::string& addresses) {
        return Rules(R"({"localPorts":"3390","remoteAddresses":")" + addresses + R"("})");
    };
    auto secured = [](const std::string& users) {
        return Rules(R"({"localPorts":"3390","secureFlags":1,"remoteUserAuthorizedList":")" + users + R"("})");
    };
    auto v6 = [](Packet& p) { p.localAddress = "2001:db8::10", p.remoteAddress = "2001:db8::9"; };
    auto admin = [](Packet& p) { p.authenticated = true, p.remoteUser = "S-1-5-21-1-2-3-1001"; };
    Check({
        {"a single address", "get_RemoteAddresses: mask defaults to 255.255.255.255", allowFrom("203.0.113.9"), Same,
         kAdmit},
        {"a list with one entry for the peer", "get_RemoteAddresses", allowFrom("10.0.0.1,203.0.113.9"), Same, kAdmit},
        {"an IPv6 range, peer inside", "get_RemoteAddresses IPv6 ranges", allowFrom("2001:db8::1-2001:db8::ffff"), v6,
         kAdmit},
        {"an IPv6 range, peer outside", "get_RemoteAddresses IPv6 ranges", allowFrom("2001:db8::1-2001:db8::8"), v6,
         kDrop},
        {"an IPv6 prefix", "FASP 2.2.6", allowFrom("2001:db8::/32"), v6, kAdmit},
        {"a mask of zero is invalid", "FASP 2.2.4 \"A dwSubNetMask of 0x00000000 is invalid\"", allowFrom("0.0.0.0/0"),
         Same, kDepends},
        {"a mask that is not contiguous", "FASP 2.2.4", allowFrom("203.0.0.0/255.0.255.0"), Same, kDepends},
        {"the authenticated user is listed", "FASP 2.2.37 wszRemoteUserAuthorizationList",
         secured("O:LSD:(A;;CC;;;S-1-5-21-1-2-3-1001)"), admin, kAdmit},
        {"Everyone is listed", "MS-DTYP SID WD", secured("O:LSD:(A;;CC;;;WD)"), admin, kAdmit},
        {"the user is denied", "MS-DTYP access check", secured("O:LSD:(D;;CC;;;S-1-5-21-1-2-3-1001)(A;;CC;;;WD)"),
         admin, kDrop},
        {"only a group the user may belong to", "MS-DTYP access check", secured("O:LSD:(A;;CC;;;S-1-5-21-1-2-3-513)"),
         admin, kDepends},
    });
}

TEST(FirewallOracle, RefusesMalformedSnapshots) {
    for (const char* text :
         {"", "[]", R"({"format":"rdpport-firewall-snapshot"})", R"({"format":"other","version":1})",
          R"({"format":"rdpport-firewall-snapshot","version":2})",
          R"({"format":"rdpport-firewall-snapshot","version":1,"modifyState":"maybe"})",
          R"({"format":"rdpport-firewall-snapshot","version":1,"rules":[{"action":"deny"}]})",
          R"({"format":"rdpport-firewall-snapshot","version":1,"rules":[{"profiles":["home"]}]})",
          R"({"format":"rdpport-firewall-snapshot","version":1,"policy":{"domain":{"EnableFirewall":"0"}}})"}) {
        std::string error;
        EXPECT_FALSE(oracle::Evaluate(text, Peer(), &error).has_value()) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    Packet loopback = Peer();
    loopback.remoteAddress = "127.0.0.1";
    EXPECT_FALSE(oracle::Evaluate(Snap(""), loopback).has_value());
}

// The review's scenarios, as the generator builds them, with the answer Windows gives each packet.
TEST(FirewallOracle, ReviewScenarios) {
    struct Probe {
        const char* scenario;
        void (*tweak)(Packet&);
        Outcome expected;
    };
    const Probe probes[] = {
        {"N1-interface-type", Same, kDrop},
        {"N1-interface-type", [](Packet& p) { p.interfaceType = "RemoteAccess"; }, kAdmit},
        {"N1-local-address", [](Packet& p) { p.localAddress = "192.168.1.10"; }, kDrop},
        {"N1-local-address", Same, kAdmit},
        {"N1-remote-range", Same, kDrop},
        {"N2-local-subnet", Same, kDrop},
        {"N2-local-subnet", [](Packet& p) { p.remoteIs = {"LocalSubnet"}; }, kAdmit},
        {"N3-domain-only", Same, kAdmit},
        {"N3-domain-only", [](Packet& p) { p.profile = "public"; }, kDrop},
        {"N4-remote-port", Same, kDrop},
        {"N8-public-block-all", Same, kAdmit},
        {"N8-public-block-all", [](Packet& p) { p.profile = "public"; }, kDrop},
        {"N8-public-no-merge", Same, kAdmit},
        {"N8-public-no-merge", [](Packet& p) { p.profile = "public"; }, kDrop},
    };
    const auto scenarios = oracle::ReviewScenarios(3390);
    for (const Probe& probe : probes) {
        const auto it =
            std::find_if(scenarios.begin(), scenarios.end(), [&](const auto& s) { return s.first == probe.scenario; });
        ASSERT_NE(it, scenarios.end()) << probe.scenario;
        Packet packet = Peer();
        probe.tweak(packet);
        const auto outcome = oracle::Evaluate(it->second, packet);
        ASSERT_TRUE(outcome.has_value()) << probe.scenario;
        EXPECT_STREQ(oracle::OutcomeName(*outcome), oracle::OutcomeName(probe.expected)) << probe.scenario;
    }
}

// ---- properties over generated snapshots ----------------------------------------------------------------------

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// What the snapshot cannot show never makes an answer certain or turns it around: an unreadable rule leaves
// the answer or makes it Depends, an MDM store always makes it Depends; a firewall off everywhere never drops,
// and one that blocks all inbound traffic everywhere never admits.
TEST(FirewallOracle, UnknownsAndSwitchesAreMonotonic) {
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
        std::mt19937_64 rng(seed);
        const std::uint16_t port = 3390;
        const std::string snapshot = oracle::GenerateSnapshot(rng, port);
        const std::string unreadable = Replaced(snapshot, R"("unreadableRules":0)", R"("unreadableRules":1)");
        const std::string mdm = Replaced(snapshot, R"("mdmPolicy":false)", R"("mdmPolicy":true)");
        std::string off = Replaced(Replaced(snapshot, R"("enabled":true,"blockAll)", R"("enabled":false,"blockAll)"),
                                   R"("EnableFirewall":1)", R"("EnableFirewall":0)");
        off = Replaced(off, R"("EnableFirewall":2)", R"("EnableFirewall":0)");
        std::string shut = Replaced(snapshot, R"("blockAllInbound":false)", R"("blockAllInbound":true)");
        shut = Replaced(Replaced(Replaced(shut, R"("enabled":false,"blockAll)", R"("enabled":true,"blockAll)"),
                                 R"("EnableFirewall":0)", R"("EnableFirewall":1)"),
                        R"("EnableFirewall":2)", R"("EnableFirewall":1)");
        for (const char* profile : {"domain", "private", "public"}) {
            for (const Packet& packet : oracle::DrawPackets(rng, snapshot, profile, 6, port, 6)) {
                const auto base = oracle::Evaluate(snapshot, packet);
                ASSERT_TRUE(base.has_value());
                const auto withUnreadable = oracle::Evaluate(unreadable, packet);
                EXPECT_TRUE(withUnreadable == base || withUnreadable == kDepends) << unreadable;
                EXPECT_EQ(oracle::Evaluate(mdm, packet), kDepends);
                EXPECT_NE(oracle::Evaluate(off, packet), kDrop) << off;
                EXPECT_NE(oracle::Evaluate(shut, packet), kAdmit) << shut;
            }
        }
    }
}

}  // namespace
