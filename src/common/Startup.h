#pragma once
// Program-wide state of the start-up sequence.

namespace common {

// Set by the splash's timer tick just before it loads the main window; the main window's load
// handler clears it as the first step of its one-time body, so that body runs exactly once.
inline bool StartupPending = false;

}  // namespace common
