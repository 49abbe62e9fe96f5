// The Remote Desktop service's restart for set-port --apply, through the service manager's table with a
// scripted service manager and clock: the order of dependents, bounded waits, rights checked first, and
// which listeners count once the service runs again.

#include <gtest/gtest.h>

#include "base/Clock.h"

#include <map>

#include "guard/Guard.h"
#include "guard/Probes.h"
#include "guard/ServiceRestart.h"

namespace {

using base::ScopedSeam;
using Names = std::vector<std::wstring>;
using Ports = std::vector<std::uint16_t>;

// A service manager that answers from a table; a service named in `hangs` never leaves STOP_PENDING,
// one in `failsToStart` falls back to STOPPED. The clock only moves when the program pauses.
class ScriptedServices {
public:
    ScriptedServices() {
        guard::ServiceControl& sc = guard::ServiceControlCalls();
        sc.Open = [this](const std::wstring& name, DWORD rights) -> DWORD {
            opened.push_back({name, rights});
            if (!states.count(name)) return ERROR_SERVICE_DOES_NOT_EXIST;
            return denied.count(name) ? ERROR_ACCESS_DENIED : 0;
        };
        sc.ActiveDependents = [this](const std::wstring&, Names& out) -> DWORD {
            out = dependents;
            return 0;
        };
        sc.Stop = [this](const std::wstring& name) -> DWORD {
            log.push_back(L"stop " + name);
            states[name] = hangs.count(name) ? SERVICE_STOP_PENDING : SERVICE_STOPPED;
            return 0;
        };
        sc.Start = [this](const std::wstring& name) -> DWORD {
            log.push_back(L"start " + name);
            if (states[name] == SERVICE_STOP_PENDING) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
            states[name] = failsToStart.count(name) ? SERVICE_STOPPED : SERVICE_RUNNING;
            return 0;
        };
        sc.State = [this](const std::wstring& name) -> std::optional<DWORD> { return states.at(name); };
        base::ClockCalls().Pause = [this](DWORD ms) { now += ms; };
        base::ClockCalls().NowMs = [this] { return now; };
        guard::ServiceWaitMs() = 2000;
        guard::ListenWaitMs() = 1000;
    }
    ~ScriptedServices() {
        guard::ServiceControlCalls() = guard::RealServiceControl();
        base::ClockCalls() = base::RealClock();
        guard::ServiceWaitMs() = guard::kServiceWaitMs;
        guard::ListenWaitMs() = guard::kListenWaitMs;
    }

    std::map<std::wstring, DWORD> states{{L"TermService", SERVICE_RUNNING}};
    Names dependents;
    std::map<std::wstring, bool> hangs, failsToStart, denied;
    std::vector<std::pair<std::wstring, DWORD>> opened;
    Names log;
    ULONGLONG now = 1000;
};

TEST(ServiceRestartTest, DependentsStopInTheOrderWindowsListsThemAndStartInReverse) {
    struct Case {
        const char* name;
        Names dependents;
        Names expected;
    };
    const Case cases[] = {
        {"no dependents", {}, {L"stop TermService", L"start TermService"}},
        {"one", {L"UmRdpService"},
         {L"stop UmRdpService", L"stop TermService", L"start TermService", L"start UmRdpService"}},
        {"two", {L"B", L"A"},
         {L"stop B", L"stop A", L"stop TermService", L"start TermService", L"start A", L"start B"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServices services;
        services.dependents = c.dependents;
        for (const std::wstring& d : c.dependents) services.states[d] = SERVICE_RUNNING;
        const guard::RestartPlan plan = guard::PrepareRemoteDesktopRestart();
        ASSERT_EQ(plan.error, 0u);
        EXPECT_EQ(plan.dependents, c.dependents);
        const guard::RestartOutcome outcome = guard::RestartRemoteDesktop(plan);
        EXPECT_TRUE(outcome.restarted);
        EXPECT_EQ(outcome.error, 0u);
        EXPECT_EQ(services.log, c.expected);
        EXPECT_EQ(outcome.sequence, c.expected);
        for (const auto& [name, state] : services.states) EXPECT_EQ(state, static_cast<DWORD>(SERVICE_RUNNING));
    }
}

TEST(ServiceRestartTest, RightsAreCheckedOnTheServiceAndEachDependentBeforeAnything) {
    struct Case {
        const char* name;
        bool termServiceExists;
        std::wstring denied;
        DWORD error;
        std::wstring failedService;
    };
    const Case cases[] = {
        {"all allowed", true, L"", 0, L""},
        {"service missing", false, L"", ERROR_SERVICE_DOES_NOT_EXIST, L"TermService"},
        {"service denied", true, L"TermService", ERROR_ACCESS_DENIED, L"TermService"},
        {"dependent denied", true, L"UmRdpService", ERROR_ACCESS_DENIED, L"UmRdpService"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServices services;
        if (!c.termServiceExists) services.states.clear();
        services.dependents = {L"UmRdpService"};
        services.states[L"UmRdpService"] = SERVICE_RUNNING;
        if (!c.denied.empty()) services.denied[c.denied] = true;
        const guard::RestartPlan plan = guard::PrepareRemoteDesktopRestart();
        EXPECT_EQ(plan.error, c.error);
        EXPECT_EQ(plan.failedService, c.failedService);
        EXPECT_TRUE(services.log.empty()) << "nothing is stopped or started while checking";
        ASSERT_FALSE(services.opened.empty());
        EXPECT_EQ(services.opened[0].second, static_cast<DWORD>(SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS |
                                                                SERVICE_ENUMERATE_DEPENDENTS));
    }
}

TEST(ServiceRestartTest, AStopThatNeverEndsIsReportedAfterTheBoundAndTheStoppedDependentsStartAgain) {
    ScriptedServices services;
    services.dependents = {L"UmRdpService"};
    services.states[L"UmRdpService"] = SERVICE_RUNNING;
    services.hangs[L"TermService"] = true;
    const guard::RestartOutcome outcome = guard::RestartRemoteDesktop(guard::PrepareRemoteDesktopRestart());
    EXPECT_FALSE(outcome.restarted);
    EXPECT_EQ(outcome.error, static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(outcome.step, guard::RestartStep::Stop);
    EXPECT_EQ(outcome.failedService, L"TermService");
    EXPECT_LE(outcome.seconds, 2.5) << "waited no longer than the bound (2 s here)";
    EXPECT_GE(outcome.seconds, 2.0);
    EXPECT_EQ(services.log, (Names{L"stop UmRdpService", L"stop TermService", L"start TermService",
                                   L"start UmRdpService"}));
    EXPECT_EQ(services.states[L"UmRdpService"], static_cast<DWORD>(SERVICE_RUNNING));
}

TEST(ServiceRestartTest, AServiceThatFallsBackToStoppedHasFailedToStart) {
    ScriptedServices services;
    services.failsToStart[L"TermService"] = true;
    const guard::RestartOutcome outcome = guard::RestartRemoteDesktop(guard::PrepareRemoteDesktopRestart());
    EXPECT_FALSE(outcome.restarted);
    EXPECT_EQ(outcome.error, static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));
    EXPECT_EQ(outcome.step, guard::RestartStep::Start);
    EXPECT_LT(services.now, 1000u + 2000u) << "not waited out";
}

guard::TcpListener Listener(std::uint16_t port, DWORD pid, const wchar_t* module = L"") { return {port, pid, module}; }

TEST(ServiceRestartTest, AfterTheRestartAListenerWithNoNamedOwnerCountsOnlyOnThePortAskedFor) {
    struct Case {
        const char* name;
        std::vector<guard::TcpListener> listeners;
        std::optional<Ports> expected;
    };
    const Case cases[] = {
        {"owner unnamed, port asked for", {Listener(3390, 0)}, Ports{3390}},
        {"owner unnamed, other port", {Listener(3389, 0)}, std::nullopt},
        {"another service's module", {Listener(3390, 0, L"OtherSvc")}, std::nullopt},
        {"another process", {Listener(3390, 4321)}, std::nullopt},
        {"the service's process", {Listener(3391, 77), Listener(3390, 0)}, Ports{3390, 3391}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedSeam table(guard::ListenersCall(), [&] { return std::optional(c.listeners); });
        ScopedSeam service(guard::RemoteDesktopStatusCall(),
                           [] { return std::optional(guard::ServiceStatus{SERVICE_RUNNING, 77}); });
        EXPECT_EQ(guard::RemoteDesktopListeningPortsExpecting(3390), c.expected);
        // status keeps its rule: an owner it cannot name is nobody's.
        const std::optional<Ports> plain = guard::RemoteDesktopListeningPorts();
        EXPECT_TRUE(!plain || std::find(plain->begin(), plain->end(), 3390) == plain->end());
    }
}

TEST(ServiceRestartTest, TheListenerIsWaitedForWithinItsBound) {
    struct Case {
        const char* name;
        int appearsOnRead;  // 0: never
        std::optional<Ports> expected;
        ULONGLONG maxWaitedMs;
    };
    const Case cases[] = {
        {"at once", 1, Ports{3390}, 0},
        {"on the third look", 3, Ports{3390}, 500},
        {"never", 0, std::nullopt, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServices services;
        int reads = 0;
        ScopedSeam table(guard::ListenersCall(), [&] {
            ++reads;
            std::vector<guard::TcpListener> listeners;
            if (c.appearsOnRead && reads >= c.appearsOnRead) listeners.push_back(Listener(3390, 0));
            return std::optional(listeners);
        });
        ScopedSeam service(guard::RemoteDesktopStatusCall(),
                           [] { return std::optional(guard::ServiceStatus{SERVICE_RUNNING, 77}); });
        EXPECT_EQ(guard::AwaitRemoteDesktopListening(3390), c.expected);
        EXPECT_LE(services.now - 1000, c.maxWaitedMs);
        if (!c.appearsOnRead) {
            EXPECT_EQ(services.now - 1000, 1000u) << "gave up exactly at the bound";
        }
    }
}

TEST(ServiceRestartTest, WinesOwnRemoteDesktopServiceMayBeRestartedAndHasNoDependents) {
    const guard::RestartPlan plan = guard::PrepareRemoteDesktopRestart();
    EXPECT_EQ(plan.error, 0u) << "every process is an administrator under Wine";
    EXPECT_TRUE(plan.dependents.empty()) << "Wine's EnumDependentServicesW lists none";
}

}  // namespace
