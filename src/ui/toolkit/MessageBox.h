#pragma once
// Modal message boxes with the application's title. Every box of the program goes through ShowMessage,
// whose seam tests replace with a scripted responder that records text and style.

#include <windows.h>

#include <string>

#include "base/Seam.h"
#include "common/ProgramTitle.h"

namespace toolkit {

inline constexpr const wchar_t* kAppTitle = common::kProgramTitle;

// The four kinds of box the program shows, pinned to the style values it has always used.
inline constexpr UINT kStyleWarning = MB_OK | MB_ICONEXCLAMATION;
inline constexpr UINT kStyleInformation = MB_OK | MB_ICONINFORMATION;
inline constexpr UINT kStyleConfirm = MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2;  // Cancel the default
inline constexpr UINT kStylePlainConfirm = MB_OKCANCEL;                               // OK the default
static_assert(kStyleWarning == 48 && kStyleInformation == 64 && kStyleConfirm == 289 && kStylePlainConfirm == 1);

inline constexpr int kResultOk = IDOK;
inline constexpr int kResultCancel = IDCANCEL;

// (owner, text, caption, style) -> button pressed.
using MessageBoxSeam = base::Seam<int(HWND, const std::wstring&, const std::wstring&, UINT)>;
MessageBoxSeam& MessageBoxCall();

// Shows a modal box owned by the program's own window (Window::ModalOwner), with the application's
// title, and waits for it. Closing the box counts as Cancel.
int ShowMessage(const std::wstring& text, UINT style);

}  // namespace toolkit
