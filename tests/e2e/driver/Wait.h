#pragma once
// Bounded polling: every wait of the driver ends, either when its condition holds or at its timeout.

#include <windows.h>

#include <chrono>

namespace e2e {

using namespace std::chrono_literals;

inline constexpr std::chrono::milliseconds kStartTimeout = 20s;  // a cold wineserver start is slow
inline constexpr std::chrono::milliseconds kBoxTimeout = 5s;
inline constexpr std::chrono::milliseconds kSettleTimeout = 5s;

// Polls the predicate until it returns true (true) or the timeout has passed (false).
template <class Predicate>
bool WaitUntil(Predicate&& done, std::chrono::milliseconds timeout, std::chrono::milliseconds step = 5ms) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(static_cast<DWORD>(step.count()));
    }
}

}  // namespace e2e
