#include "base/PendingError.h"
#include "console/Reports.h"

namespace console {

std::wstring SystemErrorText(long code) {
    if (code == settings::kUnreadType) return L"值的类型既不是 REG_DWORD 也不是 REG_SZ。";
    // The pending error's description is the system's own text for the code (as the windows show it);
    // nothing else in the console program uses the pending error, so borrowing it here is harmless.
    base::RaiseWin32Error(static_cast<unsigned long>(code));
    std::wstring text = base::ErrorDescription();
    base::ClearError();
    return text;
}

// A value of a type that is not read has no Windows error code to give.
Failure FailureOf(long code) { return {code == settings::kUnreadType ? 0 : code, SystemErrorText(code)}; }

}  // namespace console
