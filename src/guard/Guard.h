#pragma once
// The lockout guard: checks, made just before a command writes, for what would cut the administrator
// off from the server although the write itself succeeds (a port another program holds or Windows
// forbids, a firewall that does not admit the port, a Group Policy value that overrides the local
// switch). Only hazards that were actually seen are reported: a check that cannot tell says nothing.
// The checks are quick, send nothing over the network and never wait on a service.
//
// The hazards and their text are in Hazard.h, the firewall's decision in FirewallModel.h (both free
// of Windows calls); each outside effect is a seam of Probes.h.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "guard/FirewallModel.h"
#include "guard/Hazard.h"

namespace guard {

// Before the port is changed to newPort; currentPort is the port the caller shows as current (a port
// equal to it, or one held by the Remote Desktop service itself, is no hazard).
std::vector<Hazard> CheckPortChange(std::uint16_t newPort, std::optional<std::uint16_t> currentPort);
// Before connections are turned on (policy, and the firewall on the current port when known).
std::vector<Hazard> CheckTurnOn(std::optional<std::uint16_t> currentPort);
// Before connections are turned off (policy).
std::vector<Hazard> CheckTurnOff();

// What the console's status reports (FirewallVerdict: Admits, Closed, Unknown).
FirewallVerdict FirewallVerdictFor(std::uint16_t port);
// The TCP ports the Remote Desktop service listens on now; nothing when Windows does not tell (the
// service is not running, or its process or its listeners cannot be found).
std::optional<std::vector<std::uint16_t>> RemoteDesktopListeningPorts();

// Adds (or updates) the program's own inbound allow rule for TCP on the port in the current profiles,
// then reads it back. done is true only when the rule was read back as written.
struct FirewallChange {
    bool done = false;
    long hresult = 0;  // the first failing call's HRESULT when not done (0 when it read back wrong)
};
[[nodiscard]] FirewallChange AllowInboundTcp(std::uint16_t port);

}  // namespace guard
