// rdpport.com status against Wine's real registry, with the guard's answers scripted: what the JSON
// and the text say about the ports, the deny flag, the policy, the listeners and the firewall.

#include <gtest/gtest.h>

#include "console/Output.h"
#include "support/ConsoleKit.h"
#include "support/RegistryKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;

class ConsoleStatusTest : public SeededTest {
protected:
    static JsonValue StatusJson(int expectedExit = 0) {
        const ConsoleRun run = RunConsole({L"status", L"--json"});
        EXPECT_EQ(run.exitCode, expectedExit);
        EXPECT_EQ(run.err, L"");
        const auto json = run.Json();
        EXPECT_TRUE(json) << console::Utf8(run.out);
        return json ? *json : JsonValue{};
    }
};

TEST_F(ConsoleStatusTest, JsonHasTheStableKeysAndWhatEachPartOfTheSystemSays) {
    WriteDword(kRdpTcp, kPortValue, 3390);
    FakeGuard guard;
    guard.listening = std::vector<std::uint16_t>{3389};
    guard.verdict = guard::FirewallVerdict::Admits;
    const JsonValue json = StatusJson();
    EXPECT_EQ(json.Keys(), (std::vector<std::string>{"command", "exitCode", "port", "portKeys", "portsAgree", "allowed",
                                                     "policy", "policyValue", "effective", "nlaRequired", "nlaPolicy",
                                                     "nlaEffective", "listening", "serviceStartType", "serviceState",
                                                     "listenerEnabled", "firewall", "firewallUdp", "firewallProfiles", "firewallRules",
                                                     "firewallUnreadableRules", "pendingRevert", "error"}));
    EXPECT_EQ(json["command"].text, L"status");
    EXPECT_EQ(json["port"].number, 3390);
    ASSERT_EQ(json["portKeys"].items.size(), 2u);
    EXPECT_EQ(json["portKeys"].items[0]["key"].text,
              L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp");
    EXPECT_EQ(json["portKeys"].items[1]["key"].text,
              L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp");
    EXPECT_EQ(json["portKeys"].items[1]["port"].number, 3389);
    EXPECT_FALSE(json["portsAgree"].boolean);
    ASSERT_EQ(json["listening"].items.size(), 1u);
    EXPECT_EQ(json["listening"].items[0].number, 3389);
    EXPECT_EQ(json["firewall"].text, L"yes");
    EXPECT_EQ(json["firewallUdp"].text, L"yes");
    EXPECT_TRUE(json["firewallRules"].IsNull()) << "the fake firewall could not be read";
    EXPECT_TRUE(json["error"].IsNull());
    ASSERT_EQ(guard.Of("FirewallSummaryFor").size(), 1u);
    EXPECT_EQ(guard.Of("FirewallSummaryFor")[0].port, 3390) << "the firewall is asked about the configured port";
}

TEST_F(ConsoleStatusTest, TheLocalFlagThePolicyAndTheEffectiveState) {
    struct Case {
        const char* name;
        std::optional<RawValue> deny;  // nothing: the value is missing
        std::optional<RawValue> policy;
        std::optional<bool> allowed;
        const wchar_t* policyText;  // nullptr for JSON null
        std::optional<bool> effective;
    };
    const RawValue dword0{REG_DWORD, {0, 0, 0, 0}}, dword1{REG_DWORD, {1, 0, 0, 0}}, dword2{REG_DWORD, {2, 0, 0, 0}};
    const RawValue text1{REG_SZ, {'1', 0}};
    const Case cases[] = {
        {"allowed", dword0, {}, true, nullptr, true},
        {"refused", dword1, {}, false, nullptr, false},
        {"policy refuses", dword0, dword1, true, L"deny", false},
        {"policy allows", dword1, dword0, false, L"allow", true},
        {"policy value Windows interprets", dword1, dword2, false, L"other", std::nullopt},
        {"policy as text: set, but no number", dword0, text1, true, L"other", std::nullopt},
        {"text 1 refuses, as in the window", text1, {}, false, nullptr, false},
        {"only 1 refuses", dword2, {}, true, nullptr, true},
        {"missing flag", std::nullopt, {}, std::nullopt, nullptr, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SeedRemoteDesktop(3389, 1);
        if (c.deny) {
            WriteRaw(kTerminalServer, kDenyValue, c.deny->type, c.deny->bytes);
        } else {
            DeleteValue(kTerminalServer, kDenyValue);
        }
        std::optional<ScopedPolicyValue> policy;
        if (c.policy) policy.emplace(kDenyValue, *c.policy);
        FakeGuard guard;
        const JsonValue json = StatusJson();
        EXPECT_EQ(json["allowed"].IsNull(), !c.allowed);
        if (c.allowed) {
            EXPECT_EQ(json["allowed"].boolean, *c.allowed);
        }
        EXPECT_EQ(json["policy"].IsNull(), c.policyText == nullptr);
        if (c.policyText) {
            EXPECT_EQ(json["policy"].text, c.policyText);
        }
        EXPECT_EQ(json["effective"].IsNull(), !c.effective);
        if (c.effective) {
            EXPECT_EQ(json["effective"].boolean, *c.effective);
        }
    }
}

TEST_F(ConsoleStatusTest, PortValuesThatAreNotPortsAndKeysThatCannotBeRead) {
    WriteString(kRdpTcp, kPortValue, "3390");
    FakeGuard guard;
    JsonValue json = StatusJson();
    EXPECT_TRUE(json["port"].IsNull()) << "a REG_SZ is no port Remote Desktop uses";
    EXPECT_EQ(json["portKeys"].items[0]["value"].text, L"3390");
    ASSERT_EQ(guard.Of("FirewallSummaryFor").size(), 1u);
    EXPECT_EQ(guard.Of("FirewallSummaryFor")[0].port, -1) << "no port, no question about one";
    EXPECT_EQ(json["firewall"].text, L"unknown");

    WriteDword(kRdpTcp, kPortValue, 70000);
    json = StatusJson();
    EXPECT_TRUE(json["port"].IsNull());
    EXPECT_EQ(json["portKeys"].items[0]["value"].text, L"70000");

    // A REG_DWORD is unsigned: shown as the number stored, never as a negative one.
    WriteDword(kRdpTcp, kPortValue, 0xFFFFFFFF);
    WriteDword(kRdpwdTcp, kPortValue, 0x80000000);
    json = StatusJson();
    EXPECT_TRUE(json["port"].IsNull());
    EXPECT_EQ(json["portKeys"].items[0]["value"].text, L"4294967295");
    EXPECT_EQ(json["portKeys"].items[1]["value"].text, L"2147483648");
    const ConsoleRun text = RunConsole({L"status"});
    EXPECT_NE(text.out.find(L"端口（WinStations\\RDP-Tcp）：4294967295（不是 0 到 65535 之间的端口）\r\n"),
              std::wstring::npos) << console::Utf8(text.out);
    WriteDword(kRdpwdTcp, kPortValue, 3389);

    {
        ScopedEmptyDacl denied(kRdpTcp);
        json = StatusJson(/*expectedExit=*/1);
        EXPECT_EQ(json["exitCode"].number, 1);
        EXPECT_EQ(json["portKeys"].items[0]["error"]["code"].number, ERROR_ACCESS_DENIED);
        EXPECT_EQ(json["error"]["code"].number, ERROR_ACCESS_DENIED);
        EXPECT_EQ(json["portKeys"].items[1]["port"].number, 3389) << "the other key is still read";
    }
    DeleteValue(kRdpwdTcp, kPortValue);
    json = StatusJson(/*expectedExit=*/0);
    EXPECT_EQ(json["portKeys"].items[1]["error"]["code"].number, ERROR_FILE_NOT_FOUND) << "missing is reported, not failed";
    EXPECT_NE(RunConsole({L"status"}).out.find(L"\r\n两处端口设置：不一致\r\n"), std::wstring::npos);
    DeleteValue(kRdpTcp, kPortValue);
    const std::wstring out = RunConsole({L"status"}).out;
    for (const wchar_t* line :
         {L"\r\n两处端口设置：均未设置\r\n", L"\r\n防火墙是否放行所配置的端口（UDP）：无法确定\r\n"})
        EXPECT_NE(out.find(line), std::wstring::npos) << console::Utf8(out);
}

TEST_F(ConsoleStatusTest, TextShowsThatTheServiceStillListensOnTheOldPortUntilRestart) {
    WriteDword(kRdpTcp, kPortValue, 3390);
    WriteDword(kRdpwdTcp, kPortValue, 3390);
    WriteDword(kTerminalServer, kDenyValue, 0);
    if (ReadRaw(kRdpTcp, kNlaValue)) DeleteValue(kRdpTcp, kNlaValue);
    FakeGuard guard;
    guard.listening = std::vector<std::uint16_t>{3389};
    guard.verdict = guard::FirewallVerdict::Closed;
    guard.ownRules = std::vector<guard::firewall::Rule>{guard::firewall::OwnRule(3390, guard::firewall::kProtocolTcp)};
    guard.ownRules->back().enabled = false;
    const ConsoleRun run = RunConsole({L"status"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, L"端口（WinStations\\RDP-Tcp）：3390\r\n"
                       L"端口（Wds\\rdpwd\\Tds\\tcp）：3390\r\n"
                       L"两处端口设置：一致\r\n"
                       L"远程连接（本机设置）：允许\r\n"
                       L"组策略：未设置\r\n"
                       L"实际生效：允许远程连接\r\n"
                       L"网络级别身份验证（NLA，本机设置）：未设置（缺少该值时是否要求，Windows 没有公开说明）\r\n"
                       L"网络级别身份验证（组策略）：未设置\r\n"
                       L"网络级别身份验证（实际生效）：无法确定\r\n"
                       L"远程桌面服务正在监听：3389\r\n"
                       L"注意：已配置端口 3390，但服务仍在监听 3389，重新启动计算机后才会改用新端口。\r\n"
                       L"远程桌面服务（TermService）启动类型：无法得知\r\n"
                       L"远程桌面服务（TermService）状态：无法得知\r\n"
                       L"RDP-Tcp 连接（fEnableWinStation）：无法得知\r\n"
                       L"防火墙是否放行 TCP 3390：否\r\n"
                       L"  各网络配置文件：域（当前） 否，专用（当前） 否，公用（当前） 否\r\n"
                       L"防火墙是否放行 UDP 3390：否\r\n"
                       L"  各网络配置文件：域（当前） 否，专用（当前） 否，公用（当前） 否\r\n"
                       L"本程序的防火墙规则：\r\n"
                       L"  Korvane远程端口修改软件 - 远程桌面 TCP 3390（未启用，域、专用、公用网络）\r\n"
                       L"自动改回：无\r\n");
    EXPECT_EQ(run.err, L"");
}

TEST_F(ConsoleStatusTest, APolicyThatIsNoNumberOrCannotBeReadIsNeverShownAsNotSet) {
    ScopedPolicyValue policy(kDenyValue, StringValue("0"));
    FakeGuard guard;
    ConsoleRun run = RunConsole({L"status"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find(L"组策略：已设置，但不是 REG_DWORD，由 Windows 解释\r\n实际生效：无法确定\r\n"),
              std::wstring::npos) << console::Utf8(run.out);

    ScopedEmptyDacl unreadable(kPolicyKey);
    const JsonValue json = StatusJson(/*expectedExit=*/1);
    EXPECT_EQ(json["error"]["code"].number, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(json["effective"].IsNull()) << "the policy may govern: the effective state cannot be told";
    run = RunConsole({L"status"});
    EXPECT_NE(run.out.find(L"组策略：无法读取："), std::wstring::npos) << console::Utf8(run.out);
}

TEST_F(ConsoleStatusTest, StatusReadsWithTheRightToReadOnly) {
    ScopedPolicyFlag policy(1);
    ScopedReadOnlyDacl rdpTcp(kRdpTcp), rdpwdTcp(kRdpwdTcp), terminalServer(kTerminalServer);
    ScopedReadOnlyDacl policyKey(kPolicyKey);
    ASSERT_EQ(rdpTcp.Status(), ERROR_SUCCESS);
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    const JsonValue json = StatusJson();
    EXPECT_EQ(json["port"].number, 3389);
    EXPECT_EQ(json["portKeys"].items[1]["port"].number, 3389);
    EXPECT_FALSE(json["allowed"].boolean);
    EXPECT_EQ(json["policy"].text, L"deny");
    EXPECT_TRUE(json["error"].IsNull());
    ASSERT_FALSE(recorder.Of("Open").empty());
    for (const RegCall& open : recorder.Of("Open"))
        EXPECT_EQ(open.access, static_cast<REGSAM>(KEY_QUERY_VALUE)) << open.path << " opened for more than reading";
    EXPECT_EQ(WritesIn(recorder), 0u);
}

TEST_F(ConsoleStatusTest, TheServicesStartTypeAndStateAndTheListenerSwitchInJsonAndText) {
    struct Case {
        guard::ServiceSummary service;
        const char* json;  // serviceStartType, serviceState, listenerEnabled as written
        std::wstring text;  // the three lines' values
    };
    const Case cases[] = {
        {{}, R"(null null null)", L"无法得知 无法得知 无法得知"},
        {{SERVICE_AUTO_START, SERVICE_RUNNING, true}, R"("auto" "running" true)", L"自动 正在运行 已启用"},
        {{SERVICE_DEMAND_START, SERVICE_STOPPED, true}, R"("manual" "stopped" true)", L"手动 已停止 已启用"},
        {{SERVICE_DISABLED, SERVICE_STOPPED, false}, R"("disabled" "stopped" false)", L"禁用 已停止 已停用"},
        {{SERVICE_SYSTEM_START, SERVICE_START_PENDING, std::nullopt}, R"("other" "other" null)",
         L"其他（1） 其他（2） 无法得知"},
    };
    const auto written = [](const JsonValue& value) -> std::string {
        if (value.IsNull()) return "null";
        if (value.type == JsonValue::Type::Bool) return value.boolean ? "true" : "false";
        return "\"" + console::Utf8(value.text) + "\"";
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        FakeGuard guard;
        guard.service = c.service;
        const JsonValue json = StatusJson();
        EXPECT_EQ(written(json["serviceStartType"]) + " " + written(json["serviceState"]) + " " +
                      written(json["listenerEnabled"]),
                  c.json);
        const std::wstring out = RunConsole({L"status"}).out;
        std::wstring values;
        for (const wchar_t* label : {L"远程桌面服务（TermService）启动类型：", L"远程桌面服务（TermService）状态：",
                                     L"RDP-Tcp 连接（fEnableWinStation）："}) {
            const size_t at = out.find(label);
            ASSERT_NE(at, std::wstring::npos) << console::Utf8(label);
            const size_t from = at + wcslen(label);
            values += (values.empty() ? L"" : L" ") + out.substr(from, out.find(L"\r\n", from) - from);
        }
        EXPECT_EQ(values, c.text);
    }
}

}  // namespace
