// The lockout guard inside the program: the extra box before the designed confirmations (text, title,
// style, owner), what Cancel and OK lead to, the policy flag and the listener switch in Wine's real
// registry, a real listener on the port, Wine's real firewall (which cannot be read) and service, and
// every other answer through the seams.

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "console/Output.h"
#include "guard/Guard.h"
#include "guard/Probes.h"
#include "support/FormProbes.h"
#include "support/PortListener.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"
#include "support/RegistryRecorder.h"
#include "support/Seams.h"
#include "support/SeededTest.h"
#include "support/TaskDialogScript.h"
#include "ui/main/GuardPrompt.h"
#include "ui/toolkit/MessageBox.h"

namespace {

using namespace testkit;
using Probe = ui::FormMainProbe;
using base::ScopedSeam;
using guard::BindOutcome;
using guard::TcpListener;
namespace fw = guard::firewall;

constexpr UINT kWarningStyle = 0x131;  // MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2

std::wstring FirewallNewPort(const std::wstring& port) {
    return L"Windows 防火墙在公用网络中没有放行 TCP " + port +
           L" 端口的入站连接，重启后将无法通过新端口远程连接。请先在防火墙（以及云服务器的安全组）中放行该端口。";
}
std::wstring FirewallTurnOn(const std::wstring& port, const std::wstring& profile = L"公用") {
    return L"Windows 防火墙在" + profile + L"网络中没有放行 TCP " + port +
           L" 端口的入站连接，开启后仍将无法远程连接。请先在防火墙（以及云服务器的安全组）中放行该端口。";
}
std::wstring InUse(const std::wstring& port, const std::wstring& owner) {
    return L"端口 " + port + L" 已被其他程序" + owner + L"占用，重启后远程桌面将无法在此端口监听。";
}

// The Remote Desktop service running in the given process.
std::optional<guard::ServiceStatus> Running(DWORD pid) { return guard::ServiceStatus{SERVICE_RUNNING, pid}; }

// The firewall of a server that only ever admitted Remote Desktop's standard port, in the public
// profile (the rule as Windows ships it).
// A firewall on in the current profile only (off in the two others, which then admit everything).
fw::State OnlyProfile(long type, fw::Profile current, std::vector<fw::Rule> rules) {
    fw::State state;
    state.known = true;
    state.currentProfiles = type;
    for (fw::Profile& profile : state.profiles) profile.firewallOn = false;
    state.profiles[fw::ProfileIndex(type)] = current;
    state.rules = std::move(rules);
    // As Windows reports it where the one current profile blocks all inbound traffic.
    if (current.firewallOn && current.blockAllInbound) state.modifyState = fw::ModifyState::InboundBlocked;
    return state;
}

fw::State StandardPortOnly() {
    fw::Rule rule;
    rule.protocol = fw::kProtocolTcp;
    rule.localPorts = L"3389";
    rule.enabled = true;
    rule.applicationName = L"%SystemRoot%\\system32\\svchost.exe";
    rule.serviceName = L"termservice";
    return OnlyProfile(fw::kProfilePublic, {true, false, false}, {rule});
}

class GuardTest : public SeededTest {
protected:
    void SetUp() override {
        SeededTest::SetUp();
        StartMain(/*deny=*/1);
    }
    static TaskDialogScript& Dialogs() { return TaskDialogScript::Instance(); }
    static void Change(const std::wstring& typed) {
        Form().Ctl(ui::Text_NewPort).SetText(typed);
        Form().Cmd_Change_Click();
    }
    static testing::AssertionResult IsWarning(const ShownBox& box, const std::wstring& lines) {
        if (box.text != lines + kGuardTail)
            return testing::AssertionFailure() << "text: " << testing::PrintToString(box.text);
        if (box.caption != toolkit::kAppTitle) return testing::AssertionFailure() << "caption";
        if (box.style != kWarningStyle) return testing::AssertionFailure() << "style " << box.style;
        return testing::AssertionSuccess();
    }
};

// ---- The box in the commands ---------------------------------------------------------------------

TEST_F(GuardTest, AFirewallClosedToTheNewPortAsksFirstCancelEndsTheCommandContinueLeadsToTheConfirmation) {
    ScopedSeam firewall(guard::FirewallReadCall(), &StandardPortOnly);
    {
        RegistryRecorder recorder;
        Change(L"3390");  // the dialog's default: Cancel
        ASSERT_EQ(Dialogs().Shown().size(), 1u);
        EXPECT_EQ(Dialogs().Shown()[0].dialog.content, FirewallNewPort(L"3390"));
        EXPECT_TRUE(Script().Shown().empty()) << "the dialog takes the place of the warning box";
        EXPECT_TRUE(recorder.calls.empty()) << "no write and no refresh";
    }
    EXPECT_EQ(Probe::LastAppliedPort(), L"");
    EXPECT_EQ(Port1(), 3389u);

    Dialogs().Reset();
    Dialogs().Answer(ui::kChoiceContinue);
    Change(L"3390");
    ASSERT_EQ(Script().Shown().size(), 2u);
    EXPECT_EQ(Script().Shown()[0].text, ChangeQuestion(L"3389", L"3390"));
    EXPECT_EQ(Script().Shown()[0].style, 289u);
    EXPECT_EQ(Dialogs().Shown()[0].owner, Script().Shown()[0].owner) << "owned like the confirmation";
    EXPECT_EQ(Script().Shown()[1].text, kPortChanged);
    EXPECT_EQ(Port1(), 3390u);

    // Back to the port the firewall admits: the designed boxes only.
    Script().Reset();
    Change(L"3389");
    EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{ChangeQuestion(L"3389", L"3389"), kPortChanged}));
}

TEST_F(GuardTest, TurningOnWarnsWhenTheFirewallDoesNotAdmitTheCurrentPort) {
    ScopedSeam firewall(guard::FirewallReadCall(), [] {
        fw::State state = StandardPortOnly();
        state.rules[0].localPorts = L"3390";
        return state;
    });
    Form().Cmd_Open_Click();
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_EQ(Dialogs().Shown()[0].dialog.content, FirewallTurnOn(L"3389"));
    EXPECT_TRUE(Script().Shown().empty());
    EXPECT_EQ(Deny(), 1u);
    EXPECT_FALSE(Probe::RemoteEnabled());

    Dialogs().Answer(ui::kChoiceContinue);
    Form().Cmd_Open_Click();
    ASSERT_EQ(Script().Shown().size(), 2u);
    EXPECT_EQ(Script().Shown()[0].text, kTurnOnQuestion);
    EXPECT_EQ(Script().Shown()[0].style, 1u);
    EXPECT_EQ(Script().Shown()[1].text, kDone);
    EXPECT_EQ(Deny(), 0u);
}

TEST_F(GuardTest, APolicyThatRefusesWarnsBeforeTurningOnAndCancelWritesNothing) {
    ScopedPolicyFlag policy(1);
    Script().Answer(IDCANCEL);
    {
        RegistryRecorder recorder;
        Form().Cmd_Open_Click();
        ASSERT_EQ(Script().Shown().size(), 1u);
        EXPECT_TRUE(IsWarning(Script().Shown()[0], kPolicyDenies));
        EXPECT_TRUE(recorder.calls.empty()) << "the guard's read is not one of the command's";
    }
    EXPECT_EQ(Deny(), 1u);

    Script().Reset();
    Form().Cmd_Open_Click();
    EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{kPolicyDenies + kGuardTail, kTurnOnQuestion, kDone}));
    EXPECT_EQ(Deny(), 0u);

    // A refusing policy does not make turning off pointless.
    Script().Reset();
    Form().Cmd_Close_Click();
    EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{kTurnOffQuestion, kDone}));
}

TEST_F(GuardTest, APolicyThatAllowsWarnsBeforeTurningOffOnlyAndOtherValuesSayNothing) {
    StartMain(/*deny=*/0);
    {
        ScopedPolicyFlag policy(0);
        Script().Answer(IDCANCEL);
        Form().Cmd_Close_Click();
        ASSERT_EQ(Script().Shown().size(), 1u);
        EXPECT_TRUE(IsWarning(Script().Shown()[0], kPolicyAllows));
        EXPECT_EQ(Deny(), 0u);
        Script().Reset();
        Form().Cmd_Close_Click();
        EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{kPolicyAllows + kGuardTail, kTurnOffQuestion, kDone}));
        Script().Reset();
        Form().Cmd_Open_Click();
        EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{kTurnOnQuestion, kDone}));
    }
    ScopedPolicyFlag unclear(2);
    Script().Reset();
    Form().Cmd_Close_Click();
    Form().Cmd_Open_Click();
    EXPECT_EQ(Script().Texts(), (std::vector<std::wstring>{kTurnOffQuestion, kDone, kTurnOnQuestion, kDone}));
}

TEST_F(GuardTest, SeveralHazardsShareOneDialogOneLineEach) {
    ScopedPolicyFlag policy(1);
    ScopedSeam firewall(guard::FirewallReadCall(), [] {
        return OnlyProfile(fw::kProfileDomain, {true, true, false}, {});
    });
    Form().Cmd_Open_Click();
    EXPECT_TRUE(Script().Shown().empty());
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_EQ(Dialogs().Shown()[0].dialog.content, kPolicyDenies + L"\r\n" + FirewallTurnOn(L"3389", L"域"));
}

// ---- Wine's real checks ----------------------------------------------------------------------------

TEST_F(GuardTest, WinesFirewallCannotBeReadSoItNeverWarnsAndNoRuleCountsAsAdded) {
    EXPECT_EQ(guard::FirewallSummaryFor(3389).tcp.Summary(), guard::FirewallVerdict::Unknown);
    Change(L"3390");
    Form().Cmd_Open_Click();
    EXPECT_EQ(Script().Texts(),
              (std::vector<std::wstring>{ChangeQuestion(L"3389", L"3390"), kPortChanged, kTurnOnQuestion, kDone}));
    const guard::FirewallOpening opening = guard::OpenFirewallPort(3390);
    EXPECT_FALSE(opening.admitted);
    EXPECT_EQ(opening.failure, guard::OpenFailure::Unreadable);
    EXPECT_TRUE(opening.added.empty());
}

TEST_F(GuardTest, APortThisProcessListensOnWarnsNamingTheOwnerWhereWindowsTells) {
    ListeningSocket listener;
    ASSERT_NE(listener.Port(), 0);
    const std::wstring port = std::to_wstring(listener.Port());
    const std::wstring ownName = L"（rdpport_tests.exe，PID " + std::to_wstring(GetCurrentProcessId()) + L"）";

    const std::vector<guard::Hazard> hazards = guard::CheckPortChange(listener.Port(), 3389);
    ASSERT_EQ(hazards.size(), 1u);
    EXPECT_EQ(hazards[0].kind, guard::HazardKind::PortInUse);
    // Wine's listener table has no owners (pid 0); Windows names this process.
    const std::wstring owner = hazards[0].ownerPid == 0 ? L"" : ownName;
    Script().Answer(IDCANCEL);
    Change(port);
    ASSERT_EQ(Script().Shown().size(), 1u);
    EXPECT_TRUE(IsWarning(Script().Shown()[0], InUse(port, owner)));
    EXPECT_EQ(Port1(), 3389u);

    // With the table naming this process, the image name comes from the process itself.
    {
        ScopedSeam table(guard::ListenersCall(), [&] {
            return std::optional<std::vector<TcpListener>>({{listener.Port(), GetCurrentProcessId()}});
        });
        EXPECT_EQ(guard::Describe(guard::CheckPortChange(listener.Port(), 3389).at(0)), InUse(port, ownName));
        // Held by Remote Desktop itself, or already the current port: no hazard.
        ScopedSeam service(guard::RemoteDesktopStatusCall(), [] { return Running(GetCurrentProcessId()); });
        EXPECT_TRUE(guard::CheckPortChange(listener.Port(), 3389).empty());
    }
    EXPECT_TRUE(guard::CheckPortChange(listener.Port(), listener.Port()).empty());

    listener.Close();
    EXPECT_TRUE(guard::CheckPortChange(static_cast<std::uint16_t>(std::stoi(port)), 3389).empty()) << "free again";
}

TEST_F(GuardTest, WithoutExclusiveUseTheBindTellsNothingNeverThatThePortIsFree) {
    const std::uint16_t free = FreePort();
    ASSERT_NE(free, 0);
    EXPECT_EQ(guard::PortBindCall()(free), BindOutcome::Free);
    struct Case {
        const char* name;
        int failing;  // the option Winsock refuses
        BindOutcome outcome;
    };
    for (const Case& c : {Case{"exclusive use refused", SO_EXCLUSIVEADDRUSE, BindOutcome::Unknown},
                          Case{"IPv6 only refused: the bind covers both sides", IPV6_V6ONLY, BindOutcome::Free}}) {
        ScopedSeam option(guard::SocketOptionCall(), [&](UINT_PTR s, int level, int name, BOOL on) {
            if (name == c.failing) return WSAEINVAL;
            return setsockopt(s, level, name, reinterpret_cast<const char*>(&on), sizeof(on)) == 0 ? 0 : WSAGetLastError();
        });
        EXPECT_EQ(guard::PortBindCall()(free), c.outcome) << c.name;
    }
}

// ---- Through the seams -----------------------------------------------------------------------------

// Nothing but the scripted answers: every port free, no range of Windows' own, a service that starts on
// demand, the listener switch on (its value deleted for the scope), an unreadable firewall.
class ScriptedGuardTest : public GuardTest {
protected:
    ScopedSeam<guard::PortBindSeam> m_bind{guard::PortBindCall(), [](std::uint16_t) { return BindOutcome::Free; }};
    ScopedSeam<guard::DynamicRangesSeam> m_ranges{guard::DynamicPortRangesCall(), [] { return std::nullopt; }};
    ScopedSeam<guard::ServiceStartTypeSeam> m_startType{guard::RemoteDesktopStartTypeCall(),
                                                          [] { return std::optional<DWORD>(SERVICE_DEMAND_START); }};
    ScopedSeam<guard::FirewallReadSeam> m_firewall{guard::FirewallReadCall(), [] { return fw::State{}; }};
    ScopedValue m_listenerSwitch{kRdpTcp, kListenerSwitchValue, std::nullopt};

    static std::vector<std::wstring> Lines(const std::vector<guard::Hazard>& hazards) {
        std::vector<std::wstring> lines;
        for (const guard::Hazard& hazard : hazards) lines.push_back(guard::Describe(hazard));
        return lines;
    }
};

TEST_F(ScriptedGuardTest, PortHazardsNameThePortAndTheOwnerAsFarAsKnown) {
    using Listeners = std::optional<std::vector<TcpListener>>;
    struct Case {
        const char* name;
        BindOutcome bind;
        Listeners listeners;
        std::vector<std::wstring> lines;
    };
    const std::wstring owner1234 = L"（svchost.exe，PID 1234）";
    const std::wstring http = L"端口 3390 已被系统的 HTTP.sys（PID 4，IIS、WinRM 等经由它监听）占用，重启后远程桌面将无法在此端口监听。";
    const Case cases[] = {
        {"owner named", BindOutcome::InUse, Listeners({{3390, 1234}}), {InUse(L"3390", owner1234)}},
        {"no image name", BindOutcome::InUse, Listeners({{3390, 5678}}), {InUse(L"3390", L"（PID 5678）")}},
        {"no owner (Wine)", BindOutcome::InUse, Listeners({{3390, 0}}), {InUse(L"3390", L"")}},
        {"the system: HTTP.sys", BindOutcome::InUse, Listeners({{3390, 4, L"System"}}), {http}},
        // A failed bind without a listener: an outgoing or TIME_WAIT connection, or tables that cannot
        // be read. Nothing certain, so nothing said.
        {"bound, not listening", BindOutcome::InUse, Listeners({{80, 1234}}), {}},
        {"tables unreadable", BindOutcome::InUse, std::nullopt, {}},
        {"Remote Desktop and another",
         BindOutcome::InUse,
         Listeners({{3390, 900}, {3390, 1234}}),
         {InUse(L"3390", owner1234)}},
        {"Remote Desktop only", BindOutcome::InUse, Listeners({{3390, 900}, {3389, 1234}}), {}},
        // Services sharing Remote Desktop's svchost: told apart by their modules.
        {"another service in Remote Desktop's process",
         BindOutcome::InUse,
         Listeners({{3390, 900, L"WinRM"}}),
         {InUse(L"3390", L"（svchost.exe 中的服务 WinRM，PID 900）")}},
        {"Remote Desktop by its module", BindOutcome::InUse, Listeners({{3390, 900, L"TermService"}}), {}},
        {"Remote Desktop's module in any case", BindOutcome::InUse, Listeners({{3390, 900, L"termservice"}}), {}},
        // Any user can run a program of that name: only the service's own process counts.
        {"a module named TermService in another process",
         BindOutcome::InUse,
         Listeners({{3390, 1234, L"TermService"}}),
         {InUse(L"3390", L"（svchost.exe 中的服务 TermService，PID 1234）")}},
        {"a program's module is its image",
         BindOutcome::InUse,
         Listeners({{3390, 1234, L"SVCHOST.EXE"}}),
         {InUse(L"3390", owner1234)}},
        {"forbidden",
         BindOutcome::Forbidden,
         Listeners({}),
         {L"端口 3390 属于系统保留或禁止使用的端口，远程桌面可能无法在此端口监听。"}},
        {"bind failed otherwise", BindOutcome::Unknown, Listeners({{3390, 1234}}), {}},
        {"free", BindOutcome::Free, Listeners({{3390, 1234}}), {}},
    };
    ScopedSeam service(guard::RemoteDesktopStatusCall(), [] { return Running(900); });
    ScopedSeam image(guard::ProcessImageCall(),
                     [](DWORD pid) { return pid == 1234 || pid == 900 ? std::wstring(L"svchost.exe") : L""; });
    for (const Case& c : cases) {
        ScopedSeam bind(guard::PortBindCall(), [&](std::uint16_t) { return c.bind; });
        ScopedSeam table(guard::ListenersCall(), [&] { return c.listeners; });
        EXPECT_EQ(Lines(guard::CheckPortChange(3390, 3389)), c.lines) << c.name;
    }
}

TEST_F(ScriptedGuardTest, PortZeroAndPortsInTheDynamicRange) {
    using Ranges = std::optional<std::vector<guard::PortRange>>;
    struct Case {
        const char* name;
        std::uint16_t port;
        Ranges ranges;  // as Windows reports them; nothing: Windows does not tell
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {"port 0", 0, std::nullopt, {kPortZeroWarning}},
        {"below Windows' default range", 49151, std::nullopt, {}},
        {"first of the default range", 49152, std::nullopt, {DynamicRangeWarning(L"49152")}},
        {"last of the default range", 65535, std::nullopt, {DynamicRangeWarning(L"65535")}},
        {"no range reported: the default", 50000, Ranges(std::vector<guard::PortRange>{}), {DynamicRangeWarning(L"50000")}},
        {"Windows' own range", 10000, Ranges({{10000, 20000}}), {DynamicRangeWarning(L"10000", L"10000", L"20000")}},
        {"Windows' own range replaces the default", 50000, Ranges({{10000, 20000}}), {}},
        {"in one of several templates' ranges",
         3390,
         Ranges({{49152, 65535}, {1025, 5000}}),
         {DynamicRangeWarning(L"3390", L"1025", L"5000")}},
    };
    std::vector<std::uint16_t> bound;
    ScopedSeam bind(guard::PortBindCall(), [&](std::uint16_t port) {
        bound.push_back(port);
        return BindOutcome::Free;
    });
    for (const Case& c : cases) {
        ScopedSeam ranges(guard::DynamicPortRangesCall(), [&] { return c.ranges; });
        EXPECT_EQ(Lines(guard::CheckPortChange(c.port, 3389)), c.lines) << c.name;
    }
    EXPECT_EQ(std::count(bound.begin(), bound.end(), 0), 0) << "binding port 0 tells nothing: not tried";
    EXPECT_TRUE(guard::CheckPortChange(0, 0).empty()) << "already the port";
}

TEST_F(ScriptedGuardTest, ADisabledServiceOrListenerWarnsBeforeAPortChangeAndBeforeTurningOn) {
    struct Case {
        const char* name;
        std::optional<DWORD> startType;
        std::optional<RawValue> listenerSwitch;  // nothing: the value is missing
        bool serviceDisabled;
        bool listenerDisabled;
    };
    const RawValue on{REG_DWORD, {1, 0, 0, 0}}, off{REG_DWORD, {0, 0, 0, 0}}, other{REG_DWORD, {2, 0, 0, 0}};
    const RawValue text0{REG_SZ, {'0', 0}};
    const Case cases[] = {
        {"manual, switch on", SERVICE_DEMAND_START, on, false, false},
        {"automatic, switch missing: on as Windows ships it", SERVICE_AUTO_START, std::nullopt, false, false},
        {"disabled", SERVICE_DISABLED, on, true, false},
        {"switch off", SERVICE_AUTO_START, off, false, true},
        {"both", SERVICE_DISABLED, off, true, true},
        {"any other number is on", SERVICE_DEMAND_START, other, false, false},
        {"start type unreadable, switch not a number: nothing certain", std::nullopt, text0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedSeam startType(guard::RemoteDesktopStartTypeCall(), [&] { return c.startType; });
        const ScopedValue listenerSwitch(kRdpTcp, kListenerSwitchValue, c.listenerSwitch);
        for (const auto& [port, hazards] : {std::pair{std::wstring(L"3390"), guard::CheckPortChange(3390, 3389)},
                                            std::pair{std::wstring(L"3389"), guard::CheckTurnOn(3389)},
                                            std::pair{std::wstring(), guard::CheckTurnOn(std::nullopt)}}) {
            std::vector<std::wstring> expected;
            if (c.serviceDisabled) expected.push_back(ServiceDisabledWarning(port));
            if (c.listenerDisabled) expected.push_back(ListenerDisabledWarning(port));
            EXPECT_EQ(Lines(hazards), expected) << "port " << console::Utf8(port);
        }
    }
}

TEST_F(GuardTest, TheServicesListeningPortsAreItsOwnByServiceOrByProcess) {
    EXPECT_EQ(guard::RemoteDesktopListeningPorts(), std::nullopt) << "Wine's Remote Desktop service does not run";
    using Ports = std::optional<std::vector<std::uint16_t>>;
    ScopedSeam table(guard::ListenersCall(), [] {
        return std::optional<std::vector<TcpListener>>({{3390, 900}, {80, 4}, {3389, 900}, {3389, 900}});
    });
    {
        ScopedSeam service(guard::RemoteDesktopStatusCall(), [] { return Running(900); });
        EXPECT_EQ(guard::RemoteDesktopListeningPorts(), Ports({3389, 3390}));
        // Another service in the same svchost is not Remote Desktop; a row without a module falls back
        // to the process.
        ScopedSeam shared(guard::ListenersCall(), [] {
            return std::optional<std::vector<TcpListener>>(
                {{3389, 900, L"TermService"}, {5985, 900, L"WinRM"}, {3390, 900}, {80, 4, L"System"}});
        });
        EXPECT_EQ(guard::RemoteDesktopListeningPorts(), Ports({3389, 3390}));
    }
    ScopedSeam otherService(guard::RemoteDesktopStatusCall(), [] { return Running(901); });
    EXPECT_EQ(guard::RemoteDesktopListeningPorts(), std::nullopt) << "a process without listeners tells nothing";
}

TEST_F(GuardTest, WinesServiceAndListenerAsTheStatusReportsThem) {
    const guard::ServiceSummary wine = guard::RemoteDesktopServiceSummary();
    EXPECT_EQ(wine.startType, std::optional<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(wine.state, std::optional<DWORD>(SERVICE_STOPPED));
    struct Case {
        const char* name;
        std::optional<RawValue> listenerSwitch;
        std::optional<bool> enabled;
    };
    for (const Case& c : {Case{"missing", std::nullopt, true}, Case{"1", RawValue{REG_DWORD, {1, 0, 0, 0}}, true},
                          Case{"0", RawValue{REG_DWORD, {0, 0, 0, 0}}, false},
                          Case{"a text", RawValue{REG_SZ, {'1', 0}}, std::nullopt}}) {
        const ScopedValue listenerSwitch(kRdpTcp, kListenerSwitchValue, c.listenerSwitch);
        EXPECT_EQ(guard::RemoteDesktopServiceSummary().listenerEnabled, c.enabled) << c.name;
    }
}

}  // namespace
