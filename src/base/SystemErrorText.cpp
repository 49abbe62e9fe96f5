#include "base/SystemErrorText.h"

#include <windows.h>

#include "base/DecimalText.h"
#include "base/Handles.h"

namespace base {

std::wstring SystemErrorText(unsigned long code) {
    UniqueLocal<wchar_t*> buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.Put()), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer.Get(), length) : std::wstring();
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
