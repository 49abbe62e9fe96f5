#include "guard/ServiceRestart.h"

#include "base/Clock.h"

#include <algorithm>

#include "guard/Guard.h"
#include "guard/ServiceHandle.h"

namespace guard {
namespace {

constexpr DWORD kPollMs = 250;

DWORD RealOpen(const std::wstring& name, DWORD rights) {
    const UniqueScHandle service = OpenNamedService(name.c_str(), rights);
    return service ? 0 : GetLastError();
}

// EnumDependentServicesW lists the dependents "in reverse order of start order", so the order given is
// the order to stop them in (learn.microsoft.com/windows/win32/api/winsvc/nf-winsvc-enumdependentservicesw).
DWORD RealActiveDependents(const std::wstring& name, std::vector<std::wstring>& dependents) {
    dependents.clear();
    const UniqueScHandle service = OpenNamedService(name.c_str(), SERVICE_ENUMERATE_DEPENDENTS);
    if (!service) return GetLastError();
    DWORD needed = 0, count = 0;
    if (EnumDependentServicesW(service.Get(), SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return 0;
    if (GetLastError() != ERROR_MORE_DATA) return GetLastError();
    std::vector<std::uint64_t> buffer(needed / sizeof(std::uint64_t) + 1);  // 8-byte elements keep it aligned
    auto* entries = reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data());
    const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
    if (!EnumDependentServicesW(service.Get(), SERVICE_ACTIVE, entries, size, &needed, &count)) return GetLastError();
    for (DWORD i = 0; i < count; ++i) dependents.emplace_back(entries[i].lpServiceName);
    return 0;
}

DWORD RealStop(const std::wstring& name) {
    const UniqueScHandle service = OpenNamedService(name.c_str(), SERVICE_STOP);
    if (!service) return GetLastError();
    SERVICE_STATUS status{};
    if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_SERVICE_NOT_ACTIVE ? 0 : error;
}

DWORD RealStart(const std::wstring& name) {
    const UniqueScHandle service = OpenNamedService(name.c_str(), SERVICE_START);
    if (!service) return GetLastError();
    if (StartServiceW(service.Get(), 0, nullptr)) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_SERVICE_ALREADY_RUNNING ? 0 : error;
}

std::optional<DWORD> RealState(const std::wstring& name) {
    const std::optional<SERVICE_STATUS_PROCESS> status = QueryNamedService(name.c_str());
    if (!status) return std::nullopt;
    return status->dwCurrentState;
}

using base::Poll;

// Waits until the service reports `wanted`, at most ServiceWaitMs(). A service that falls back to
// stopped while it should be starting has failed to start: that is not waited out.
DWORD WaitFor(const std::wstring& name, DWORD wanted) {
    const Poll result = base::PollUntil(ServiceWaitMs(), kPollMs, [&] {
        const std::optional<DWORD> state = ServiceControlCalls().State(name);
        if (state == wanted) return Poll::Done;
        if (wanted == SERVICE_RUNNING && state == static_cast<DWORD>(SERVICE_STOPPED)) return Poll::Failed;
        return Poll::Again;
    });
    if (result == Poll::Done) return 0;
    return result == Poll::Failed ? ERROR_SERVICE_NOT_ACTIVE : WAIT_TIMEOUT;
}

DWORD StopAndWait(const std::wstring& name, RestartOutcome& outcome) {
    outcome.sequence.push_back(L"stop " + name);
    const DWORD error = ServiceControlCalls().Stop(name);
    return error ? error : WaitFor(name, SERVICE_STOPPED);
}

DWORD StartAndWait(const std::wstring& name, RestartOutcome& outcome) {
    outcome.sequence.push_back(L"start " + name);
    const DWORD error = ServiceControlCalls().Start(name);
    return error ? error : WaitFor(name, SERVICE_RUNNING);
}

}  // namespace

ServiceControl RealServiceControl() {
    return {&RealOpen, &RealActiveDependents, &RealStop, &RealStart, &RealState};
}

ServiceControl& ServiceControlCalls() {
    static ServiceControl calls = RealServiceControl();
    return calls;
}

DWORD& ServiceWaitMs() {
    static DWORD ms = kServiceWaitMs;
    return ms;
}

DWORD& ListenWaitMs() {
    static DWORD ms = kListenWaitMs;
    return ms;
}

RestartPlan PrepareRemoteDesktopRestart() {
    const ServiceControl& sc = ServiceControlCalls();
    RestartPlan plan;
    const std::wstring name = kRemoteDesktopServiceName;
    plan.failedService = name;
    plan.error = sc.Open(name, SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS);
    if (plan.error) return plan;
    plan.error = sc.ActiveDependents(name, plan.dependents);
    if (plan.error) return plan;
    for (const std::wstring& dependent : plan.dependents) {
        plan.error = sc.Open(dependent, SERVICE_STOP | SERVICE_START | SERVICE_QUERY_STATUS);
        if (plan.error) {
            plan.failedService = dependent;
            return plan;
        }
    }
    plan.failedService.clear();
    return plan;
}

RestartOutcome RestartRemoteDesktop(const RestartPlan& plan) {
    RestartOutcome outcome;
    const ULONGLONG began = base::ClockCalls().NowMs();
    const std::wstring name = kRemoteDesktopServiceName;
    std::vector<std::wstring> stopped;  // dependents stopped so far, in stop order
    auto fail = [&](RestartStep step, const std::wstring& service, DWORD error) {
        outcome.step = step;
        outcome.failedService = service;
        outcome.error = error;
    };
    for (const std::wstring& dependent : plan.dependents) {
        if (const DWORD error = StopAndWait(dependent, outcome)) {
            fail(RestartStep::Stop, dependent, error);
            break;
        }
        stopped.push_back(dependent);
    }
    if (!outcome.error) {
        if (const DWORD error = StopAndWait(name, outcome)) fail(RestartStep::Stop, name, error);
    }
    // Whatever failed above, the service and the dependents stopped are started again (they are what
    // remote connections need); only the first failure is reported.
    if (const DWORD error = StartAndWait(name, outcome); error && !outcome.error) fail(RestartStep::Start, name, error);
    for (auto it = stopped.rbegin(); it != stopped.rend(); ++it) {
        if (const DWORD error = StartAndWait(*it, outcome); error && !outcome.error)
            fail(RestartStep::Start, *it, error);
    }
    outcome.restarted = outcome.error == 0;
    outcome.seconds = static_cast<double>(base::ClockCalls().NowMs() - began) / 1000.0;
    return outcome;
}

std::optional<std::vector<std::uint16_t>> AwaitRemoteDesktopListening(std::uint16_t port) {
    std::optional<std::vector<std::uint16_t>> ports;
    base::PollUntil(ListenWaitMs(), kPollMs, [&] {
        ports = RemoteDesktopListeningPortsExpecting(port);
        const bool onPort = ports && std::find(ports->begin(), ports->end(), port) != ports->end();
        return onPort ? Poll::Done : Poll::Again;
    });
    return ports;
}

}  // namespace guard
