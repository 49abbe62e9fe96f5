#pragma once
// The registry and shell calls use the ANSI forms of the Windows functions: text is converted to and
// from the system's ANSI code page here, and only here.

#include <string>
#include <string_view>

namespace base {

// Unicode text in a code page (CP_ACP, CP_UTF8, ...).
std::string ToMultiByte(std::wstring_view text, unsigned codePage);

std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view text);

}  // namespace base
