#include "support/ConsoleKit.h"

#include <gtest/gtest.h>

#include "console/Output.h"

namespace testkit {

guard::firewall::Assessment AssessmentOf(guard::FirewallVerdict verdict, long protocol) {
    guard::firewall::Assessment assessment;
    assessment.protocol = protocol;
    assessment.known = true;
    for (long type : guard::firewall::kProfileBits)
        assessment.profiles.push_back({type, true, verdict, guard::firewall::Reason::None, {}});
    return assessment;
}

FakeGuard::FakeGuard(const RegistryRecorder* recorder) : m_recorder(recorder) {
    console::GuardApi& api = console::Guard();
    api.CheckPortChange = [this](std::uint16_t port, std::optional<std::uint16_t> current) {
        Log("CheckPortChange", port, current ? *current : -1);
        if (whileChecking) whileChecking();
        return portHazards;
    };
    api.CheckTurnOn = [this](std::optional<std::uint16_t> current) {
        Log("CheckTurnOn", -1, current ? *current : -1);
        if (whileChecking) whileChecking();
        return turnOnHazards;
    };
    api.CheckTurnOff = [this] {
        Log("CheckTurnOff", -1);
        if (whileChecking) whileChecking();
        return turnOffHazards;
    };
    api.FirewallSummaryFor = [this](std::optional<std::uint16_t> port) {
        Log("FirewallSummaryFor", port ? *port : -1);
        guard::FirewallSummary summary;
        if (port) {
            summary.tcp = AssessmentOf(verdict, guard::firewall::kProtocolTcp);
            summary.udp = AssessmentOf(verdict, guard::firewall::kProtocolUdp);
        }
        summary.ownRules = ownRules;
        return summary;
    };
    api.RemoteDesktopListeningPorts = [this] {
        Log("RemoteDesktopListeningPorts", -1);
        return listening;
    };
    api.OpenFirewallPort = [this](std::uint16_t port, bool whatIf) {
        Log(whatIf ? "PlanFirewallPort" : "OpenFirewallPort", port);
        if (whatIf && opening.failure == guard::OpenFailure::None) {
            guard::FirewallOpening plan = opening;
            plan.admitted = false;
            plan.alreadyAdmitted = verdict == guard::FirewallVerdict::Admits;
            return plan;
        }
        return opening;
    };
    api.ListeningPortsExpecting = [this](std::uint16_t port) {
        Log("ListeningPortsExpecting", port);
        return listeningNow;
    };
    api.ReadFirewallState = [this] {
        Log("ReadFirewallState", -1);
        return firewallState;
    };
    api.CheckNlaChange = [this](bool require) {
        Log("CheckNlaChange", -1);
        if (whileChecking) whileChecking();
        calls.back().require = require;
        return nlaHazards;
    };
    api.PrepareRestart = [this] {
        Log("PrepareRestart", -1);
        return restartPlan;
    };
    api.Restart = [this](const guard::RestartPlan&) {
        Log("Restart", -1);
        return restartOutcome;
    };
    api.AwaitListening = [this](std::uint16_t port) {
        Log("AwaitListening", port);
        return listeningAfter;
    };
    api.CloseOwnFirewallPort = [this](std::uint16_t port) {
        Log("CloseOwnFirewallPort", port);
        return closing;
    };
    api.RemoteDesktopServiceSummary = [this] {
        Log("RemoteDesktopServiceSummary", -1);
        return service;
    };
}

FakeGuard::~FakeGuard() { console::Guard() = console::RealGuardApi(); }

void FakeGuard::Log(const std::string& function, int port, int currentPort) {
    calls.push_back({function, port, currentPort, {}, m_recorder ? m_recorder->calls.size() : 0});
}

std::vector<GuardCall> FakeGuard::Of(const std::string& function) const {
    std::vector<GuardCall> matching;
    for (const GuardCall& call : calls)
        if (call.function == function) matching.push_back(call);
    return matching;
}

std::optional<JsonValue> ConsoleRun::Json() const { return ParseJson(console::Utf8(out)); }

JsonValue JsonOf(const ConsoleRun& run) {
    EXPECT_EQ(run.err, L"") << "nothing on stderr under --json";
    const std::optional<JsonValue> json = run.Json();
    EXPECT_TRUE(json) << console::Utf8(run.out);
    return json ? *json : JsonValue{};
}

ConsoleRun RunConsole(const std::vector<std::wstring>& args) {
    RecordingSink sink;
    ConsoleRun run;
    run.exitCode = console::Run(args, sink);
    run.out = sink.out;
    run.err = sink.err;
    return run;
}

size_t WritesIn(const RegistryRecorder& recorder) {
    return recorder.Of("Create").size() + recorder.Of("Set").size();
}

}  // namespace testkit
