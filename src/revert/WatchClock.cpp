#include "revert/WatchClock.h"

namespace revert {

WatchClock RealWatchClock() { return WatchClock{&Sleep, &GetTickCount64}; }

WatchClock& WatchClockCalls() {
    static WatchClock calls = RealWatchClock();
    return calls;
}

}  // namespace revert
