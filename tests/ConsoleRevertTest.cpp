// rdpport.com set-port --revert-after: the duration's text, the arming before anything else is written
// and its undoing when a step fails, the task it registers, and what status says of it. The registry is
// Wine's (recorded); the guard and the revert's effects are scripted.

#include <gtest/gtest.h>

#include <algorithm>

#include "console/DurationArgument.h"
#include "console/Output.h"
#include "revert/TaskXml.h"
#include "support/ConsoleKit.h"
#include "revert/ProgramCopy.h"
#include "revert/TaskStore.h"
#include "support/RevertKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;
using Args = std::vector<std::wstring>;
using Log = std::vector<std::string>;

class ConsoleRevertTest : public SeededTest {
protected:
    static size_t PortWrites(const RegistryRecorder& recorder) { return recorder.Of("Set").size(); }
    static bool Contains(const std::wstring& text, const std::wstring& part) {
        return text.find(part) != std::wstring::npos;
    }
};

TEST_F(ConsoleRevertTest, DurationsAreDigitsWithSecondsMinutesOrHoursFromTenSecondsToADay) {
    const std::pair<const wchar_t*, std::optional<std::uint32_t>> cases[] = {
        {L"10s", 10},
        {L"10S", 10},
        {L"10", 600},
        {L"10m", 600},
        {L"2h", 7200},
        {L"24h", 86400},
        {L"1440", 86400},
        {L"86400s", 86400},
        {L"0010s", 10},
        {L"9s", std::nullopt},
        {L"0m", std::nullopt},
        {L"25h", std::nullopt},
        {L"1441", std::nullopt},
        {L"86401s", std::nullopt},
        {L"", std::nullopt},
        {L"m", std::nullopt},
        {L"1.5h", std::nullopt},
        {L"-5m", std::nullopt},
        {L"10 m", std::nullopt},
        {L"10d", std::nullopt},
        {L"0x10", std::nullopt},
        {L"１０m", std::nullopt},
        {L"99999999999h", std::nullopt},
        {L"10ms", std::nullopt},
    };
    for (const auto& [text, seconds] : cases) {
        SCOPED_TRACE(console::Utf8(text));
        EXPECT_EQ(console::DurationArgument(text), seconds);
    }
}

TEST_F(ConsoleRevertTest, MisusedRevertOptionsAreUsageErrorsThatTouchNothing) {
    const Args lines[] = {
        {L"set-port", L"3390", L"--revert-after", L"5s"},
        {L"set-port", L"3390", L"--revert-after"},
        {L"enable", L"--revert-after", L"10m"},
        {L"status", L"--from", L"3389"},
        {L"watch", L"--from", L"3389", L"--to", L"3390"},
        {L"watch", L"--from", L"3389x", L"--to", L"3390", L"--revert-after", L"1m"},
        {L"confirm", L"--what-if"},
        {L"watch", L"--from", L"3389", L"--to", L"3390", L"--revert-after=1m", L"--force"},
    };
    for (const Args& args : lines) {
        SCOPED_TRACE(console::Utf8(args.back()));
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        FakeRevert revert;
        const ConsoleRun run = RunConsole(args);
        EXPECT_EQ(run.exitCode, 2) << console::Utf8(run.err);
        EXPECT_EQ(WritesIn(recorder), 0u);
        EXPECT_TRUE(revert.log.empty());
        EXPECT_TRUE(guard.calls.empty());
    }
}

TEST_F(ConsoleRevertTest, ArmingComesFirstUnderTheLockThenTheFirewallThenTheRegistry) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    guard.opening.admitted = true;
    FakeRevert revert;
    const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--open-firewall", L"--revert-after", L"10m", L"--json"});
    ASSERT_EQ(run.exitCode, 0) << console::Utf8(run.out);
    EXPECT_EQ(revert.log, (Log{"read task", "read task", "install", "write record", "register task", "event"}))
        << "asked before the lock and again under it";
    ASSERT_EQ(guard.Of("OpenFirewallPort").size(), 1u);
    const auto firstSet = std::find_if(recorder.calls.begin(), recorder.calls.end(),
                                       [](const RegCall& call) { return call.function == "Set"; });
    EXPECT_LE(guard.Of("OpenFirewallPort")[0].registryCallsBefore,
              static_cast<size_t>(firstSet - recorder.calls.begin()))
        << "the firewall was opened after the registry write";
    EXPECT_EQ(Port1(), 3390u);
    EXPECT_EQ(Port2(), 3390u);
    ASSERT_TRUE(revert.record);
    EXPECT_EQ(revert.record->plan, (revert::PendingRevert{3389, 3390, 600, false}));
    ASSERT_EQ(revert.events.size(), 1u);
    EXPECT_EQ(revert.events[0].first, revert::RevertEvent::Armed);

    const JsonValue json = JsonOf(run);
    const JsonValue& armed = json["revert"];
    EXPECT_TRUE(armed["armed"].boolean);
    EXPECT_EQ(armed["from"].number, 3389);
    EXPECT_EQ(armed["to"].number, 3390);
    EXPECT_EQ(armed["revertAfterSeconds"].number, 600);
    EXPECT_FALSE(armed["apply"].boolean);
    EXPECT_EQ(armed["program"].text, revert.installedPath);
}

// The task starts its watch at once, at every start of the computer and every 5 minutes while none
// runs; the quoted copy, as SYSTEM as a service account, with no limit on the run.
TEST_F(ConsoleRevertTest, TheTaskRunsTheCopyAsSystemAtOnceAtBootAndAgainWhileNoWatchRuns) {
    for (const bool apply : {false, true}) {
        SCOPED_TRACE(apply ? "--apply" : "no --apply");
        WriteDword(kRdpTcp, kPortValue, 3389);
        WriteDword(kRdpwdTcp, kPortValue, 3389);
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        guard.listeningAfter = std::vector<std::uint16_t>{3390};
        FakeRevert revert;
        Args args = {L"set-port", L"3390", L"--revert-after", L"90s"};
        if (apply) args.push_back(L"--apply");
        ASSERT_EQ(RunConsole(args).exitCode, 0);
        ASSERT_TRUE(revert.task);
        const std::wstring& xml = *revert.task;
        EXPECT_EQ(revert::ElementText(xml, L"Command"), L"\"" + revert.installedPath + L"\"");
        EXPECT_EQ(revert::UnquotedCommand(*revert::ElementText(xml, L"Command")), revert.installedPath);
        EXPECT_EQ(revert::ElementText(xml, L"Arguments"),
                  apply ? L"watch --from 3389 --to 3390 --revert-after 90s --apply"
                        : L"watch --from 3389 --to 3390 --revert-after 90s");
        EXPECT_EQ(revert::ElementText(xml, L"UserId"), L"S-1-5-18");
        EXPECT_EQ(revert::ElementText(xml, L"RunLevel"), L"HighestAvailable");
        EXPECT_EQ(revert::ElementText(xml, L"LogonType"), L"ServiceAccount");
        EXPECT_EQ(revert::ElementText(xml, L"ExecutionTimeLimit"), L"PT0S");
        EXPECT_EQ(revert::ElementText(xml, L"MultipleInstancesPolicy"), L"IgnoreNew");
        EXPECT_EQ(revert::ElementText(xml, L"Interval"), L"PT5M");
        for (const wchar_t* trigger : {L"<RegistrationTrigger>", L"<BootTrigger>", L"<TimeTrigger>"})
            EXPECT_TRUE(Contains(xml, trigger)) << console::Utf8(trigger);
        EXPECT_EQ(guard.Of("Restart").size(), apply ? 1u : 0u);
    }
}

TEST_F(ConsoleRevertTest, AStepThatFailsTakesBackTheEarlierOnesAndNothingElseIsWritten) {
    struct Case {
        const char* name;
        std::function<void(FakeRevert&)> fail;
        std::wstring says;
    };
    const Case cases[] = {
        {"copy", [](FakeRevert& r) { r.installResult = ERROR_ACCESS_DENIED; }, L"无法把 rdpport.com 复制到"},
        {"a program others may replace",
         [](FakeRevert& r) {
             r.installResult = revert::kProgramNotPrivate;
             revert::ProgramOpenTo() = L"S-1-5-11";
         },
         L"rdpport.com 所在的文件夹允许 S-1-5-11 修改"},
        {"record", [](FakeRevert& r) { r.recordWriteResult = ERROR_ACCESS_DENIED; }, L"无法写入自动改回的记录"},
        {"task", [](FakeRevert& r) { r.registerResult = E_ACCESSDENIED; }, L"无法在任务计划程序中登记"},
        {"task registered with a warning", [](FakeRevert& r) { r.registerResult = revert::kTaskPartlyRegistered; },
         L"有触发器或登录方式未能生效"},
        {"a task folder others may change", [](FakeRevert& r) { r.registerResult = revert::kTaskFolderNotPrivate; },
         L"不能把以 SYSTEM 运行的自动改回放在那里"},
        // As under Wine, whose Task Scheduler never runs a task: it is said while it waits, and given up.
        {"a watch that never reports in", [](FakeRevert& r) { r.startsWatch = false; },
         L"正在等待它的监视进程启动（最多 30 秒）……\r\n失败：自动改回的监视进程没有在 30 秒内启动"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        guard.opening.admitted = true;
        FakeRevert revert;
        c.fail(revert);
        const ConsoleRun run =
            RunConsole({L"set-port", L"3390", L"--open-firewall", L"--apply", L"--revert-after", L"10m"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Contains(run.err, c.says)) << console::Utf8(run.err);
        EXPECT_TRUE(Contains(run.err, L"未作任何修改")) << console::Utf8(run.err);
        EXPECT_FALSE(revert.task);
        EXPECT_FALSE(revert.record);
        EXPECT_TRUE(revert.events.empty());
        EXPECT_EQ(PortWrites(recorder), 0u);
        EXPECT_TRUE(guard.Of("OpenFirewallPort").empty());
        EXPECT_TRUE(guard.Of("Restart").empty());
    }
}

TEST_F(ConsoleRevertTest, TheRevertIsTakenBackWhenTheFirewallOrEveryRegistryWriteFails) {
    for (const bool firewallFails : {true, false}) {
        SCOPED_TRACE(firewallFails ? "firewall" : "registry");
        RegistryRecorder recorder;
        if (!firewallFails)
            recorder.fail = [](const RegCall& call) -> LONG {
                return call.function == "Set" ? ERROR_ACCESS_DENIED : 0;
            };
        FakeGuard guard(&recorder);
        guard.opening.admitted = !firewallFails;
        FakeRevert revert;
        const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--open-firewall", L"--revert-after", L"10m"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_FALSE(revert.task) << "a revert was left for a change that was not made";
        EXPECT_FALSE(revert.record);
        EXPECT_TRUE(Contains(run.err, L"刚安排的自动改回已撤销")) << console::Utf8(run.err);
        EXPECT_EQ(Port1(), 3389u);
    }
}

TEST_F(ConsoleRevertTest, NothingIsArmedWhileAnotherWaitsOrWhenThereIsNoOtherPortToGoBackTo) {
    {
        SCOPED_TRACE("pending");
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        FakeRevert revert;
        revert.Pending({3389, 3391, 600, false});
        const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--revert-after", L"10m"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(Contains(run.err, L"已有一个等待中的自动改回（端口 3389 → 3391）")) << console::Utf8(run.err);
        EXPECT_EQ(PortWrites(recorder), 0u);
        EXPECT_EQ(revert.log, (Log{"read task"}));
    }
    {
        SCOPED_TRACE("scheduler unreachable");
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        FakeRevert revert;
        revert.readResult = E_ACCESSDENIED;
        EXPECT_EQ(RunConsole({L"set-port", L"3390", L"--revert-after", L"10m"}).exitCode, 1);
        EXPECT_EQ(PortWrites(recorder), 0u);
    }
    {
        SCOPED_TRACE("already on the port");
        WriteDword(kRdpTcp, kPortValue, 3390);
        WriteDword(kRdpwdTcp, kPortValue, 3390);
        FakeGuard guard;
        FakeRevert revert;
        const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--revert-after", L"10m", L"--json"});
        EXPECT_EQ(run.exitCode, 0);
        const JsonValue json = JsonOf(run);
        EXPECT_FALSE(json["revert"]["armed"].boolean);
        EXPECT_TRUE(Contains(json["revert"]["note"].text, L"没有可改回的端口"));
        EXPECT_FALSE(revert.task);
    }
}

TEST_F(ConsoleRevertTest, WhatIfSaysWhatWouldBeArmedAndArmsNothing) {
    FakeGuard guard;
    FakeRevert revert;
    const ConsoleRun run = RunConsole({L"set-port", L"3390", L"--revert-after", L"2h", L"--what-if"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, L"将安排自动改回：若端口 3390生效后 2 小时内没有管理员通过它登录远程桌面"))
        << console::Utf8(run.out);
    EXPECT_EQ(revert.log, (Log{"read task"}));
    EXPECT_EQ(Port1(), 3389u);
}

TEST_F(ConsoleRevertTest, StatusReadsThePendingRevertFromTheTaskOrItsRecordWhenTheTaskKeepsNoAction) {
    for (const bool keepsAction : {true, false}) {
        SCOPED_TRACE(keepsAction ? "Windows" : "Wine");
        FakeGuard guard;
        FakeRevert revert;
        revert.Pending({3389, 3390, 600, true});
        revert.readsBackAction = keepsAction;
        if (keepsAction) revert.record->plan.seconds = 1;  // the task's own line wins over the record
        const JsonValue json = JsonOf(RunConsole({L"status", L"--json"}));
        const JsonValue& pending = json["pendingRevert"];
        EXPECT_EQ(pending["from"].number, 3389);
        EXPECT_EQ(pending["to"].number, 3390);
        EXPECT_EQ(pending["revertAfterSeconds"].number, 600);
        EXPECT_TRUE(pending["apply"].boolean);
        // Before the new port takes effect nothing counts down; the watch reported in and runs.
        EXPECT_TRUE(pending["effectiveAt"].IsNull());
        EXPECT_TRUE(pending["deadline"].IsNull());
        EXPECT_FALSE(pending["watchRunning"].boolean);
    }
    {
        FakeGuard guard;
        FakeRevert revert;
        revert.Pending({3389, 3390, 600, true});
        revert.record->watchProcessId = 4242;
        revert.watchRunning = true;
        revert.record->effectiveAt = 134411979000000000ULL;  // 2026-12-08T10:05:00Z
        const JsonValue pending = JsonOf(RunConsole({L"status", L"--json"}))["pendingRevert"];
        EXPECT_EQ(pending["effectiveAt"].text, L"2026-12-08T10:05:00Z");
        EXPECT_EQ(pending["deadline"].text, L"2026-12-08T10:15:00Z");
        EXPECT_TRUE(pending["watchRunning"].boolean);
        EXPECT_TRUE(Contains(RunConsole({L"status"}).out,
                             L"自动改回：等待确认：端口 3390已于 2026-12-08T10:05:00Z 生效；若在 2026-12-08T10:15:00Z "
                             L"之前没有管理员通过它登录远程桌面，将自动改回端口 3389"));
    }
    FakeGuard guard;
    FakeRevert none;
    EXPECT_TRUE(JsonOf(RunConsole({L"status", L"--json"}))["pendingRevert"].IsNull());
}

}  // namespace
