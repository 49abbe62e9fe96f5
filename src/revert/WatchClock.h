#pragma once
// The watch's pauses and its clock, replaceable so tests run a 10-minute wait in no time.

#include <windows.h>

#include <functional>

namespace revert {

struct WatchClock {
    std::function<void(DWORD ms)> Pause;
    std::function<ULONGLONG()> NowMs;  // any monotonic milliseconds
};
WatchClock RealWatchClock();
WatchClock& WatchClockCalls();

// How often the watch looks for a connection (at most every 5 s: a connection is seen while the
// administrator is still in it).
inline constexpr DWORD kWatchIntervalMs = 3000;

}  // namespace revert
