#include "base/PendingError.h"

#include <windows.h>

#include "base/DecimalText.h"

#include <utility>

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

std::wstring SystemDescription(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) text = L"错误 " + DecimalText(static_cast<std::int32_t>(code));
    return text;
}

}  // namespace

void RaiseError(long number, std::wstring description) {
    // A number of 0 would read as "no error"; every raised error must be visible.
    State().number = number != 0 ? number : kErrInvalidCall;
    State().description = std::move(description);
}

void RaiseWin32Error(unsigned long code) {
    RaiseError(static_cast<long>(code), SystemDescription(code));
}

bool ErrorPending() { return State().number != 0; }
long ErrorNumber() { return State().number; }
const std::wstring& ErrorDescription() { return State().description; }

void ClearError() {
    State().number = 0;
    State().description.clear();
}

}  // namespace base
