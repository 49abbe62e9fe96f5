// Taking the program's own rules for a port away again, once nothing needs that port any more (the
// revert's confirmation, for the port left behind). Only the program's own rules for exactly that port
// (group, name and LocalPorts) are removed, and only by a name no other rule shares; the caller makes sure
// nothing listens or is configured there.

#include "guard/Guard.h"
#include "guard/Probes.h"

namespace guard {

FirewallClosing CloseOwnFirewallPort(std::uint16_t port) {
    FirewallClosing closing;
    const firewall::State state = FirewallReadCall()();
    if (!state.known) {
        closing.readable = false;
        return closing;
    }
    const FirewallStore& store = FirewallStoreCalls();
    for (const firewall::Rule& rule : state.rules) {
        if (!firewall::IsOwnRuleFor(rule, port)) continue;
        if (firewall::RulesNamed(state, rule.name) != 1) continue;
        const long hr = store.Remove(rule.name);
        if (hr < 0) {
            if (closing.hresult >= 0) closing.hresult = hr;
            continue;
        }
        closing.removed.push_back(rule.name);
    }
    return closing;
}

}  // namespace guard
