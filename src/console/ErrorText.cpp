#include "base/SystemErrorText.h"
#include "console/Reports.h"

namespace console {

std::wstring SystemErrorText(long code) {
    if (code == settings::kUnreadType) return L"值的类型既不是 REG_DWORD 也不是 REG_SZ。";
    return base::SystemErrorText(static_cast<unsigned long>(code));
}

// A value of a type that is not read has no Windows error code to give.
Failure FailureOf(long code) { return {code == settings::kUnreadType ? 0 : code, SystemErrorText(code)}; }

// Another writer keeping the lock has no Windows error to give.
Failure LockFailure(const settings::WriteLock& lock, const wchar_t* consequence) {
    const long code = lock.Error() == WAIT_TIMEOUT ? 0 : static_cast<long>(lock.Error());
    return {code, lock.FailureText() + consequence};
}

}  // namespace console
