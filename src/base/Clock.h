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

enum class Poll { Done, Failed, Again };

// Asks every `everyMs` until the answer is no longer Again or `limitMs` has passed by the clock (then
// Again); `pause` waits between two asks (the clock's pause when empty).
template <class Ask>
Poll PollUntil(ULONGLONG limitMs, DWORD everyMs, Ask ask, const std::function<void(DWORD ms)>& pause = {}) {
    const Clock& clock = ClockCalls();
    const ULONGLONG start = clock.NowMs();
    for (;;) {
        if (const Poll answer = ask(); answer != Poll::Again) return answer;
        const ULONGLONG elapsed = clock.NowMs() - start;
        if (elapsed >= limitMs) return Poll::Again;
        const auto ms = static_cast<DWORD>(limitMs - elapsed < everyMs ? limitMs - elapsed : everyMs);
        pause ? pause(ms) : clock.Pause(ms);
    }
}

}  // namespace base
