// The firewall decision over rule records, as the reader copies them out of INetFwPolicy2: which
// LocalPorts lists name a port, and the verdict per profile (which rules can admit Remote Desktop).

#include <gtest/gtest.h>

#include "guard/FirewallModel.h"

namespace {

using namespace guard::firewall;
using guard::FirewallVerdict;

TEST(GuardFirewall, PortListsNameNumbersRangesAndStarButNoKeyword) {
    struct Case {
        const wchar_t* list;
        std::uint16_t port;
        bool covers;
    };
    const Case cases[] = {
        {L"3389", 3389, true},
        {L"3389", 3390, false},
        {L"80,443,3390", 3390, true},
        {L"80, 443 ,3390", 443, true},
        {L"80,443", 3390, false},
        {L"3000-4000", 3390, true},
        {L"3000-4000", 3000, true},
        {L"3000-4000", 4000, true},
        {L"3000-4000", 4001, false},
        {L"3000-4000", 2999, false},
        {L"4000-3000", 3390, false},
        {L"3000 - 4000", 3500, true},
        {L"*", 1, true},
        {L"", 3390, true},
        {L"  ", 3390, true},
        {L"RPC", 135, false},
        {L"RPC-EPMap", 135, false},
        {L"IPHTTPS", 443, false},
        {L"IPHTTPSIn", 443, false},
        {L"Teredo", 3544, false},
        {L"Ply2Disc", 3390, false},
        {L"RPC,3390", 3390, true},
        {L"65536", 0, false},
        {L"99999999999", 3390, false},
        {L"70000-80000", 3390, false},
        {L"3390-", 3390, false},
        {L"-3390", 3390, false},
        {L"0x1F90", 8080, false},
        {L"33900", 3390, false},
        {L"065535", 65535, true},
        {L"1-65535", 65535, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortListCovers(c.list, c.port), c.covers)
            << "list \"" << testing::PrintToString(std::wstring(c.list)) << "\", port " << c.port;
    }
}

// ---- Verdicts -----------------------------------------------------------------------------------

Rule Allow(const wchar_t* ports, long protocol = kProtocolTcp) {
    Rule rule;
    rule.protocol = protocol;
    rule.localPorts = ports;
    rule.enabled = true;
    return rule;
}

Rule Block(const wchar_t* ports, long protocol = kProtocolTcp) {
    Rule rule = Allow(ports, protocol);
    rule.action = Action::Block;
    return rule;
}

template <class F>
Rule With(Rule rule, F change) {
    change(rule);
    return rule;
}

// A profile's settings: on, block all inbound, inbound allowed by default.
struct Setting {
    long type;
    bool on;
    bool blockAll;
    bool allowedByDefault;
};
Setting On(long type) { return {type, true, false, false}; }
Setting Off(long type) { return {type, false, false, false}; }

// The current profiles as given; the others set like the first current one.
State Known(std::vector<Setting> current, std::vector<Rule> rules) {
    State state;
    state.known = true;
    state.rules = std::move(rules);
    for (long type : kProfileBits) {
        const Setting* given = current.empty() ? nullptr : &current.front();
        for (const Setting& setting : current)
            if (setting.type == type) given = &setting;
        if (given) state.profiles[ProfileIndex(type)] = {given->on, given->blockAll, given->allowedByDefault};
    }
    for (const Setting& setting : current) state.currentProfiles |= setting.type;
    // Windows says so too, where one profile is current and blocks all inbound traffic.
    if (current.size() == 1 && current[0].on && current[0].blockAll) state.modifyState = ModifyState::InboundBlocked;
    return state;
}

// What status reports: open in all three profiles, closed in a current one, or unknown.
FirewallVerdict VerdictFor(const State& state, std::uint16_t port, long protocol = kProtocolTcp) {
    return Assess(state, port, protocol).Summary();
}

TEST(GuardFirewall, VerdictsForPort3390) {
    const auto domainOnly = [](Rule& r) { r.profiles = kProfileDomain; };
    struct Case {
        const char* name;
        State state;
        FirewallVerdict verdict;
    };
    const Case cases[] = {
        {"state unknown", State{}, FirewallVerdict::Unknown},
        {"known, but no current profile", Known({}, {}), FirewallVerdict::Unknown},
        {"firewall off", Known({Off(kProfilePublic)}, {}), FirewallVerdict::Admits},
        {"on, no rule", Known({On(kProfilePublic)}, {}), FirewallVerdict::Closed},
        {"on, only the old port", Known({On(kProfilePublic)}, {Allow(L"3389")}), FirewallVerdict::Closed},
        {"allow TCP", Known({On(kProfilePublic)}, {Allow(L"3390")}), FirewallVerdict::Admits},
        {"allow UDP", Known({On(kProfilePublic)}, {Allow(L"3390", kProtocolUdp)}), FirewallVerdict::Closed},
        {"allow any protocol", Known({On(kProfilePublic)}, {Allow(L"", kProtocolAny)}), FirewallVerdict::Admits},
        {"allow ICMP", Known({On(kProfilePublic)}, {Allow(L"", 1)}), FirewallVerdict::Closed},
        {"allow a range", Known({On(kProfilePublic)}, {Allow(L"3000-4000")}), FirewallVerdict::Admits},
        {"allow a list", Known({On(kProfilePublic)}, {Allow(L"80,3390")}), FirewallVerdict::Admits},
        {"allow *", Known({On(kProfilePublic)}, {Allow(L"*")}), FirewallVerdict::Admits},
        {"allow a keyword", Known({On(kProfilePublic)}, {Allow(L"RPC-EPMap")}), FirewallVerdict::Closed},
        {"disabled allow", Known({On(kProfilePublic)}, {With(Allow(L"3390"), [](Rule& r) { r.enabled = false; })}),
         FirewallVerdict::Closed},
        {"outbound allow",
         Known({On(kProfilePublic)}, {With(Allow(L"3390"), [](Rule& r) { r.direction = Direction::Out; })}),
         FirewallVerdict::Closed},
        {"allow in another profile", Known({On(kProfilePublic)}, {With(Allow(L"3390"), domainOnly)}),
         FirewallVerdict::Closed},
        // Open where the computer is now, closed where it may come up after the restart.
        {"allow in the current profile", Known({On(kProfileDomain)}, {With(Allow(L"3390"), domainOnly)}),
         FirewallVerdict::Unknown},
        {"allow in another program",
         Known({On(kProfilePublic)}, {With(Allow(L"3390"), [](Rule& r) { r.applicationName = L"C:\\web.exe"; })}),
         FirewallVerdict::Closed},
        {"allow as Windows ships it",
         Known({On(kProfilePublic)}, {With(Allow(L"3390"),
                                           [](Rule& r) {
                                               r.applicationName = L"%SystemRoot%\\system32\\svchost.exe";
                                               r.serviceName = L"termservice";
                                           })}),
         FirewallVerdict::Admits},
        {"allow for svchost and TermService in capitals",
         Known({On(kProfilePublic)}, {With(Allow(L"3390"),
                                           [](Rule& r) {
                                               r.applicationName = L"C:\\WINDOWS\\System32\\SVCHOST.EXE";
                                               r.serviceName = L"TermService";
                                           })}),
         FirewallVerdict::Unknown},  // a drive letter: the same file only where Windows lives on C:
        {"allow for svchost, another service",
         Known({On(kProfilePublic)}, {With(Allow(L"3390"),
                                           [](Rule& r) {
                                               r.applicationName = L"%SystemRoot%\\system32\\svchost.exe";
                                               r.serviceName = L"Dnscache";
                                           })}),
         FirewallVerdict::Closed},
        {"allow for every service",
         Known({On(kProfilePublic)}, {With(Allow(L"3390"), [](Rule& r) { r.serviceName = L"*"; })}),
         FirewallVerdict::Admits},
        {"allow for another service",
         Known({On(kProfilePublic)}, {With(Allow(L"3390"), [](Rule& r) { r.serviceName = L"WinRM"; })}),
         FirewallVerdict::Closed},
        {"allow from some addresses only",
         Known({On(kProfilePublic)}, {With(Allow(L"3390"), [](Rule& r) { r.remoteAddresses = L"10.0.0.0/8"; })}),
         FirewallVerdict::Unknown},
        {"block beats allow", Known({On(kProfilePublic)}, {Allow(L"3390"), Block(L"3000-4000")}),
         FirewallVerdict::Closed},
        {"block of any protocol beats allow", Known({On(kProfilePublic)}, {Block(L"*", kProtocolAny), Allow(L"3390")}),
         FirewallVerdict::Closed},
        {"block of another port", Known({On(kProfilePublic)}, {Allow(L"3390"), Block(L"3389")}),
         FirewallVerdict::Admits},
        {"disabled block",
         Known({On(kProfilePublic)}, {Allow(L"3390"), With(Block(L"3390"), [](Rule& r) { r.enabled = false; })}),
         FirewallVerdict::Admits},
        {"block from some addresses only",
         Known({On(kProfilePublic)},
               {Allow(L"3390"), With(Block(L"3390"), [](Rule& r) { r.remoteAddresses = L"203.0.113.7"; })}),
         FirewallVerdict::Unknown},
        {"block of another program",
         Known({On(kProfilePublic)},
               {Allow(L"3390"), With(Block(L"3390"), [](Rule& r) { r.applicationName = L"C:\\web.exe"; })}),
         FirewallVerdict::Admits},
        {"block in another profile", Known({On(kProfilePublic)}, {Allow(L"3390"), With(Block(L"3390"), domainOnly)}),
         FirewallVerdict::Unknown},
        {"block all inbound", Known({{kProfilePublic, true, true, false}}, {Allow(L"3390")}), FirewallVerdict::Closed},
        {"inbound allowed by default", Known({{kProfilePublic, true, false, true}}, {}), FirewallVerdict::Admits},
        {"allowed by default but blocked", Known({{kProfilePublic, true, false, true}}, {Block(L"3390")}),
         FirewallVerdict::Closed},
        {"two profiles, allowed in one",
         Known({On(kProfileDomain), On(kProfilePublic)}, {With(Allow(L"3390"), domainOnly)}), FirewallVerdict::Closed},
        {"two profiles, the other one off",
         Known({On(kProfileDomain), Off(kProfilePublic)}, {With(Allow(L"3390"), domainOnly)}), FirewallVerdict::Unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(VerdictFor(c.state, 3390), c.verdict) << c.name;
}

// Group Policy's firewall values and the local modify state, as Windows applies them over the local
// settings: an allow rule admits only where local rules take effect.
TEST(GuardFirewall, PolicyAndModifyStateDecideBeforeLocalRules) {
    const auto policy = [](PolicyProfile p, int key = kPolicyPublic) {
        State state = Known({On(kProfilePublic)}, {Allow(L"3390")});
        p.exists = true;
        state.policy[key] = p;
        return state;
    };
    const auto modify = [](ModifyState m, std::vector<Rule> rules) {
        State state = Known({On(kProfilePublic)}, std::move(rules));
        state.modifyState = m;
        return state;
    };
    const auto governed = [](State state) {
        state.modifyState = ModifyState::GroupPolicyOverride;
        return state;
    };
    const auto inboundBlocked = [](State state) {
        state.modifyState = ModifyState::InboundBlocked;
        return state;
    };
    State offLocally = Known({Off(kProfilePublic)}, {});
    offLocally.policy[kPolicyPublic] = {.exists = true, .enableFirewall = 1};
    struct Case {
        const char* name;
        State state;
        FirewallVerdict verdict;
        Reason reason;  // of the first profile that is not open
    };
    const Case cases[] = {
        {"no policy", policy({}), FirewallVerdict::Admits, Reason::None},
        {"local rules merged", policy({.allowLocalPolicyMerge = 1}), FirewallVerdict::Admits, Reason::None},
        {"local rules ignored", governed(policy({.allowLocalPolicyMerge = 0})), FirewallVerdict::Unknown,
         Reason::PolicyGoverns},
        {"policy overrides, with nothing read that says so", governed(policy({})), FirewallVerdict::Unknown,
         Reason::PolicyGoverns},
        {"local rules ignored in a profile not current", policy({.allowLocalPolicyMerge = 0}, kPolicyDomain),
         FirewallVerdict::Unknown, Reason::PolicyGoverns},
        {"no exceptions", inboundBlocked(policy({.doNotAllowExceptions = 1})), FirewallVerdict::Closed,
         Reason::BlockAllInbound},
        {"no exceptions, but the modify state says local rules take effect", policy({.doNotAllowExceptions = 1}),
         FirewallVerdict::Unknown, Reason::PolicyGoverns},
        {"off by policy", policy({.enableFirewall = 0, .doNotAllowExceptions = 1}), FirewallVerdict::Admits,
         Reason::None},
        {"on by policy, no rule", offLocally, FirewallVerdict::Closed, Reason::NoAllowRule},
        {"inbound allowed by policy",
         governed(policy({.defaultInboundAction = 0, .allowLocalPolicyMerge = 0})),
         FirewallVerdict::Admits, Reason::None},
        {"a policy value Windows interprets", policy({.enableFirewall = 2}), FirewallVerdict::Unknown,
         Reason::PolicyUnclear},
        {"modify state: policy overrides", modify(ModifyState::GroupPolicyOverride, {Allow(L"3390")}),
         FirewallVerdict::Unknown, Reason::PolicyGoverns},
        {"modify state: inbound blocked", modify(ModifyState::InboundBlocked, {Allow(L"3390")}), FirewallVerdict::Closed,
         Reason::BlockAllInbound},
    };
    for (const Case& c : cases) {
        const Assessment assessment = Assess(c.state, 3390);
        EXPECT_EQ(assessment.Summary(), c.verdict) << c.name;
        const ProfileFinding* problem = assessment.FirstProblem();
        EXPECT_EQ(problem ? problem->reason : Reason::None, c.reason) << c.name;
    }
}

TEST(GuardFirewall, NarrowedAllowRulesUnreadableRulesAndUdp) {
    const auto narrowed = [](void (*narrow)(Rule&)) { return With(Allow(L"", kProtocolAny), narrow); };
    const auto unreadable = [](std::vector<Rule> rules) {
        State state = Known({On(kProfilePublic)}, std::move(rules));
        state.unreadableRules = 2;
        return state;
    };
    struct Case {
        const char* name;
        State state;
        FirewallVerdict tcp;
        FirewallVerdict udp;
    };
    const Case cases[] = {
        {"a packaged app's rule",
         Known({On(kProfilePublic)}, {narrowed([](Rule& r) { r.localAppPackageId = L"S-1-15-2-1"; })}),
         FirewallVerdict::Closed, FirewallVerdict::Closed},
        {"LAN interfaces only", Known({On(kProfilePublic)}, {narrowed([](Rule& r) { r.interfaceTypes = L"Lan"; })}),
         FirewallVerdict::Unknown, FirewallVerdict::Unknown},
        {"some interfaces", Known({On(kProfilePublic)}, {narrowed([](Rule& r) { r.interfaces = {L"Ethernet"}; })}),
         FirewallVerdict::Unknown, FirewallVerdict::Unknown},
        {"every interface type", Known({On(kProfilePublic)}, {narrowed([](Rule& r) { r.interfaceTypes = L"All"; })}),
         FirewallVerdict::Admits, FirewallVerdict::Admits},
        {"allow, some unreadable", unreadable({Allow(L"3390")}), FirewallVerdict::Unknown, FirewallVerdict::Unknown},
        {"nothing, some unreadable", unreadable({}), FirewallVerdict::Unknown, FirewallVerdict::Unknown},
        // One that cannot be read may let authenticated peers past the block.
        {"block, some unreadable", unreadable({Block(L"3390", kProtocolAny)}), FirewallVerdict::Unknown,
         FirewallVerdict::Unknown},
        {"allow UDP only", Known({On(kProfilePublic)}, {Allow(L"3390", kProtocolUdp)}), FirewallVerdict::Closed,
         FirewallVerdict::Admits},
        {"block UDP, allow TCP", Known({On(kProfilePublic)}, {Allow(L"3390"), Block(L"3390", kProtocolUdp)}),
         FirewallVerdict::Admits, FirewallVerdict::Closed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VerdictFor(c.state, 3390, kProtocolTcp), c.tcp) << c.name;
        EXPECT_EQ(VerdictFor(c.state, 3390, kProtocolUdp), c.udp) << c.name;
    }
}

TEST(GuardFirewall, TheAssessmentNamesTheProfilesAndTheRuleThatCloseThePort) {
    Rule blocking = Block(L"3000-4000");
    blocking.name = L"Block RDP range";
    blocking.profiles = kProfilePublic;
    const State state = Known({{kProfileDomain, true, false, true}, On(kProfilePrivate), On(kProfilePublic)},
                              {With(Allow(L"3390"), [](Rule& r) { r.profiles = kProfilePrivate | kProfilePublic; }),
                               blocking});
    const Assessment assessment = Assess(state, 3390);
    EXPECT_EQ(assessment.Summary(), FirewallVerdict::Closed);
    EXPECT_EQ(assessment.ClosedCurrentProfiles(), kProfilePublic);
    ASSERT_NE(assessment.FirstProblem(), nullptr);
    EXPECT_EQ(assessment.FirstProblem()->reason, Reason::BlockRule);
    EXPECT_EQ(assessment.FirstProblem()->rule, L"Block RDP range");
    EXPECT_EQ(Assess(Known({On(kProfileDomain), On(kProfilePublic)}, {}), 3390).ClosedCurrentProfiles(),
              kProfileDomain | kProfilePublic);
}

TEST(GuardFirewall, OwnRulesArePerPortAndProtocolAndCountAsWrittenOnlyWhenEveryFieldReadsBack) {
    const Rule tcp = OwnRule(3390, kProtocolTcp);
    const Rule udp = OwnRule(3390, kProtocolUdp);
    EXPECT_EQ(tcp.name, L"Korvane远程端口修改软件 - 远程桌面 TCP 3390");
    EXPECT_EQ(udp.name, L"Korvane远程端口修改软件 - 远程桌面 UDP 3390");
    EXPECT_EQ(tcp.grouping, L"Korvane远程端口修改软件");
    EXPECT_EQ(tcp.profiles, kProfileAll) << "every profile, as Windows' own Remote Desktop rules";
    EXPECT_EQ(tcp.localPorts, L"3390");
    EXPECT_EQ(udp.protocol, kProtocolUdp);
    EXPECT_EQ(VerdictFor(Known({On(kProfileDomain), On(kProfilePrivate), On(kProfilePublic)}, {tcp}), 3390),
              FirewallVerdict::Admits);

    Rule legacy = Allow(L"3389");
    legacy.name = L"Korvane远程端口修改软件 - 远程桌面 TCP";
    EXPECT_TRUE(IsOwnRule(legacy)) << "the single rule of earlier versions";
    EXPECT_EQ(OwnRulePort(legacy), 3389);
    EXPECT_FALSE(IsOwnRule(With(Allow(L"3389"), [](Rule& r) { r.name = L"远程桌面 - 用户模式(TCP-In)"; })));
    EXPECT_EQ(OwnRulePort(With(tcp, [](Rule& r) { r.localPorts = L"3389,3390"; })), std::nullopt);

    struct Case {
        const char* name;
        void (*change)(Rule&);
        bool asWritten;
    };
    const Case cases[] = {
        {"identical", [](Rule&) {}, true},
        {"all profiles as three bits", [](Rule& r) { r.profiles = 7; }, true},
        {"in one profile only", [](Rule& r) { r.profiles = kProfilePublic; }, false},
        {"another port", [](Rule& r) { r.localPorts = L"3389"; }, false},
        {"disabled", [](Rule& r) { r.enabled = false; }, false},
        {"outbound", [](Rule& r) { r.direction = Direction::Out; }, false},
        {"blocking", [](Rule& r) { r.action = Action::Block; }, false},
        {"UDP", [](Rule& r) { r.protocol = kProtocolUdp; }, false},
        {"another rule's name", [](Rule& r) { r.name = L"Remote Desktop"; }, false},
        {"another group", [](Rule& r) { r.grouping = L"@FirewallAPI.dll,-28752"; }, false},
        {"for another program", [](Rule& r) { r.applicationName = L"C:\\web.exe"; }, false},
        {"for another service", [](Rule& r) { r.serviceName = L"WinRM"; }, false},
        {"for any program", [](Rule& r) { r.applicationName.clear(); }, false},
        {"from some addresses", [](Rule& r) { r.remoteAddresses = L"10.0.0.0/8"; }, false},
        {"to one local address", [](Rule& r) { r.localAddresses = L"192.0.2.1"; }, false},
        {"on LAN interfaces", [](Rule& r) { r.interfaceTypes = L"Lan"; }, false},
        {"on some interfaces", [](Rule& r) { r.interfaces = {L"Ethernet"}; }, false},
        {"from some remote ports", [](Rule& r) { r.remotePorts = L"3390"; }, false},
        {"for one user", [](Rule& r) { r.conditionsBeyondModel = true; }, false},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadsBackAsWritten(tcp, With(tcp, c.change)), c.asWritten) << c.name;
}

}  // namespace
