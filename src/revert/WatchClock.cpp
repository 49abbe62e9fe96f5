#include "revert/WatchClock.h"

namespace revert {
namespace {

ULONGLONG UtcNow() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

ULONGLONG BootedAt() { return UtcNow() - GetTickCount64() * kFileTimePerMs; }

}  // namespace

WatchClock RealWatchClock() { return WatchClock{&Sleep, &GetTickCount64, &UtcNow, &BootedAt}; }

WatchClock& WatchClockCalls() {
    static WatchClock calls = RealWatchClock();
    return calls;
}

}  // namespace revert
