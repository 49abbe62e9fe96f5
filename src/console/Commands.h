#pragma once
// The console's commands on the Remote Desktop settings. Each reads what it needs, asks the guard,
// writes (unless told not to) and returns what it found and did; none prints anything.

#include <cstdint>

#include "console/Arguments.h"
#include "console/Reports.h"

namespace console {

StatusReport RunStatus();

// Both port keys to `port`, after the guard's port checks.
ChangeReport RunSetPort(std::int32_t port, const Options& options);

// The local deny flag: 0 to allow connections (enable), 1 to refuse them (disable), after the guard's
// policy checks.
ChangeReport RunSwitch(bool allow, const Options& options);

// The local Network Level Authentication value: 1 to require it (nla on), 0 not to (nla off), after
// the guard's policy check.
ChangeReport RunNla(bool require, const Options& options);

// The revert task's action: waits for a connection from outside on options.to, or puts options.from back.
WatchReport RunWatch(const Options& options);

// Keeps the new port: drops the pending revert, then the old port's own firewall rules when unused.
ConfirmReport RunConfirm(const Options& options);

// How the firewall treats the port (this machine's, or the snapshot's of --from); nothing for the
// configured port.
FirewallReport RunFirewall(std::optional<std::int32_t> port, const Options& options);

}  // namespace console
