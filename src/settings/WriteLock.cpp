#include "settings/WriteLock.h"

#include <utility>

#include "base/DecimalText.h"
#include "base/SystemErrorText.h"

namespace settings {

DWORD& WriteLockWaitMs() {
    static DWORD wait = kWriteLockWaitMs;
    return wait;
}

WriteLock WriteLock::Acquire() {
    WriteLock lock;
    lock.m_mutex.Reset(CreateMutexW(nullptr, FALSE, kWriteLockName));
    if (!lock.m_mutex) {
        lock.m_error = GetLastError();
        return lock;
    }
    // WAIT_ABANDONED: the last holder ended without releasing it; the mutex is ours now all the same
    // (WaitForSingleObject).
    switch (WaitForSingleObject(lock.m_mutex.Get(), WriteLockWaitMs())) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:
            lock.m_held = true;
            break;
        case WAIT_TIMEOUT:
            lock.m_error = WAIT_TIMEOUT;
            break;
        default:
            lock.m_error = GetLastError();
            break;
    }
    return lock;
}

WriteLock::WriteLock(WriteLock&& other) noexcept
    : m_mutex(std::move(other.m_mutex)), m_held(std::exchange(other.m_held, false)), m_error(other.m_error) {}

std::wstring WriteLock::FailureText() const {
    if (m_error == WAIT_TIMEOUT)
        return L"另一个修改（rdpport.exe 或 rdpport.com）正在进行，等待 " +
               base::DecimalText64(WriteLockWaitMs() / 1000) + L" 秒后仍未结束";
    return L"无法取得修改锁（错误 " + base::DecimalText64(m_error) + L"：" + base::SystemErrorClause(m_error) + L"）";
}

WriteLock::~WriteLock() {
    if (m_held) ReleaseMutex(m_mutex.Get());
}

}  // namespace settings
