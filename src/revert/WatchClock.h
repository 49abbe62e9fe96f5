#pragma once
// The watch's pauses and its clock, replaceable so tests run a 10-minute wait in no time.

#include <windows.h>

#include <functional>

namespace revert {

struct WatchClock {
    std::function<void(DWORD ms)> Pause;
    std::function<ULONGLONG()> NowMs;  // any monotonic milliseconds
    std::function<ULONGLONG()> UtcNow;  // the wall clock, a UTC FILETIME
    std::function<ULONGLONG()> BootedAt;  // when the computer started, a UTC FILETIME
};
inline constexpr ULONGLONG kFileTimePerMs = 10000;
WatchClock RealWatchClock();
WatchClock& WatchClockCalls();

// How often the watch looks for a connection (at most every 5 s: a connection is seen while the
// administrator is still in it).
inline constexpr DWORD kWatchIntervalMs = 3000;
// How often a revert that failed is tried again while it is due.
inline constexpr DWORD kRevertRetryMs = 30000;
// However its countdown stands, a watch started again never reverts sooner than this after its own
// start (the wall clock may have jumped).
inline constexpr ULONGLONG kLeastWatchMs = 120000;

}  // namespace revert
