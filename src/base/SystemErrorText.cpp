#include "base/SystemErrorText.h"

#include <windows.h>

#include "base/DecimalText.h"

namespace base {

std::wstring SystemErrorText(unsigned long code) {
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

std::wstring SystemErrorClause(unsigned long code) {
    std::wstring text = SystemErrorText(code);
    while (!text.empty() && (text.back() == L'。' || text.back() == L'.')) text.pop_back();
    return text;
}

}  // namespace base
