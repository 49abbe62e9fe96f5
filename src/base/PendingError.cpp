#include "base/PendingError.h"

#include <utility>

#include "base/SystemErrorText.h"

namespace base {
namespace {

struct PendingErrorState {
    long number = 0;
    std::wstring description;
};

PendingErrorState& State() {
    static PendingErrorState state;
    return state;
}

}  // namespace

void RaiseError(long number, std::wstring description) {
    // A number of 0 would read as "no error"; every raised error must be visible.
    State().number = number != 0 ? number : kErrInvalidCall;
    State().description = std::move(description);
}

void RaiseWin32Error(unsigned long code) {
    RaiseError(static_cast<long>(code), SystemErrorText(code));
}

bool ErrorPending() { return State().number != 0; }
long ErrorNumber() { return State().number; }
const std::wstring& ErrorDescription() { return State().description; }

void ClearError() {
    State().number = 0;
    State().description.clear();
}

}  // namespace base
