// rdpport.com set-port --apply against a Remote Desktop service that really listens: the stand-in
// (tests/standin) as the prefix's TermService. Also what the system's TCP table shows of connections to
// it from another machine (a network namespace, driver/RemotePeer.h) and from the server itself, which
// a watcher of Remote Desktop connections builds on; and the stand-in's scope itself, which must leave
// Wine's own TermService exactly as it found it.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "ConsoleCase.h"
#include "driver/ProgramProcess.h"
#include "driver/RemotePeer.h"
#include "driver/TcpTable.h"
#include "support/PortListener.h"
#include "support/ServiceControl.h"
#include "support/StandInRemoteDesktop.h"

namespace {

using namespace e2e;
using namespace testkit;
using namespace std::chrono_literals;
using Dependent = ScopedStandInRemoteDesktop::Dependent;

constexpr DWORD kOk = ERROR_SUCCESS;

class E2EStandIn : public E2EConsoleCase {
protected:
    void SetUp() override {
        E2EConsoleCase::SetUp();  // PortNumber 3389 at both keys
        ASSERT_FALSE(StandInProgramPath().empty()) << "RDPPORT_STANDIN is not set";
    }
};

std::string Describe(const std::vector<TcpRow>& rows) {
    std::ostringstream out;
    for (const TcpRow& row : rows) {
        out << row.localAddress << ':' << row.localPort << " <- " << row.remoteAddress << ':' << row.remotePort
            << " state " << row.state << " pid " << (row.ownerPid ? std::to_string(*row.ownerPid) : "-") << '\n';
    }
    return out.str();
}

template <class Predicate>
const TcpRow* Find(const std::vector<TcpRow>& rows, Predicate&& wanted) {
    const auto it = std::find_if(rows.begin(), rows.end(), wanted);
    return it == rows.end() ? nullptr : &*it;
}

// An established connection from the peer to the port (its own port is the peer's choice).
bool IsFromThePeer(const TcpRow& row, std::uint16_t port) {
    return row.state == MIB_TCP_STATE_ESTAB && row.localAddress == RemotePeer::HostAddress() &&
           row.localPort == port && row.remoteAddress == RemotePeer::PeerAddress();
}

bool Joins(const TcpRow& row, const char* address, std::uint16_t localPort, std::uint16_t remotePort) {
    return row.localAddress == address && row.remoteAddress == address && row.localPort == localPort &&
           row.remotePort == remotePort;
}

TEST_F(E2EStandIn, WinesOwnServiceIsPutBackExactlyAsFoundStoppedOrRunning) {
    for (const DWORD found : {SERVICE_STOPPED, SERVICE_RUNNING}) {
        SCOPED_TRACE(found == SERVICE_RUNNING ? "found running" : "found stopped");
        const ScopedServiceState restore;
        ASSERT_EQ(found == SERVICE_RUNNING ? StartAndWait(kRemoteDesktopService, 10s)
                                           : StopAndWait(kRemoteDesktopService, 10s),
                  kOk);
        const std::optional<ServiceConfig> wine = ConfigOf(kRemoteDesktopService);
        ASSERT_TRUE(wine);
        EXPECT_EQ(wine->binaryPath, kWineRemoteDesktopBinary);
        EXPECT_EQ(wine->type, kWineRemoteDesktopType);
        {
            const ScopedStandInRemoteDesktop standIn(StandInProgramPath(), Dependent::UmRdpService);
            ASSERT_EQ(standIn.Status(), kOk);
            EXPECT_TRUE(RunsTheStandIn(kRemoteDesktopService));
            EXPECT_EQ(StateOf(kRemoteDesktopDependent), std::optional<DWORD>(SERVICE_RUNNING));
            EXPECT_TRUE(LoopbackConnection(3389).Connected()) << "the stand-in listens on PortNumber";
        }
        EXPECT_EQ(ConfigOf(kRemoteDesktopService), wine);
        EXPECT_EQ(StateOf(kRemoteDesktopService), std::optional<DWORD>(found));
        EXPECT_FALSE(ConfigOf(kRemoteDesktopDependent)) << "UmRdpService is removed";
    }
}

TEST_F(E2EStandIn, ALeftoverOfAKilledRunIsPutBackToWinesOwn) {
    const ScopedServiceState restore;
    const std::optional<ServiceConfig> wine = ConfigOf(kRemoteDesktopService);
    ASSERT_TRUE(wine);
    auto killedRun = std::make_unique<ScopedStandInRemoteDesktop>(StandInProgramPath(), Dependent::UmRdpService);
    ASSERT_EQ(killedRun->Status(), kOk);
    static_cast<void>(killedRun.release());  // its destructor never runs, as when its process is killed
    ASSERT_TRUE(RunsTheStandIn(kRemoteDesktopService));

    RepairLeftoverStandIn();
    EXPECT_EQ(ConfigOf(kRemoteDesktopService), wine);
    EXPECT_EQ(StateOf(kRemoteDesktopService), std::optional<DWORD>(SERVICE_STOPPED));
    EXPECT_FALSE(ConfigOf(kRemoteDesktopDependent));
}

TEST_F(E2EStandIn, TheStandInStopsWithTheWinsockErrorWhenItsPortIsTaken) {
    const ListeningSocket other;
    ASSERT_NE(other.Port(), 0);
    ASSERT_EQ(SeedRemoteDesktop(other.Port(), 1), ERROR_SUCCESS);
    const ScopedStandInRemoteDesktop standIn(StandInProgramPath());
    EXPECT_EQ(standIn.Status(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    const std::optional<SERVICE_STATUS> status = StatusOf(kRemoteDesktopService);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status->dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(status->dwServiceSpecificExitCode, static_cast<DWORD>(WSAEADDRINUSE));
}

TEST_F(E2EStandIn, ApplyMovesTheListenerToTheNewPortWhereItAcceptsConnections) {
    const ScopedStandInRemoteDesktop standIn(StandInProgramPath(), Dependent::UmRdpService);
    ASSERT_EQ(standIn.Status(), kOk);
    ASSERT_TRUE(LoopbackConnection(3389).Connected());

    const testkit::JsonValue json = Json(Run({L"set-port", L"3390", L"--apply", L"--json"}, 0));
    EXPECT_TRUE(json["applied"].boolean);
    const auto& seen = json["listeningAfter"].items;
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const testkit::JsonValue& p) { return p.number == 3390; }));
    EXPECT_TRUE(BothPortKeysHold(3390));
    EXPECT_TRUE(RunsTheStandIn(kRemoteDesktopService));
    EXPECT_TRUE(LoopbackConnection(3390).Connected()) << "the restarted service listens on the new port";
    EXPECT_FALSE(LoopbackConnection(3389).Connected()) << "and no longer on the old one";

    RemotePeer peer;
    const RemotePeer::State peerState = peer.Up();
    if (peerState == RemotePeer::State::Unavailable) GTEST_SKIP() << "no remote machine here: " << peer.Why();
    ASSERT_EQ(peerState, RemotePeer::State::Up) << peer.Why();
    EXPECT_TRUE(peer.Connect(3390, 1)) << peer.Why();
}

// The ground truth a watcher of Remote Desktop connections builds on, under Wine 8 (see
// driver/TcpTable.h): both tables list a connection to the service as established, with the service's
// port as the local port and where it came from as the remote address; a connection from the server
// itself shows as two rows, the service's end and the client's; and the owner table names no process
// (0), not even this one for its own end.
TEST_F(E2EStandIn, ConnectionsFromThePeerAndFromLoopbackAreSeenEstablished) {
    RemotePeer peer;
    const RemotePeer::State peerState = peer.Up();
    if (peerState == RemotePeer::State::Unavailable) GTEST_SKIP() << "no remote machine here: " << peer.Why();
    ASSERT_EQ(peerState, RemotePeer::State::Up) << peer.Why();
    const ScopedStandInRemoteDesktop standIn(StandInProgramPath());
    ASSERT_EQ(standIn.Status(), kOk);
    const std::optional<std::vector<TcpRow>> before = ReadTcpTable(TcpTableKind::BasicAll);
    ASSERT_TRUE(before);
    ASSERT_FALSE(Find(*before, [](const TcpRow& row) { return IsFromThePeer(row, 3389); })) << Describe(*before);

    ASSERT_TRUE(peer.Connect(3389, 30)) << peer.Why();
    const LoopbackConnection local(3389);
    ASSERT_TRUE(local.Connected());
    for (const TcpTableKind kind : {TcpTableKind::OwnerPidAll, TcpTableKind::BasicAll}) {
        SCOPED_TRACE(kind == TcpTableKind::OwnerPidAll ? "TCP_TABLE_OWNER_PID_ALL" : "TCP_TABLE_BASIC_ALL");
        const std::optional<std::vector<TcpRow>> rows = ReadTcpTable(kind);
        ASSERT_TRUE(rows);
        const TcpRow* fromPeer = Find(*rows, [](const TcpRow& row) { return IsFromThePeer(row, 3389); });
        const TcpRow* serviceEnd =
            Find(*rows, [&](const TcpRow& row) { return Joins(row, "127.0.0.1", 3389, local.LocalPort()); });
        const TcpRow* clientEnd =
            Find(*rows, [&](const TcpRow& row) { return Joins(row, "127.0.0.1", local.LocalPort(), 3389); });
        ASSERT_TRUE(fromPeer && serviceEnd && clientEnd) << Describe(*rows);
        EXPECT_EQ(serviceEnd->state, static_cast<DWORD>(MIB_TCP_STATE_ESTAB));
        EXPECT_EQ(clientEnd->state, static_cast<DWORD>(MIB_TCP_STATE_ESTAB));
        const std::optional<DWORD> owner = kind == TcpTableKind::OwnerPidAll ? std::optional<DWORD>(0) : std::nullopt;
        for (const TcpRow* row : {fromPeer, serviceEnd, clientEnd}) EXPECT_EQ(row->ownerPid, owner) << Describe(*rows);
    }
}

}  // namespace
