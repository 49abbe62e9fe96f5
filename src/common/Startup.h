#pragma once
// Program-wide state of the start-up sequence.

namespace common {

// Set by the splash's timer tick just before it loads the main window; the main window's load
// handler clears it as the first step of its one-time body, so that body runs exactly once.
inline bool StartupPending = false;

// Where the main window's load body reports its progress (a bar width in twips). The splash points
// it at its bar while it is loaded and clears it when it goes, so the main window never needs to know
// about the splash.
using StartupProgressHook = void (*)(int widthTw);
inline StartupProgressHook StartupProgress = nullptr;

inline void ShowStartupProgress(int widthTw) {
    if (StartupProgress) StartupProgress(widthTw);
}

}  // namespace common
