#pragma once
// The program's one clock: every pause and every reading of the time (the windows' pauses, the
// guard's waits on the service manager, the revert's watch and its arming) goes through this table,
// so tests run minutes of waiting in no time and a simulated server drives them all together.

#include <windows.h>

#include <functional>

namespace base {

struct Clock {
    std::function<void(DWORD ms)> Pause;
    std::function<ULONGLONG()> NowMs;     // any monotonic milliseconds
    std::function<ULONGLONG()> UtcNow;    // the wall clock, a UTC FILETIME
    std::function<ULONGLONG()> BootedAt;  // when the computer started, a UTC FILETIME
};
Clock RealClock();
// The table in use; tests assign to it and put RealClock() back.
Clock& ClockCalls();

inline constexpr ULONGLONG kFileTimePerMs = 10000;

}  // namespace base
