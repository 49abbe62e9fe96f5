// rdpport.com watch and confirm, on a clock of the test's own: confirmed only by a connection from
// another machine, cancelled when the task goes, the old port put back at the deadline (firewall and
// restart included), superseded by a later change, and a failed revert that leaves the task to try
// again. The registry is Wine's (recorded); the guard and the revert's effects are scripted.

#include <gtest/gtest.h>

#include "console/Output.h"
#include "support/ConsoleKit.h"
#include "support/RevertKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;
using Peers = std::vector<revert::Peer>;

const revert::PendingRevert kPlan{3389, 3390, 60, false};
const std::vector<std::wstring> kWatch = {L"watch", L"--from",         L"3389", L"--to",
                                          L"3390",  L"--revert-after", L"60s",  L"--json"};

class ConsoleWatchTest : public SeededTest {
protected:
    void SetUp() override {
        SeededTest::SetUp();
        WriteDword(kRdpTcp, kPortValue, 3390);  // set-port has run
        WriteDword(kRdpwdTcp, kPortValue, 3390);
    }
    static size_t PortWrites(const RegistryRecorder& recorder) { return recorder.Of("Set").size(); }
};

TEST_F(ConsoleWatchTest, OnlyAConnectionFromAnotherMachineConfirms) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    FakeRevert revert;
    revert.Pending(kPlan);
    revert.peers = {Peers{Ipv4Peer(127, 0, 0, 1)}, Peers{Ipv6Peer({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})},
                    Peers{Ipv6Peer({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 1, 2, 3})},
                    Peers{Ipv4Peer(127, 0, 0, 1), Ipv4Peer(10, 213, 7, 2)}};
    const ConsoleRun run = RunConsole(kWatch);
    EXPECT_EQ(run.exitCode, 0);
    const JsonValue json = JsonOf(run);
    EXPECT_EQ(json["outcome"].text, L"confirmed");
    EXPECT_EQ(json["confirmedBy"].text, L"10.213.7.2");
    EXPECT_EQ(revert.pauses.size(), 3u) << "three looks saw only the server itself";
    for (DWORD pause : revert.pauses) EXPECT_LE(pause, 5000u);
    EXPECT_FALSE(revert.task);
    EXPECT_FALSE(revert.record);
    EXPECT_EQ(PortWrites(recorder), 0u);
    ASSERT_EQ(revert.events.size(), 1u);
    EXPECT_EQ(revert.events[0].first, revert::RevertEvent::Confirmed);
}

TEST_F(ConsoleWatchTest, LoopbackTellsTheServerItselfFromEveryOtherAddress) {
    const std::pair<revert::Peer, bool> cases[] = {
        {Ipv4Peer(127, 0, 0, 1), true},
        {Ipv4Peer(127, 255, 1, 9), true},
        {Ipv6Peer({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), true},
        {Ipv6Peer({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 0, 0, 1}), true},
        {Ipv4Peer(10, 0, 0, 1), false},
        {Ipv4Peer(128, 0, 0, 1), false},
        {Ipv6Peer({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 10, 0, 0, 1}), false},
        {Ipv6Peer({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), false},
        {Ipv6Peer({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), false},
    };
    for (const auto& [peer, loopback] : cases) {
        SCOPED_TRACE(console::Utf8(peer.Text()));
        EXPECT_EQ(revert::IsLoopback(peer), loopback);
    }
    EXPECT_EQ(Ipv6Peer({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5}).Text(), L"2001:db8:0:0:0:0:0:5");
}

TEST_F(ConsoleWatchTest, AGoneTaskCancelsTheWatchAndNothingIsWritten) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    FakeRevert revert;
    revert.Pending(kPlan);
    revert.onPause = [&revert] {
        if (revert.pauses.size() == 2) revert.task.reset();  // confirm ran meanwhile
    };
    const ConsoleRun run = RunConsole(kWatch);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(JsonOf(run)["outcome"].text, L"cancelled");
    EXPECT_EQ(revert.pauses.size(), 2u);
    EXPECT_EQ(PortWrites(recorder), 0u);
    EXPECT_TRUE(guard.calls.empty());
    ASSERT_EQ(revert.events.size(), 1u);
    EXPECT_EQ(revert.events[0].first, revert::RevertEvent::Cancelled);
}

TEST_F(ConsoleWatchTest, AtTheDeadlineTheOldPortComesBackAtBothKeysWithItsFirewallAndItsService) {
    for (const bool apply : {false, true}) {
        SCOPED_TRACE(apply ? "--apply" : "no --apply");
        WriteDword(kRdpTcp, kPortValue, 3390);
        WriteDword(kRdpwdTcp, kPortValue, 3390);
        FakeGuard guard;
        guard.verdict = guard::FirewallVerdict::Closed;  // someone took the old port's rule away meanwhile
        guard.opening.admitted = true;
        guard.opening.added = {L"rule"};
        guard.listeningAfter = std::vector<std::uint16_t>{3389};
        FakeRevert revert;
        revert::PendingRevert plan = kPlan;
        plan.apply = apply;
        revert.Pending(plan);
        std::vector<std::wstring> args = kWatch;
        if (apply) args.push_back(L"--apply");
        const ConsoleRun run = RunConsole(args);
        EXPECT_EQ(run.exitCode, 0) << console::Utf8(run.out);
        const JsonValue json = JsonOf(run);
        EXPECT_EQ(json["outcome"].text, L"reverted");
        EXPECT_EQ(json["waitedSeconds"].number, 60) << "counted from the watch's start";
        EXPECT_EQ(Port1(), 3389u);
        EXPECT_EQ(Port2(), 3389u);
        ASSERT_EQ(guard.Of("OpenFirewallPort").size(), 1u);
        EXPECT_EQ(guard.Of("OpenFirewallPort")[0].port, 3389);
        EXPECT_EQ(guard.Of("Restart").size(), apply ? 1u : 0u);
        if (apply) {
            EXPECT_EQ(guard.Of("AwaitListening")[0].port, 3389);
        }
        EXPECT_FALSE(revert.task);
        EXPECT_FALSE(revert.record);
        ASSERT_EQ(revert.events.size(), 1u);
        EXPECT_EQ(revert.events[0].first, revert::RevertEvent::Reverted);
    }
}

TEST_F(ConsoleWatchTest, AChangeMadeSinceSupersedesTheRevertAndNothingIsWritten) {
    WriteDword(kRdpTcp, kPortValue, 3391);
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    FakeRevert revert;
    revert.Pending(kPlan);
    const ConsoleRun run = RunConsole(kWatch);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(JsonOf(run)["outcome"].text, L"superseded");
    EXPECT_EQ(PortWrites(recorder), 0u);
    EXPECT_EQ(Port1(), 3391u);
    EXPECT_FALSE(revert.task);
    ASSERT_EQ(revert.events.size(), 1u);
    EXPECT_EQ(revert.events[0].first, revert::RevertEvent::Superseded);
}

TEST_F(ConsoleWatchTest, AFailedRevertSaysWhyAndKeepsTheTaskForTheNextStart) {
    RegistryRecorder recorder;
    recorder.fail = [](const RegCall& call) -> LONG { return call.function == "Set" ? ERROR_ACCESS_DENIED : 0; };
    FakeGuard guard(&recorder);
    FakeRevert revert;
    revert.Pending(kPlan);
    const ConsoleRun run = RunConsole(kWatch);
    EXPECT_EQ(run.exitCode, 1);
    const JsonValue json = JsonOf(run);
    EXPECT_EQ(json["outcome"].text, L"failed");
    EXPECT_EQ(json["error"]["code"].number, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(revert.task);
    ASSERT_EQ(revert.events.size(), 1u);
    EXPECT_EQ(revert.events[0].first, revert::RevertEvent::RevertFailed);
    EXPECT_NE(revert.events[0].second.find(L"改回端口 3389失败"), std::wstring::npos)
        << console::Utf8(revert.events[0].second);
}

TEST_F(ConsoleWatchTest, ConfirmDropsTheRevertAndTheOldPortsOwnRulesOnlyOnceNothingUsesIt) {
    struct Case {
        const char* name;
        std::optional<std::vector<std::uint16_t>> listening;
        bool closes;
    };
    const Case cases[] = {
        {"restarted onto the new port", std::vector<std::uint16_t>{3390}, true},
        {"still on the old port until a restart", std::vector<std::uint16_t>{3389}, false},
        {"listeners unknown", std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeGuard guard;
        guard.listening = c.listening;
        guard.closing.removed = {L"TCP 3389", L"UDP 3389"};
        FakeRevert revert;
        revert.Pending(kPlan);
        const ConsoleRun run = RunConsole({L"confirm", L"--json"});
        EXPECT_EQ(run.exitCode, 0);
        const JsonValue json = JsonOf(run);
        EXPECT_TRUE(json["confirmed"].boolean);
        EXPECT_EQ(json["pendingRevert"]["from"].number, 3389);
        EXPECT_FALSE(revert.task);
        EXPECT_FALSE(revert.record);
        EXPECT_EQ(guard.Of("CloseOwnFirewallPort").size(), c.closes ? 1u : 0u);
        EXPECT_EQ(json["firewallRulesRemoved"].items.size(), c.closes ? 2u : 0u);
        EXPECT_EQ(json["firewallRulesKept"].IsNull(), c.closes);
    }
    FakeGuard guard;
    FakeRevert none;
    const ConsoleRun run = RunConsole({L"confirm", L"--json"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(JsonOf(run)["confirmed"].boolean);
    EXPECT_TRUE(guard.calls.empty());
    EXPECT_TRUE(none.events.empty());
}

}  // namespace
