#include "base/AnsiText.h"

#include <windows.h>

namespace base {

std::string ToMultiByte(std::wstring_view text, unsigned codePage) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), needed, nullptr, nullptr);
    return out;
}

std::string ToAnsi(std::wstring_view text) { return ToMultiByte(text, CP_ACP); }

std::wstring FromAnsi(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, out.data(), needed);
    return out;
}

}  // namespace base
