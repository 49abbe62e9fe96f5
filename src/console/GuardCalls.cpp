#include "console/GuardCalls.h"

namespace console {

GuardApi RealGuardApi() {
    return {&guard::CheckPortChange, &guard::CheckTurnOn,  &guard::CheckTurnOff, &guard::FirewallVerdictFor,
            &guard::RemoteDesktopListeningPorts, &guard::AllowInboundTcp};
}

GuardApi& Guard() {
    static GuardApi api = RealGuardApi();
    return api;
}

}  // namespace console
