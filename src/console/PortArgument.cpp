#include "console/PortArgument.h"

namespace console {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::optional<std::int32_t> PortArgument(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
        // Checked at every digit, so no length of text can overflow.
        if (value > 65535) return std::nullopt;
    }
    return value;
}

std::wstring PortArgumentError(const std::wstring& text) {
    return L"端口无效：“" + text +
           L"”。端口须为 0 到 65535 之间的十进制整数，只能由数字 0 到 9 组成（可有前导零，前后可有空格），例如 3390。";
}

}  // namespace console
