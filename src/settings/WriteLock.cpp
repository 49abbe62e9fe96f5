#include "settings/WriteLock.h"

#include <aclapi.h>
#include <sddl.h>

#include <utility>

#include "base/DecimalText.h"
#include "base/Handles.h"
#include "base/SystemErrorText.h"

namespace settings {

DWORD& WriteLockWaitMs() {
    static DWORD wait = kWriteLockWaitMs;
    return wait;
}

WriteLockWaitSeam& WriteLockWaitCall() {
    static WriteLockWaitSeam seam(&WaitForSingleObject);
    return seam;
}

namespace {

// The security descriptor the lock is made with; empty when it cannot be built.
base::UniqueLocal<PSECURITY_DESCRIPTOR> LockSecurity() {
    base::UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kWriteLockSecurity, SDDL_REVISION_1, descriptor.Put(),
                                                              nullptr))
        descriptor.Reset();
    return descriptor;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return sid && IsWellKnownSid(sid, type); }

// Whether the existing object was made by an administrator or SYSTEM: the only owners it can have
// when this program made it.
bool OwnedByAdministrators(HANDLE mutex) {
    PSID owner = nullptr;
    base::UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.Put()) != ERROR_SUCCESS)
        return false;
    return IsWellKnown(owner, WinBuiltinAdministratorsSid) || IsWellKnown(owner, WinLocalSystemSid);
}

}  // namespace

WriteLock WriteLock::Acquire() {
    WriteLock lock;
    const base::UniqueLocal<PSECURITY_DESCRIPTOR> security = LockSecurity();
    if (!security.Get()) {
        lock.m_error = GetLastError();
        return lock;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.Get(), FALSE};
    // Waiting needs SYNCHRONIZE, releasing MUTEX_MODIFY_STATE, the owner check READ_CONTROL: no more,
    // so a lock the SYSTEM watch made is open to every administrator.
    lock.m_mutex.Reset(
        CreateMutexExW(&attributes, kWriteLockName, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL));
    if (!lock.m_mutex) {
        lock.m_error = GetLastError();
        return lock;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS && !OwnedByAdministrators(lock.m_mutex.Get())) {
        lock.m_mutex.Reset();
        lock.m_error = kWriteLockSquatted;
        return lock;
    }
    // WAIT_ABANDONED: the last holder ended without releasing it; the mutex is ours now all the same
    // (WaitForSingleObject).
    switch (WriteLockWaitCall()(lock.m_mutex.Get(), WriteLockWaitMs())) {
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
    if (m_error == kWriteLockSquatted)
        return L"修改锁（" + std::wstring(kWriteLockName) +
               L"）已被一个不属于管理员的对象占用，可能有人在阻挠修改；请重新启动计算机后再试";
    if (m_error == WAIT_TIMEOUT)
        return L"另一个修改（rdpport.exe 或 rdpport.com）正在进行，等待 " +
               base::DecimalText64(WriteLockWaitMs() / 1000) + L" 秒后仍未结束";
    return L"无法取得修改锁（错误 " + base::DecimalText64(m_error) + L"：" + base::SystemErrorClause(m_error) + L"）";
}

WriteLock::~WriteLock() {
    if (m_held) ReleaseMutex(m_mutex.Get());
}

}  // namespace settings
