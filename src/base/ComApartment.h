#pragma once
// COM for the calls of the console and the guard that need it (the firewall, the Task Scheduler):
// initialised once per process on the calling thread, single-threaded apartment as the windows use it.

namespace base {

// S_FALSE or RPC_E_CHANGED_MODE from a second initialisation still leave COM usable on this thread,
// so the result is not kept.
void EnsureComApartment();

}  // namespace base
