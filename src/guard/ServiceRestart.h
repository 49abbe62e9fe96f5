#pragma once
// Restarting the Remote Desktop service (TermService) so that a new port takes effect at once: its
// active dependents stopped first, the service stopped and started, the dependents started again.
// Every wait is bounded and goes by the program's clock (base/Clock.h); the service manager's calls
// go through one replaceable table.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "guard/ServiceHandle.h"

namespace guard {

// The service manager's calls the restart makes. Each returns 0 or the Windows error code.
struct ServiceControl {
    // Opens the service with exactly these rights and closes it again: may the caller do this?
    std::function<DWORD(const std::wstring& name, DWORD rights)> Open;
    // The service's running dependents, in the order Windows lists them.
    std::function<DWORD(const std::wstring& name, std::vector<std::wstring>& dependents)> ActiveDependents;
    std::function<DWORD(const std::wstring& name)> Stop;   // 0 also when it was not running
    std::function<DWORD(const std::wstring& name)> Start;  // 0 also when it already runs
    // SERVICE_RUNNING, SERVICE_STOPPED, ...; nothing when it cannot be read.
    std::function<std::optional<DWORD>(const std::wstring& name)> State;
};
ServiceControl RealServiceControl();
// The table in use; tests assign to it and put RealServiceControl() back.
ServiceControl& ServiceControlCalls();

// How long each stop and each start is waited for (30 s); tests shorten it.
inline constexpr DWORD kServiceWaitMs = 30000;
DWORD& ServiceWaitMs();
// How long, after the restart, the service is given to open its listener (10 s); tests shorten it.
inline constexpr DWORD kListenWaitMs = 10000;
DWORD& ListenWaitMs();

// What may be done, checked before anything is written.
struct RestartPlan {
    DWORD error = 0;                      // 0 when the caller may restart the service and its dependents
    std::wstring failedService;           // the service the error is about
    std::vector<std::wstring> dependents; // the running dependents, in the order they are stopped
};
RestartPlan PrepareRemoteDesktopRestart();

enum class RestartStep { None, Stop, Start };

struct RestartOutcome {
    bool restarted = false;     // every service stopped and was seen running again
    DWORD error = 0;            // when not: the Windows error, WAIT_TIMEOUT for a wait that ran out
    RestartStep step = RestartStep::None;
    std::wstring failedService;
    double seconds = 0;         // from the first stop to the last start (or the failure)
    std::vector<std::wstring> sequence;  // "stop X" / "start X", as asked of the service manager
};
RestartOutcome RestartRemoteDesktop(const RestartPlan& plan);

// The ports the Remote Desktop service listens on once it runs again, waited for until `port` is among
// them or ListenWaitMs() has passed; nothing when none can be told.
std::optional<std::vector<std::uint16_t>> AwaitRemoteDesktopListening(std::uint16_t port);

}  // namespace guard
