#include "console/GuardCalls.h"

namespace console {

GuardApi RealGuardApi() {
    return {&guard::CheckPortChange,    &guard::CheckTurnOn,
            &guard::CheckTurnOff,       &guard::FirewallSummaryFor,
            &guard::RemoteDesktopListeningPorts, &guard::OpenFirewallPort,
            &guard::CheckNlaChange,       &guard::RemoteDesktopServiceSummary,
            &guard::PrepareRemoteDesktopRestart, &guard::RestartRemoteDesktop,
            &guard::AwaitRemoteDesktopListening, &guard::CloseOwnFirewallPort,
            &guard::ReadFirewallState,          &guard::RemoteDesktopListeningPortsExpecting};
}

GuardApi& Guard() {
    static GuardApi api = RealGuardApi();
    return api;
}

}  // namespace console
