#pragma once
// Modal message boxes with the application's title. Every box of the program goes through ShowMessage,
// whose seam tests replace with a scripted responder that records text and style.

#include <windows.h>

#include <string>

#include "base/Seam.h"

namespace toolkit {

inline constexpr const wchar_t* kAppTitle = L"Korvane远程端口修改软件";

// Style values: OK + exclamation; OK + information; OK/Cancel + question with Cancel the default;
// OK/Cancel without icon, OK the default.
inline constexpr UINT kStyleWarning = 48;
inline constexpr UINT kStyleInformation = 64;
inline constexpr UINT kStyleConfirm = 289;
inline constexpr UINT kStylePlainConfirm = 1;

inline constexpr int kResultOk = IDOK;
inline constexpr int kResultCancel = IDCANCEL;

// (owner, text, caption, style) -> button pressed.
using MessageBoxSeam = base::Seam<int(HWND, const std::wstring&, const std::wstring&, UINT)>;
MessageBoxSeam& MessageBoxCall();

// Shows a modal box owned by the active window, with the application's title, and waits for it.
// Closing the box counts as Cancel.
int ShowMessage(const std::wstring& text, UINT style);

}  // namespace toolkit
