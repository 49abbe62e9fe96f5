#pragma once
// A window timer with an Enabled switch: while enabled it ticks each time its interval has passed.

#include <windows.h>

namespace toolkit {

class Timer {
public:
    Timer(UINT_PTR id, UINT intervalMs) : m_id(id), m_intervalMs(intervalMs) {}
    ~Timer() { SetEnabled(false); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void Attach(HWND owner) { m_owner = owner; }
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled) {
        if (enabled && m_owner) {
            m_enabled = SetTimer(m_owner, m_id, m_intervalMs, nullptr) != 0;
        } else {
            if (m_enabled && m_owner && IsWindow(m_owner)) KillTimer(m_owner, m_id);
            m_enabled = false;
        }
    }
    bool IsTick(WPARAM timerId) const { return m_enabled && timerId == m_id; }
    UINT IntervalMs() const { return m_intervalMs; }

private:
    UINT_PTR m_id;
    UINT m_intervalMs;
    HWND m_owner = nullptr;
    bool m_enabled = false;
};

}  // namespace toolkit
