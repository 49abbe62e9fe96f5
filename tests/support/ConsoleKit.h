#pragma once
// Test doubles for the console program: a sink that keeps both streams, and a guard whose checks
// answer from the test and log every call (in order, with the registry calls made so far, so a test
// can tell what came first).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/Console.h"
#include "console/GuardCalls.h"
#include "support/JsonReader.h"
#include "support/RegistryKit.h"
#include "support/RegistryRecorder.h"

namespace testkit {

// Every profile current and with the same verdict: what the console's status and the watch then see.
guard::firewall::Assessment AssessmentOf(guard::FirewallVerdict verdict, long protocol);

class RecordingSink final : public console::OutputSink {
public:
    void Out(std::wstring_view text) override { out += text; }
    void Err(std::wstring_view text) override { err += text; }
    std::wstring out;
    std::wstring err;
};

// What the guard was asked, in order. `registryCallsBefore` is the recorder's call count at that time.
struct GuardCall {
    std::string function;
    int port = -1;         // the port asked about, -1 when none
    int currentPort = -1;  // CheckPortChange and CheckTurnOn: the current port given, -1 for none
    std::optional<bool> require;  // CheckNlaChange: what was asked for
    size_t registryCallsBefore = 0;
};

// Installs itself as console::Guard() for its lifetime; the real table is put back after.
class FakeGuard {
public:
    explicit FakeGuard(const RegistryRecorder* recorder = nullptr);
    ~FakeGuard();
    FakeGuard(const FakeGuard&) = delete;
    FakeGuard& operator=(const FakeGuard&) = delete;

    std::vector<guard::Hazard> portHazards;
    std::vector<guard::Hazard> turnOnHazards;
    std::vector<guard::Hazard> turnOffHazards;
    std::vector<guard::Hazard> nlaHazards;
    // Runs inside every check, as another writer would between the command's first reading and its lock.
    std::function<void()> whileChecking;
    // The firewall's verdict for TCP and UDP on the port asked about, and the program's own rules.
    guard::FirewallVerdict verdict = guard::FirewallVerdict::Unknown;
    std::optional<std::vector<guard::firewall::Rule>> ownRules;
    std::optional<std::vector<std::uint16_t>> listening;
    // The watch's look at where Remote Desktop listens now.
    std::optional<std::vector<std::uint16_t>> listeningNow;
    guard::FirewallOpening opening{};
    // firewall: the state this machine's firewall is read as.
    guard::firewall::State firewallState;
    guard::ServiceSummary service;  // status: nothing known unless a test sets it
    // set-port --apply: what may be restarted, how the restart went, the ports seen after it.
    guard::RestartPlan restartPlan;
    guard::RestartOutcome restartOutcome{true};
    std::optional<std::vector<std::uint16_t>> listeningAfter;
    guard::FirewallClosing closing;  // confirm: the old port's own rules taken away
    std::vector<GuardCall> calls;

    std::vector<GuardCall> Of(const std::string& function) const;

private:
    void Log(const std::string& function, int port, int currentPort = -1);
    const RegistryRecorder* m_recorder;
};

// Runs the console's command line in-process.
struct ConsoleRun {
    int exitCode = -1;
    std::wstring out;
    std::wstring err;
    std::optional<JsonValue> Json() const;  // stdout parsed as JSON
};
ConsoleRun RunConsole(const std::vector<std::wstring>& args);
// A --json run's one object: nothing may go to standard error, and stdout must parse (the test fails
// otherwise and gets an empty value).
JsonValue JsonOf(const ConsoleRun& run);

// Registry writes among the recorded calls (creates and value writes).
size_t WritesIn(const RegistryRecorder& recorder);

}  // namespace testkit
