// rdpport.com set-port, enable and disable against Wine's real registry (calls recorded), with the
// guard's answers scripted: idempotence, --what-if, refusals and --force, and the registry's failures.

#include <gtest/gtest.h>

#include "console/Output.h"
#include "support/ConsoleKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;
using Args = std::vector<std::wstring>;

std::string Joined(const Args& args) {
    std::string text;
    for (const std::wstring& a : args) text += " " + console::Utf8(a);
    return text;
}

class ConsoleChangeTest : public SeededTest {
protected:
    static JsonValue Json(const ConsoleRun& run) { return JsonOf(run); }
};

TEST_F(ConsoleChangeTest, SetPortWritesBothKeysAfterAskingTheGuardAboutTheNewAndCurrentPort) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--json"});
    EXPECT_EQ(run.exitCode, 0);
    const JsonValue json = Json(run);
    EXPECT_EQ(json.Keys(), (std::vector<std::string>{"command", "exitCode", "whatIf", "port", "previousPort", "changed",
                                                     "unchanged", "hazards", "refused", "forced", "firewallRule",
                                                     "revert", "error"}));
    EXPECT_EQ(json["port"].number, 3390);
    EXPECT_EQ(json["previousPort"].number, 3389);
    EXPECT_TRUE(json["changed"].boolean);
    EXPECT_FALSE(json["unchanged"].boolean);
    EXPECT_EQ(Port1(), 3390u);
    EXPECT_EQ(Port2(), 3390u);
    ASSERT_EQ(guard.Of("CheckPortChange").size(), 1u);
    EXPECT_EQ(guard.Of("CheckPortChange")[0].port, 3390);
    EXPECT_EQ(guard.Of("CheckPortChange")[0].currentPort, 3389);
    EXPECT_EQ(recorder.OpenedKeys(), recorder.ClosedKeys());
}

TEST_F(ConsoleChangeTest, OnlyBothKeysHoldingTheExactDwordCountsAsAlreadySet) {
    struct Case {
        const char* name;
        RawValue first, second;
        bool unchanged;
    };
    const RawValue dword3390{REG_DWORD, {0x3E, 0x0D, 0, 0}}, dword3389{REG_DWORD, {0x3D, 0x0D, 0, 0}};
    const Case cases[] = {
        {"both hold it", dword3390, dword3390, true},
        {"only the first", dword3390, dword3389, false},
        {"only the second", dword3389, dword3390, false},
        {"the first as text", {REG_SZ, {'3', '3', '9', '0', 0}}, dword3390, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteRaw(kRdpTcp, kPortValue, c.first.type, c.first.bytes);
        WriteRaw(kRdpwdTcp, kPortValue, c.second.type, c.second.bytes);
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--json"});
        EXPECT_EQ(run.exitCode, 0);
        const JsonValue json = Json(run);
        EXPECT_EQ(json["unchanged"].boolean, c.unchanged);
        EXPECT_EQ(json["changed"].boolean, !c.unchanged);
        EXPECT_EQ(WritesIn(recorder) == 0, c.unchanged);
        EXPECT_EQ(Port1(), 3390u);
        EXPECT_EQ(Port2(), 3390u);
    }
}

TEST_F(ConsoleChangeTest, EnableAndDisableWriteOnlyWhenTheFlagIsNotAlreadyTheExactDword) {
    struct Case {
        Args args;
        RawValue before;
        bool unchanged;
        DWORD after;
    };
    const Case cases[] = {
        {{L"disable", L"--json"}, {REG_DWORD, {1, 0, 0, 0}}, true, 1},
        {{L"enable", L"--json"}, {REG_DWORD, {1, 0, 0, 0}}, false, 0},
        {{L"enable", L"--json"}, {REG_DWORD, {0, 0, 0, 0}}, true, 0},
        {{L"disable", L"--json"}, {REG_DWORD, {0, 0, 0, 0}}, false, 1},
        {{L"disable", L"--json"}, {REG_SZ, {'1', 0}}, false, 1},
        {{L"enable", L"--json"}, {REG_DWORD, {2, 0, 0, 0}}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Joined(c.args) + " from type " + std::to_string(c.before.type) + " " +
                     std::to_string(c.before.bytes[0]));
        WriteRaw(kTerminalServer, kDenyValue, c.before.type, c.before.bytes);
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        const ConsoleRun run = RunConsole(c.args);
        EXPECT_EQ(run.exitCode, 0);
        const JsonValue json = Json(run);
        EXPECT_EQ(json["unchanged"].boolean, c.unchanged);
        EXPECT_EQ(json["changed"].boolean, !c.unchanged);
        EXPECT_EQ(json["allowed"].boolean, c.args[0] == L"enable");
        EXPECT_EQ(WritesIn(recorder) == 0, c.unchanged);
        EXPECT_EQ(Deny(), c.after);
        EXPECT_EQ(guard.Of(c.args[0] == L"enable" ? "CheckTurnOn" : "CheckTurnOff").size(), 1u);
    }
}

TEST_F(ConsoleChangeTest, WhatIfReportsTheChangeAndEveryHazardButWritesNothing) {
    WriteDword(kTerminalServer, kDenyValue, 0);
    const Args commands[] = {{L"set-port", L"3390"}, {L"disable"}, {L"set-port", L"3390", L"--force"},
                             {L"set-port", L"3390", L"--open-firewall"}};
    for (Args args : commands) {
        args.insert(args.end(), {L"--what-if", L"--json"});
        SCOPED_TRACE(Joined(args));
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        guard.turnOffHazards = {{guard::HazardKind::PolicyAllows}};
        const bool forced = args[2] == L"--force";
        if (forced) guard.portHazards = {{guard::HazardKind::PortForbidden, 3390}};
        const ConsoleRun run = RunConsole(args);
        const JsonValue json = Json(run);
        EXPECT_TRUE(json["whatIf"].boolean);
        EXPECT_EQ(WritesIn(recorder), 0u);
        EXPECT_TRUE(guard.Of("OpenFirewallPort").empty());
        EXPECT_EQ(Port1(), 3389u);
        EXPECT_EQ(Port2(), 3389u);
        EXPECT_EQ(Deny(), 0u);
        if (args[0] == L"disable") {
            // As the real run would end: refused by the policy hazard.
            EXPECT_EQ(run.exitCode, 3);
            EXPECT_TRUE(json["refused"].boolean);
            ASSERT_EQ(json["hazards"].items.size(), 1u);
            EXPECT_EQ(json["hazards"].items[0]["kind"].text, L"PolicyAllows");
            continue;
        }
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(json["changed"].boolean);
        EXPECT_EQ(json["forced"].boolean, forced);
        EXPECT_EQ(json["hazards"].items.size(), forced ? 1u : 0u);
        if (args[2] == L"--open-firewall") {
            EXPECT_EQ(json["firewallRule"]["result"].text, L"would-add");
        }
    }
}

}  // namespace
