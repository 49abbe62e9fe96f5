#pragma once
// The two steps that put a port into effect, shared by set-port and the watch's revert: the write at
// both keys, and the restart of the Remote Desktop service with a look at where it listens then.

#include <cstdint>
#include <optional>
#include <vector>

#include "console/Reports.h"
#include "guard/ServiceRestart.h"

namespace console {

// Writes the port at the keys that do not hold it yet, each whatever the other's result; the statuses
// go into `writes`.
std::optional<Failure> WritePortKeys(std::int32_t port, std::vector<PortKeyWrite>& writes, bool& wroteSomething);

// The restart, then the listeners. Only a service seen listening on the port counts as applied: a
// restart alone proves nothing.
std::optional<Failure> RestartOnto(std::uint16_t port, const guard::RestartPlan& plan, ApplyOutcome& apply);

// The plan of the restart, or why it cannot be made (checked before anything is written).
std::optional<Failure> PlanRestart(guard::RestartPlan& plan);

}  // namespace console
