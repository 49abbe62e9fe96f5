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

Profile On(long type) { return {type, true, false, false}; }
Profile Off(long type) { return {type, false, false, false}; }

State Known(std::vector<Profile> current, std::vector<Rule> rules) {
    return {true, std::move(current), std::move(rules)};
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
        {"allow in the current profile", Known({On(kProfileDomain)}, {With(Allow(L"3390"), domainOnly)}),
         FirewallVerdict::Admits},
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
         FirewallVerdict::Admits},
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
         FirewallVerdict::Admits},
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
         FirewallVerdict::Admits},
        {"block of another program",
         Known({On(kProfilePublic)},
               {Allow(L"3390"), With(Block(L"3390"), [](Rule& r) { r.applicationName = L"C:\\web.exe"; })}),
         FirewallVerdict::Admits},
        {"block in another profile", Known({On(kProfilePublic)}, {Allow(L"3390"), With(Block(L"3390"), domainOnly)}),
         FirewallVerdict::Admits},
        {"block all inbound", Known({{kProfilePublic, true, true, false}}, {Allow(L"3390")}), FirewallVerdict::Closed},
        {"inbound allowed by default", Known({{kProfilePublic, true, false, true}}, {}), FirewallVerdict::Admits},
        {"allowed by default but blocked", Known({{kProfilePublic, true, false, true}}, {Block(L"3390")}),
         FirewallVerdict::Closed},
        {"two profiles, allowed in one",
         Known({On(kProfileDomain), On(kProfilePublic)}, {With(Allow(L"3390"), domainOnly)}), FirewallVerdict::Closed},
        {"two profiles, the other one off",
         Known({On(kProfileDomain), Off(kProfilePublic)}, {With(Allow(L"3390"), domainOnly)}), FirewallVerdict::Admits},
    };
    for (const Case& c : cases) EXPECT_EQ(VerdictFor(c.state, 3390), c.verdict) << c.name;
}

TEST(GuardFirewall, TheOwnRuleCountsAsWrittenOnlyWhenWhatAdmitsThePortReadsBack) {
    const Rule written = OwnRule(3390, kProfilePrivate | kProfilePublic);
    EXPECT_EQ(written.name, L"Korvane远程端口修改软件 - 远程桌面 TCP");
    EXPECT_EQ(written.localPorts, L"3390");
    EXPECT_EQ(VerdictFor(Known({On(kProfilePrivate), On(kProfilePublic)}, {written}), 3390), FirewallVerdict::Admits);

    struct Case {
        const char* name;
        void (*change)(Rule&);
        bool asWritten;
    };
    const Case cases[] = {
        {"identical", [](Rule&) {}, true},
        {"in every profile", [](Rule& r) { r.profiles = kProfileAll; }, true},
        {"in one profile only", [](Rule& r) { r.profiles = kProfilePublic; }, false},
        {"another port", [](Rule& r) { r.localPorts = L"3389"; }, false},
        {"disabled", [](Rule& r) { r.enabled = false; }, false},
        {"outbound", [](Rule& r) { r.direction = Direction::Out; }, false},
        {"blocking", [](Rule& r) { r.action = Action::Block; }, false},
        {"UDP", [](Rule& r) { r.protocol = kProtocolUdp; }, false},
        {"another rule's name", [](Rule& r) { r.name = L"Remote Desktop"; }, false},
        {"for another program", [](Rule& r) { r.applicationName = L"C:\\web.exe"; }, false},
    };
    for (const Case& c : cases) EXPECT_EQ(ReadsBackAsWritten(written, With(written, c.change)), c.asWritten) << c.name;
}

}  // namespace
