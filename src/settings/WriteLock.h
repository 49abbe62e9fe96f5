#pragma once
// One machine-wide lock around every write sequence of both programs (the window's commands and the
// console's, and the revert's watch running as SYSTEM), so two writers can never interleave and leave
// the two port keys disagreeing while both report success. It is a named mutex in the global
// namespace, made with a protected DACL that gives SYSTEM and Administrators full access and nobody
// else any, and Administrators as its owner. Any user could create an object of that name first (the
// privilege that guards the global namespace covers file mappings only), so an existing mutex is used
// only when its owner is Administrators or SYSTEM; one made by anybody else is refused as squatted.
// Writers open it asking only for what waiting and releasing need, so a lock made by the SYSTEM watch
// serves every administrator. An abandoned mutex (its holder ended mid-way) counts as acquired: the
// new holder writes its whole sequence anyway.

#include <windows.h>

#include <string>

#include "base/Handles.h"
#include "base/Seam.h"

namespace settings {

inline constexpr const wchar_t* kWriteLockName = L"Global\\Korvane.RdpPort.Write";
inline constexpr DWORD kWriteLockWaitMs = 10000;
// SYSTEM and Administrators full control, nobody else; inherited nothing; owned by Administrators.
inline constexpr const wchar_t* kWriteLockSecurity = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";
// Error() when an object of the lock's name exists whose owner is neither Administrators nor SYSTEM.
inline constexpr DWORD kWriteLockSquatted = ERROR_INVALID_OWNER;

// How long a writer waits for the lock (kWriteLockWaitMs); tests shorten it.
DWORD& WriteLockWaitMs();

// The wait itself (WaitForSingleObject on the mutex, for at most that long); a simulated server waits on
// its own clock instead, so the other writers can act while one waits.
using WriteLockWaitSeam = base::Seam<DWORD(HANDLE mutex, DWORD ms)>;
WriteLockWaitSeam& WriteLockWaitCall();

class WriteLock {
public:
    // Waits for the lock, at most WriteLockWaitMs().
    static WriteLock Acquire();
    ~WriteLock();
    WriteLock(WriteLock&& other) noexcept;
    WriteLock& operator=(WriteLock&&) = delete;
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool Held() const { return m_held; }
    // Why it is not held: WAIT_TIMEOUT when another writer kept it, else the Windows error code.
    DWORD Error() const { return m_error; }
    // Why the lock could not be taken, as one clause without a full stop (Simplified Chinese).
    std::wstring FailureText() const;

private:
    WriteLock() = default;
    base::UniqueKernelHandle m_mutex;
    bool m_held = false;
    DWORD m_error = ERROR_SUCCESS;
};

}  // namespace settings
