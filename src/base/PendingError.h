#pragma once
// The pending error: a failing toolkit step records a number and a description instead of stopping
// the handler that ran it; the handler reads it to explain a failure and clears it before it ends.

#include <string>

namespace base {

void RaiseError(long number, std::wstring description);
// Records a Windows error code with the system's own description of it.
void RaiseWin32Error(unsigned long code);
bool ErrorPending();
long ErrorNumber();
const std::wstring& ErrorDescription();
void ClearError();

// Clears the pending error when the handler that holds it ends, on every way out: the handlers end
// "without a message", whatever step they stopped at.
class ErrorClearedAtEnd {
public:
    ErrorClearedAtEnd() = default;
    ~ErrorClearedAtEnd() { ClearError(); }
    ErrorClearedAtEnd(const ErrorClearedAtEnd&) = delete;
    ErrorClearedAtEnd& operator=(const ErrorClearedAtEnd&) = delete;
};

// Error numbers of the toolkit's own refusals.
inline constexpr long kErrCannotSizeMinimised = 384;
inline constexpr long kErrInvalidCall = 5;

}  // namespace base
