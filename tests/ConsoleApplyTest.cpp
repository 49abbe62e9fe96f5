// rdpport.com set-port N --apply against Wine's real registry (calls recorded), with the guard's
// restart scripted: rights checked before anything is written, the restart only after the write, and
// exit 0 only when the service is seen listening on N.

#include <gtest/gtest.h>

#include "base/SystemErrorText.h"
#include "console/Output.h"
#include "support/ConsoleKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;
using Args = std::vector<std::wstring>;
using Ports = std::vector<std::uint16_t>;

const std::wstring kDropsConnections = L"断开本服务器上的所有远程桌面连接，包括您自己的连接";

class ConsoleApplyTest : public SeededTest {
protected:
    static JsonValue Json(const ConsoleRun& run) { return JsonOf(run); }
    static std::vector<std::int64_t> Numbers(const JsonValue& array) {
        std::vector<std::int64_t> numbers;
        for (const JsonValue& item : array.items) numbers.push_back(item.number);
        return numbers;
    }
};

TEST_F(ConsoleApplyTest, ApplyGoesWithSetPortOnly) {
    const Args lines[] = {{L"status", L"--apply"}, {L"enable", L"--apply"}, {L"disable", L"--apply"},
                          {L"nla", L"on", L"--apply"}};
    for (const Args& args : lines) {
        SCOPED_TRACE(console::Utf8(args[0]));
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        const ConsoleRun run = RunConsole(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(L"--apply 不能用于"), std::wstring::npos) << console::Utf8(run.err);
        EXPECT_EQ(WritesIn(recorder), 0u);
        EXPECT_TRUE(guard.calls.empty());
    }
}

TEST_F(ConsoleApplyTest, WithoutTheRightToRestartNothingIsWrittenNotEvenTheFirewall) {
    struct Case {
        const char* name;
        DWORD error;
        std::wstring service;
        std::wstring says;
    };
    const Case cases[] = {
        {"service denied", ERROR_ACCESS_DENIED, L"TermService", L"无法重新启动远程桌面服务（TermService）："},
        {"dependent denied", ERROR_ACCESS_DENIED, L"UmRdpService", L"无法重新启动服务 UmRdpService（它依赖于"},
        {"no such service", ERROR_SERVICE_DOES_NOT_EXIST, L"TermService", L"无法重新启动远程桌面服务"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        guard.restartPlan.error = c.error;
        guard.restartPlan.failedService = c.service;
        const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--open-firewall", L"--apply", L"--json"});
        EXPECT_EQ(run.exitCode, 1);
        const JsonValue json = Json(run);
        EXPECT_EQ(json["error"]["code"].number, static_cast<std::int64_t>(c.error));
        const std::wstring& text = json["error"]["text"].text;
        EXPECT_EQ(text.find(c.says), 0u) << console::Utf8(text);
        EXPECT_NE(text.find(base::SystemErrorClause(c.error)), std::wstring::npos) << "Windows' own words";
        EXPECT_NE(text.find(L"未作任何修改"), std::wstring::npos);
        EXPECT_FALSE(json["applied"].boolean);
        EXPECT_TRUE(json["listeningAfter"].IsNull());
        EXPECT_TRUE(json["restartSeconds"].IsNull());
        EXPECT_EQ(WritesIn(recorder), 0u);
        EXPECT_TRUE(guard.Of("OpenFirewallPort").empty());
        EXPECT_TRUE(guard.Of("Restart").empty());
        EXPECT_EQ(Port1(), 3389u);
        EXPECT_EQ(Port2(), 3389u);
    }
}

TEST_F(ConsoleApplyTest, TheRestartComesAfterTheWriteAndOnlyListeningOnTheNewPortCounts) {
    struct Case {
        const char* name;
        bool restarted;
        std::optional<Ports> listening;
        int exitCode;
        bool applied;
        std::wstring says;  // in the error's message, or in the outcome when applied
    };
    const Case cases[] = {
        {"listens on it", true, Ports{3390}, 0, true, L"正在端口 3390 监听"},
        {"still on the old port", true, Ports{3389}, 1, false, L"未见它在端口 3390 监听（它正在监听：3389）"},
        {"listens nowhere", true, std::nullopt, 1, false, L"未发现它在监听任何端口"},
        {"stop never ended", false, std::nullopt, 1, false, L"远程桌面服务（TermService） 在 30 秒内未停止"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        guard.restartOutcome.restarted = c.restarted;
        guard.restartOutcome.seconds = 4.4;
        if (!c.restarted) {
            guard.restartOutcome.error = WAIT_TIMEOUT;
            guard.restartOutcome.step = guard::RestartStep::Stop;
            guard.restartOutcome.failedService = L"TermService";
        }
        guard.listeningAfter = c.listening;
        const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--apply", L"--json"});
        EXPECT_EQ(run.exitCode, c.exitCode);
        const JsonValue json = Json(run);
        EXPECT_EQ(json.Keys(), (std::vector<std::string>{"command", "exitCode", "whatIf", "port", "previousPort",
                                                         "changed", "unchanged", "hazards", "refused", "forced",
                                                         "firewallRule", "applied", "listeningAfter",
                                                         "restartSeconds", "restartNote", "revert", "error"}));
        EXPECT_EQ(json["applied"].boolean, c.applied);
        EXPECT_EQ(json["restartSeconds"].number, 4);
        EXPECT_NE(json["restartNote"].text.find(kDropsConnections), std::wstring::npos);
        if (c.restarted && c.listening) {
            std::vector<std::int64_t> expected(c.listening->begin(), c.listening->end());
            EXPECT_EQ(Numbers(json["listeningAfter"]), expected);
        } else {
            EXPECT_TRUE(json["listeningAfter"].IsNull());
        }
        if (c.applied) {
            EXPECT_TRUE(json["error"].IsNull());
        } else {
            EXPECT_NE(json["error"]["text"].text.find(c.says), std::wstring::npos)
                << console::Utf8(json["error"]["text"].text);
        }
        // Written whatever the restart did, and before it.
        EXPECT_EQ(Port1(), 3390u);
        EXPECT_EQ(Port2(), 3390u);
        ASSERT_EQ(guard.Of("PrepareRestart").size(), 1u);
        ASSERT_EQ(guard.Of("Restart").size(), 1u);
        for (size_t i = 0; i < guard.Of("PrepareRestart")[0].registryCallsBefore; ++i)
            EXPECT_NE(recorder.calls[i].function, "Set") << "the rights are checked before any write";
        EXPECT_EQ(recorder.Of("Set").size(), 2u) << "both port keys";
        EXPECT_GT(guard.Of("Restart")[0].registryCallsBefore, guard.Of("PrepareRestart")[0].registryCallsBefore);
        EXPECT_EQ(guard.Of("AwaitListening").size(), c.restarted ? 1u : 0u);
        if (c.restarted) {
            EXPECT_EQ(guard.Of("AwaitListening")[0].port, 3390);
        }
        WriteDword(kRdpTcp, kPortValue, 3389);
        WriteDword(kRdpwdTcp, kPortValue, 3389);
    }
}

TEST_F(ConsoleApplyTest, TheTextWarnsThatEveryConnectionDropsAndSaysTheOutcome) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    guard.listeningAfter = Ports{3390};
    const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--apply"});
    EXPECT_EQ(run.exitCode, 0) << console::Utf8(run.err);
    EXPECT_NE(run.out.find(kDropsConnections), std::wstring::npos) << console::Utf8(run.out);
    EXPECT_NE(run.out.find(L"远程桌面服务已重新启动，正在端口 3390 监听"), std::wstring::npos);
    EXPECT_EQ(run.out.find(L"重新启动计算机后生效"), std::wstring::npos);
}

TEST_F(ConsoleApplyTest, WhatIfAndRefusalsRestartNothing) {
    struct Case {
        const char* name;
        Args args;
        bool hazard;
        int exitCode;
        size_t prepared;
    };
    const Case cases[] = {
        {"what-if checks the rights only", {L"set-port", L"3390", L"--apply", L"--what-if"}, false, 0, 1},
        {"refused by a hazard", {L"set-port", L"3390", L"--apply"}, true, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        if (c.hazard) guard.portHazards = {{guard::HazardKind::PortForbidden, 3390}};
        const ConsoleRun run = RunConsole(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(guard.Of("PrepareRestart").size(), c.prepared);
        EXPECT_TRUE(guard.Of("Restart").empty());
        EXPECT_EQ(WritesIn(recorder), 0u);
        EXPECT_EQ(Port1(), 3389u);
    }
}

}  // namespace
