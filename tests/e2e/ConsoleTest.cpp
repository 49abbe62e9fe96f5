// rdpport.com as scripts run it: the real program against Wine's real registry and the guard's real
// checks, output redirected to files. Every case puts the values back as it found them.

#include <gtest/gtest.h>

#include "ConsoleCase.h"
#include "driver/ProgramCase.h"
#include "support/JsonReader.h"
#include "support/PortListener.h"
#include "support/ProgramTexts.h"
#include "support/RegistryKit.h"
#include "support/ServiceKit.h"

namespace {

using namespace e2e;
using namespace testkit;

class E2EConsole : public E2EConsoleCase {};

TEST_F(E2EConsole, StatusJsonDescribesTheSeededServer) {
    const testkit::JsonValue json = Json(Run({L"status", L"--json"}, 0));
    EXPECT_EQ(json["command"].text, L"status");
    EXPECT_EQ(json["port"].number, 3389);
    ASSERT_EQ(json["portKeys"].items.size(), 2u);
    for (const testkit::JsonValue& key : json["portKeys"].items) {
        EXPECT_EQ(key["port"].number, 3389);
        EXPECT_TRUE(key["error"].IsNull());
    }
    EXPECT_TRUE(json["portsAgree"].boolean);
    EXPECT_FALSE(json["allowed"].boolean);
    EXPECT_TRUE(json["policy"].IsNull());
    EXPECT_FALSE(json["effective"].boolean);
    EXPECT_TRUE(json["listening"].IsNull()) << "Wine's Remote Desktop service does not run";
    EXPECT_EQ(json["serviceStartType"].text, L"manual") << "Wine's own TermService";
    EXPECT_EQ(json["serviceState"].text, L"stopped");
    EXPECT_TRUE(json["listenerEnabled"].boolean) << "no fEnableWinStation: on";
    EXPECT_EQ(json["firewall"].text, L"unknown") << "Wine's firewall cannot be read";
    EXPECT_TRUE(json["error"].IsNull());
}

TEST_F(E2EConsole, SetPortWritesBothKeysAndTheSameCommandAgainWritesNothing) {
    ConsoleOutcome outcome = Run({L"set-port", L"3390"}, 0);
    EXPECT_NE(outcome.out.find(Utf8(L"端口已由 3389 改为 3390")), std::string::npos) << outcome.out;
    EXPECT_TRUE(BothPortKeysHold(3390));
    testkit::JsonValue status = Json(Run({L"status", L"--json"}, 0));
    EXPECT_EQ(status["portKeys"].items.at(0)["port"].number, 3390);
    EXPECT_EQ(status["portKeys"].items.at(1)["port"].number, 3390);
    EXPECT_TRUE(status["portsAgree"].boolean);

    const auto first = LastWriteTime(kRdpTcp);
    const auto second = LastWriteTime(kRdpwdTcp);
    Sleep(50);  // a write now would carry a later time
    const testkit::JsonValue again = Json(Run({L"set-port", L"3390", L"--json"}, 0));
    EXPECT_TRUE(again["unchanged"].boolean);
    EXPECT_FALSE(again["changed"].boolean);
    EXPECT_TRUE(SameTime(LastWriteTime(kRdpTcp), first));
    EXPECT_TRUE(SameTime(LastWriteTime(kRdpwdTcp), second));

    // The times do move when the program writes: the check above can see a write.
    Run({L"set-port", L"3391"}, 0);
    EXPECT_FALSE(SameTime(LastWriteTime(kRdpTcp), first));
    EXPECT_FALSE(SameTime(LastWriteTime(kRdpwdTcp), second));
}

TEST_F(E2EConsole, APortAnotherProgramListensOnIsRefusedWithThreeAndForceGoesThrough) {
    ListeningSocket listener;
    ASSERT_NE(listener.Port(), 0);
    const std::wstring port = std::to_wstring(listener.Port());
    ConsoleOutcome outcome = Run({L"set-port", port}, 3);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(Utf8(L"已拒绝")), std::string::npos) << outcome.err;
    EXPECT_TRUE(BothPortKeysHold(3389));

    const testkit::JsonValue json = Json(Run({L"set-port", port, L"--json"}, 3));
    ASSERT_EQ(json["hazards"].items.size(), 1u);
    EXPECT_EQ(json["hazards"].items[0]["kind"].text, L"PortInUse");
    EXPECT_EQ(json["hazards"].items[0]["port"].number, listener.Port());
    EXPECT_TRUE(json["refused"].boolean);
    EXPECT_TRUE(BothPortKeysHold(3389));

    const testkit::JsonValue forced = Json(Run({L"set-port", port, L"--force", L"--json"}, 0));
    EXPECT_TRUE(forced["forced"].boolean);
    EXPECT_TRUE(BothPortKeysHold(listener.Port()));
}

// The JSON of a refused change: exactly these hazards (kind and text), refused, nothing written.
testing::AssertionResult RefusedFor(const testkit::JsonValue& json,
                                    const std::vector<std::pair<std::wstring, std::wstring>>& hazards) {
    if (!json["refused"].boolean) return testing::AssertionFailure() << "not refused";
    if (json["hazards"].items.size() != hazards.size())
        return testing::AssertionFailure() << json["hazards"].items.size() << " hazards";
    for (size_t i = 0; i < hazards.size(); ++i) {
        const testkit::JsonValue& hazard = json["hazards"].items[i];
        if (hazard["kind"].text != hazards[i].first || hazard["text"].text != hazards[i].second)
            return testing::AssertionFailure() << "hazard " << i << ": " << Utf8(hazard["kind"].text) << " "
                                               << Utf8(hazard["text"].text);
    }
    return testing::AssertionSuccess();
}

TEST_F(E2EConsole, PortZeroAndAPortInTheDynamicRangeAreRefusedWithThreeAndForceGoesThrough) {
    testkit::JsonValue json = Json(Run({L"set-port", L"0", L"--json"}, 3));
    EXPECT_TRUE(RefusedFor(json, {{L"PortZero", kPortZeroWarning}}));
    EXPECT_EQ(json["hazards"].items.at(0)["port"].number, 0);
    EXPECT_TRUE(BothPortKeysHold(3389));
    const ConsoleOutcome text = Run({L"set-port", L"0"}, 3);
    EXPECT_NE(text.err.find(Utf8(L"警告：" + kPortZeroWarning)), std::string::npos) << text.err;

    // Wine reports no dynamic range: Windows' default 49152 to 65535 is taken.
    json = Json(Run({L"set-port", L"50000", L"--json"}, 3));
    EXPECT_TRUE(RefusedFor(json, {{L"PortInDynamicRange", DynamicRangeWarning(L"50000")}}));
    EXPECT_TRUE(Json(Run({L"set-port", L"49151", L"--what-if", L"--json"}, 0))["hazards"].items.empty());
    EXPECT_TRUE(BothPortKeysHold(3389));

    EXPECT_TRUE(Json(Run({L"set-port", L"0", L"--force", L"--json"}, 0))["forced"].boolean);
    EXPECT_TRUE(BothPortKeysHold(0));
}

TEST_F(E2EConsole, ADisabledServiceRefusesPortChangesAndEnableAndShowsInStatus) {
    {
        const ScopedServiceStartType disabled(SERVICE_DISABLED);
        ASSERT_EQ(disabled.Status(), static_cast<DWORD>(ERROR_SUCCESS));
        const testkit::JsonValue status = Json(Run({L"status", L"--json"}, 0));
        EXPECT_EQ(status["serviceStartType"].text, L"disabled");
        const ConsoleOutcome text = Run({L"status"}, 0);
        EXPECT_NE(text.out.find(Utf8(L"远程桌面服务（TermService）启动类型：禁用\r\n")), std::string::npos) << text.out;

        EXPECT_TRUE(RefusedFor(Json(Run({L"set-port", L"3390", L"--json"}, 3)),
                               {{L"ServiceDisabled", ServiceDisabledWarning(L"3390")}}));
        EXPECT_TRUE(RefusedFor(Json(Run({L"enable", L"--json"}, 3)),
                               {{L"ServiceDisabled", ServiceDisabledWarning(L"3389")}}));
        EXPECT_TRUE(BothPortKeysHold(3389));
        EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
        Run({L"disable"}, 0);  // turning off leaves nothing to reach: no refusal
    }
    EXPECT_EQ(ServiceStartType(), std::optional<DWORD>(SERVICE_DEMAND_START)) << "put back";
    Run({L"set-port", L"3390"}, 0);
    EXPECT_TRUE(BothPortKeysHold(3390));
}

TEST_F(E2EConsole, AListenerSwitchedOffRefusesPortChangesAndEnableAndShowsInStatus) {
    const ScopedValue off(kRdpTcp, kListenerSwitchValue, RawValue{REG_DWORD, {0, 0, 0, 0}});
    ASSERT_EQ(off.Status(), ERROR_SUCCESS);
    const testkit::JsonValue status = Json(Run({L"status", L"--json"}, 0));
    EXPECT_FALSE(status["listenerEnabled"].boolean);
    EXPECT_TRUE(status["serviceStartType"].text == L"manual");
    const ConsoleOutcome text = Run({L"status"}, 0);
    EXPECT_NE(text.out.find(Utf8(L"RDP-Tcp 连接（fEnableWinStation）：已停用\r\n")), std::string::npos) << text.out;

    EXPECT_TRUE(RefusedFor(Json(Run({L"set-port", L"3390", L"--json"}, 3)),
                           {{L"ListenerDisabled", ListenerDisabledWarning(L"3390")}}));
    EXPECT_TRUE(RefusedFor(Json(Run({L"enable", L"--json"}, 3)),
                           {{L"ListenerDisabled", ListenerDisabledWarning(L"3389")}}));
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_TRUE(Json(Run({L"enable", L"--force", L"--json"}, 0))["forced"].boolean);
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 0));
    EXPECT_TRUE(DwordAt(kRdpTcp, kListenerSwitchValue, 0)) << "the program never writes the switch";
}

TEST_F(E2EConsole, OpenFirewallUnderWineFailsAndChangesNothing) {
    ConsoleOutcome outcome = Run({L"set-port", L"3390", L"--open-firewall"}, 1);
    EXPECT_NE(outcome.err.find(Utf8(L"未能在 Windows 防火墙中放行端口 3390：无法读取 Windows 防火墙的设置")), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out.find(Utf8(L"已")), std::string::npos) << "nothing may read as done: " << outcome.out;
    EXPECT_TRUE(BothPortKeysHold(3389));

    const testkit::JsonValue json = Json(Run({L"enable", L"--open-firewall", L"--json"}, 1));
    EXPECT_EQ(json["firewallRule"]["result"].text, L"failed");
    EXPECT_EQ(json["firewallRule"]["port"].number, 3389);
    EXPECT_FALSE(json["changed"].boolean);
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
}

TEST_F(E2EConsole, TextsThatAreNotPlainDecimalPortsExitTwoAndWriteNothing) {
    const auto first = LastWriteTime(kRdpTcp);
    const auto second = LastWriteTime(kRdpwdTcp);
    Sleep(50);
    // The window's number recognition would take the last five for 34, 3390, 123, 65535 and 0.
    for (const wchar_t* text :
         {L"abc", L"65536", L"1e3", L"", L"-1", L"33.89", L"3,390", L"1,2,3", L"&HFFFF", L"-0.5"}) {
        SCOPED_TRACE(Utf8(text));
        const ConsoleOutcome outcome = Run({L"set-port", text}, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_NE(outcome.err.find(Utf8(L"端口无效：“") + Utf8(text) + Utf8(L"”")), std::string::npos) << outcome.err;
        EXPECT_NE(outcome.err.find(Utf8(L"只能由数字 0 到 9 组成")), std::string::npos) << outcome.err;
    }
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_TRUE(SameTime(LastWriteTime(kRdpTcp), first));
    EXPECT_TRUE(SameTime(LastWriteTime(kRdpwdTcp), second));

    // Spaces and tabs around the digits and leading zeros are fine.
    Run({L"set-port", L" \t003390\t "}, 0);
    EXPECT_TRUE(BothPortKeysHold(3390));
}

TEST_F(E2EConsole, RedirectedOutputIsUtf8AndJsonIsPlainAscii) {
    const ConsoleOutcome text = Run({L"status"}, 0);
    const std::optional<std::wstring> decoded = FromUtf8(text.out);
    ASSERT_TRUE(decoded) << "not valid UTF-8";
    EXPECT_NE(text.out.substr(0, 3), "\xEF\xBB\xBF") << "no byte-order mark";
    EXPECT_NE(decoded->find(L"端口（WinStations\\RDP-Tcp）：3389\r\n"), std::wstring::npos);
    EXPECT_NE(decoded->find(L"远程连接（本机设置）：禁止\r\n"), std::wstring::npos);

    const ConsoleOutcome failed = Run({L"set-port", L"端口"}, 2);
    const std::optional<std::wstring> error = FromUtf8(failed.err);
    ASSERT_TRUE(error) << "stderr is not valid UTF-8";
    EXPECT_NE(error->find(L"端口无效：“端口”"), std::wstring::npos) << "the argument came through intact";

    const ConsoleOutcome json = Run({L"set-port", L"端口", L"--json"}, 2);
    for (const char c : json.out) EXPECT_TRUE(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
    const auto parsed = testkit::ParseJson(json.out);
    ASSERT_TRUE(parsed);
    EXPECT_EQ((*parsed)["error"]["text"].text, L"端口无效：“端口”。端口须为 0 到 65535 之间的十进制整数，只能由数字 0 到 9 组成（可有前导零，前后可有空格），例如 3390。");
}

TEST_F(E2EConsole, APolicyThatRefusesShowsInStatusAndRefusesEnableUnlessForced) {
    ScopedPolicyFlag policy(1);
    ASSERT_EQ(policy.Status(), ERROR_SUCCESS);
    const testkit::JsonValue status = Json(Run({L"status", L"--json"}, 0));
    EXPECT_EQ(status["policy"].text, L"deny");
    EXPECT_FALSE(status["effective"].boolean);

    const ConsoleOutcome refused = Run({L"enable"}, 3);
    EXPECT_NE(refused.err.find(Utf8(L"组策略已设置为拒绝远程连接")), std::string::npos) << refused.err;
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
    Run({L"enable", L"--what-if", L"--force"}, 0);
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1)) << "--what-if wrote";
    Run({L"enable", L"--force"}, 0);
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 0));
}

TEST_F(E2EConsole, StatusNeedsOnlyTheRightToReadWhileChangesStillNeedTheRightToWrite) {
    ScopedPolicyFlag policy(0);
    ASSERT_EQ(policy.Status(), ERROR_SUCCESS);
    ScopedReadOnlyDacl rdpTcp(kRdpTcp), rdpwdTcp(kRdpwdTcp), terminalServer(kTerminalServer);
    ScopedReadOnlyDacl policyKey(kPolicyKey);
    ASSERT_EQ(rdpTcp.Status(), ERROR_SUCCESS);

    const testkit::JsonValue json = Json(Run({L"status", L"--json"}, 0));
    EXPECT_EQ(json["port"].number, 3389);
    for (const testkit::JsonValue& key : json["portKeys"].items) EXPECT_TRUE(key["error"].IsNull());
    EXPECT_FALSE(json["allowed"].boolean);
    EXPECT_EQ(json["policy"].text, L"allow");
    EXPECT_TRUE(json["error"].IsNull());

    const testkit::JsonValue refused = Json(Run({L"set-port", L"3390", L"--json"}, 1));
    EXPECT_EQ(refused["error"]["code"].number, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(refused["changed"].boolean);
    Run({L"enable", L"--force"}, 1);
    rdpTcp.Restore();
    rdpwdTcp.Restore();
    terminalServer.Restore();
    EXPECT_TRUE(BothPortKeysHold(3389));
    EXPECT_TRUE(DwordAt(kTerminalServer, kDenyValue, 1));
}

}  // namespace
