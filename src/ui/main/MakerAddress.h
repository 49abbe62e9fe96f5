#pragma once
// The maker's web page: shown in full by the main window's link, by its host name at the end of the
// main window's caption, and opened by the about button, the link and the splash's link.

#include <string>
#include <string_view>

namespace ui {

inline constexpr const wchar_t* kMakerAddress = L"https://korvane.example/";

// The host name of an absolute address: what lies between "://" and the next "/", ":", "?" or "#".
inline std::wstring HostName(std::wstring_view address) {
    const size_t scheme = address.find(L"://");
    const std::wstring_view rest = scheme == std::wstring_view::npos ? address : address.substr(scheme + 3);
    return std::wstring(rest.substr(0, rest.find_first_of(L"/:?#")));
}

}  // namespace ui
