#include "base/Clock.h"

namespace base {
namespace {

ULONGLONG UtcNow() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

ULONGLONG BootedAt() { return UtcNow() - GetTickCount64() * kFileTimePerMs; }

}  // namespace

Clock RealClock() { return Clock{&Sleep, &GetTickCount64, &UtcNow, &BootedAt}; }

Clock& ClockCalls() {
    static Clock calls = RealClock();
    return calls;
}

}  // namespace base
