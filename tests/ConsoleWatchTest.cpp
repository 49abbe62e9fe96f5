// rdpport.com watch and confirm, on a clock of the test's own: confirmed only by the administrator's
// Remote Desktop session from another machine after the port took effect, cancelled when the task goes,
// the period counted from when the new port takes effect (and carried over to a watch started again),
// the old port put back at the deadline (firewall and service included), superseded by a later change,
// and a failed revert tried again until done. The registry is Wine's (recorded); the guard and the
// revert's effects are scripted.

#include <gtest/gtest.h>

#include <algorithm>

#include "console/Output.h"
#include "support/ConsoleKit.h"
#include "support/RevertKit.h"
#include "support/SeededTest.h"

namespace {

using namespace testkit;

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

revert::Session RdpSession(revert::Peer client, ULONGLONG connectedAt, bool active = true,
                           const wchar_t* winStation = L"RDP-Tcp#2") {
    revert::Session session;
    session.id = 2;
    session.active = active;
    session.winStation = winStation;
    session.user = L"SERVER\\admin";
    session.client = client;
    session.connectedAt = connectedAt;
    return session;
}

TEST_F(ConsoleWatchTest, OnlyTheAdministratorsSessionFromAnotherMachineAfterTheChangeConfirms) {
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    guard.listeningNow = std::vector<std::uint16_t>{3390};  // in effect at once
    FakeRevert revert;
    revert.Pending(kPlan);
    revert.ownAddresses = std::vector<revert::Peer>{Ipv4Peer(10, 0, 0, 5)};
    const ULONGLONG after = revert.UtcNow() + 10;
    using Sessions = std::vector<revert::Session>;
    revert.sessions = {
        Sessions{RdpSession(Ipv4Peer(10, 213, 7, 2), after, true, L"Console")},
        Sessions{RdpSession(Ipv4Peer(127, 0, 0, 1), after)},
        Sessions{RdpSession(Ipv4Peer(10, 0, 0, 5), after)},            // the server's own address
        Sessions{RdpSession(Ipv4Peer(10, 213, 7, 2), after, false)},   // disconnected
        Sessions{RdpSession(Ipv4Peer(10, 213, 7, 2), revert.UtcNow() - 1)},  // from before the change
        Sessions{RdpSession(Ipv4Peer(10, 213, 7, 2), after)},
    };
    const ConsoleRun run = RunConsole(kWatch);
    EXPECT_EQ(run.exitCode, 0);
    const JsonValue json = JsonOf(run);
    EXPECT_EQ(json["outcome"].text, L"confirmed");
    EXPECT_EQ(json["confirmedBy"]["session"].number, 2);
    EXPECT_EQ(json["confirmedBy"]["user"].text, L"SERVER\\admin");
    EXPECT_EQ(json["confirmedBy"]["clientAddress"].text, L"10.213.7.2");
    EXPECT_EQ(revert.pauses.size(), 5u) << "five looks saw no arrival";
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
    EXPECT_TRUE(guard.Of("Restart").empty());
    EXPECT_TRUE(guard.Of("OpenFirewallPort").empty());
    ASSERT_EQ(revert.events.size(), 1u);
    EXPECT_EQ(revert.events[0].first, revert::RevertEvent::Cancelled);
}

// The period counts from when the new port takes effect: at once when Remote Desktop listens there,
// later when it comes to listen there later, from the record when a watch before this one saw it (but
// never sooner than two minutes after this watch's start), and afresh after a start of the computer.
// The service is put back on the old port whether or not the change restarted it itself.
TEST_F(ConsoleWatchTest, AtTheDeadlineCountedFromTheChangesEffectTheOldPortComesBackWithFirewallAndService) {
    struct Case {
        const char* name;
        bool apply;
        int listensAfterLooks;  // Remote Desktop is seen on the new port from this look on
        std::optional<int> effectiveSecondsAgo;  // the record's EffectiveAt
        bool bootedSince;  // the computer started after that
        int waited;
    };
    const Case cases[] = {
        {"restarted onto the new port", true, 0, std::nullopt, false, 60},
        {"changed without a restart; the computer restarts later", false, 0, std::nullopt, false, 60},
        {"in effect only after 7 looks", true, 7, std::nullopt, false, 81},
        {"a watch before this one saw it 50 s ago", true, 0, 50, false, 120},
        {"a watch before this one saw it 20 min ago", true, 0, 1200, false, 120},
        {"the computer started since", true, 0, 50, true, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteDword(kRdpTcp, kPortValue, 3390);
        WriteDword(kRdpwdTcp, kPortValue, 3390);
        FakeGuard guard;
        guard.verdict = guard::FirewallVerdict::Closed;  // someone took the old port's rule away meanwhile
        guard.opening.admitted = true;
        guard.opening.added = {L"rule"};
        guard.listeningAfter = std::vector<std::uint16_t>{3389};
        guard.listeningNow = std::vector<std::uint16_t>{c.listensAfterLooks == 0 ? std::uint16_t{3390} : std::uint16_t{3389}};
        FakeRevert revert;
        revert::PendingRevert plan = kPlan;
        plan.apply = c.apply;
        revert.Pending(plan);
        if (c.effectiveSecondsAgo) revert.record->effectiveAt = revert.UtcNow() - *c.effectiveSecondsAgo * 10000000ULL;
        if (c.bootedSince) revert.bootedAt = revert.UtcNow() - 10 * 10000000ULL;
        int looks = 0;
        revert.onPause = [&] {
            if (++looks == c.listensAfterLooks) guard.listeningNow = std::vector<std::uint16_t>{3390};
        };
        std::vector<std::wstring> args = kWatch;
        if (c.apply) args.push_back(L"--apply");
        const ConsoleRun run = RunConsole(args);
        EXPECT_EQ(run.exitCode, 0) << console::Utf8(run.out);
        const JsonValue json = JsonOf(run);
        EXPECT_EQ(json["outcome"].text, L"reverted");
        EXPECT_EQ(json["waitedSeconds"].number, c.waited);
        EXPECT_EQ(Port1(), 3389u);
        EXPECT_EQ(Port2(), 3389u);
        ASSERT_EQ(guard.Of("OpenFirewallPort").size(), 1u);
        EXPECT_EQ(guard.Of("OpenFirewallPort")[0].port, 3389);
        ASSERT_EQ(guard.Of("Restart").size(), 1u) << "on the new port: put back, --apply or not";
        EXPECT_EQ(guard.Of("AwaitListening")[0].port, 3389);
        EXPECT_FALSE(revert.task);
        EXPECT_FALSE(revert.record);
        ASSERT_EQ(revert.events.size(), 1u);
        EXPECT_EQ(revert.events[0].first, revert::RevertEvent::Reverted);
        // The watch's start is logged with when it will revert, once that is known.
        ASSERT_EQ(revert.watchStarts.size(), 1u);
        const std::wstring& started = revert.watchStarts[0].second;
        EXPECT_NE(started.find(c.effectiveSecondsAgo && !c.bootedSince ? L"之前没有管理员通过端口 3390登录远程桌面，将改回端口 3389"
                                                                         : L"端口 3390生效后开始计时 1 分钟"),
                  std::wstring::npos)
            << console::Utf8(started);
    }
}

// Without --apply and with listener tables that cannot be read, the port takes effect at the next
// start of the computer: until then nothing counts down, and the watch only waits.
TEST_F(ConsoleWatchTest, ANewPortNotInEffectYetIsNeverReverted) {
    FakeGuard guard;  // listeners unknown
    FakeRevert revert;
    revert.Pending(kPlan);
    revert.onPause = [&revert] {
        if (revert.nowMs > 1000000 + 3600 * 1000) revert.task.reset();  // after an hour, confirm ran
    };
    const ConsoleRun run = RunConsole(kWatch);
    EXPECT_EQ(JsonOf(run)["outcome"].text, L"cancelled");
    EXPECT_EQ(Port1(), 3390u);
    ASSERT_TRUE(revert.record || !revert.task);
    EXPECT_TRUE(guard.Of("Restart").empty());
}

// Superseded only once the watch saw the new port in the registry: a watch started before the write
// waits for it, and one whose change was never written ends when its task goes.
TEST_F(ConsoleWatchTest, AChangeMadeSinceSupersedesTheRevertButOnlyOnceTheNewPortWasSeen) {
    {
        RegistryRecorder recorder;
        FakeGuard guard(&recorder);
        guard.listeningNow = std::vector<std::uint16_t>{3390};
        FakeRevert revert;
        revert.Pending(kPlan);
        revert.onPause = [&revert] {
            if (revert.pauses.size() == 3) WriteDword(kRdpTcp, kPortValue, 3391);  // another set-port
        };
        const ConsoleRun run = RunConsole(kWatch);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(JsonOf(run)["outcome"].text, L"superseded");
        EXPECT_EQ(Port1(), 3391u);
        EXPECT_EQ(Port2(), 3390u);
        EXPECT_FALSE(revert.task);
        ASSERT_EQ(revert.events.size(), 1u);
        EXPECT_EQ(revert.events[0].first, revert::RevertEvent::Superseded);
    }
    WriteDword(kRdpTcp, kPortValue, 3389);  // the change was never written
    WriteDword(kRdpwdTcp, kPortValue, 3389);
    RegistryRecorder recorder;
    FakeGuard guard(&recorder);
    guard.listeningNow = std::vector<std::uint16_t>{3389};
    FakeRevert revert;
    revert.Pending(kPlan);
    revert.onPause = [&revert] {
        if (revert.pauses.size() == 100) revert.task.reset();  // disarmed
    };
    const ConsoleRun run = RunConsole(kWatch);
    EXPECT_EQ(JsonOf(run)["outcome"].text, L"cancelled");
    EXPECT_EQ(PortWrites(recorder), 0u);
}

// A revert that fails is tried again every 30 seconds until it is done; the first failure is logged.
TEST_F(ConsoleWatchTest, AFailedRevertIsTriedAgainUntilDone) {
    FakeRevert revert;
    RegistryRecorder recorder;
    // The writes fail until two retries have waited.
    recorder.fail = [&revert](const RegCall& call) -> LONG {
        return call.function == "Set" && std::count(revert.pauses.begin(), revert.pauses.end(), 30000u) < 2
                   ? ERROR_ACCESS_DENIED
                   : 0;
    };
    FakeGuard guard(&recorder);
    guard.listeningNow = std::vector<std::uint16_t>{3390};
    guard.listeningAfter = std::vector<std::uint16_t>{3389};
    revert.Pending(kPlan);
    const ConsoleRun run = RunConsole(kWatch);
    EXPECT_EQ(run.exitCode, 0) << console::Utf8(run.out);
    EXPECT_EQ(JsonOf(run)["outcome"].text, L"reverted");
    EXPECT_EQ(std::count(revert.pauses.begin(), revert.pauses.end(), 30000u), 2);
    EXPECT_EQ(Port1(), 3389u);
    EXPECT_FALSE(revert.task);
    ASSERT_EQ(revert.events.size(), 2u);
    EXPECT_EQ(revert.events[0].first, revert::RevertEvent::RevertFailed);
    EXPECT_NE(revert.events[0].second.find(L"改回端口 3389失败"), std::wstring::npos)
        << console::Utf8(revert.events[0].second);
    EXPECT_EQ(revert.events[1].first, revert::RevertEvent::Reverted);
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
