#pragma once
// The windows' extra box before a command's own confirmation, when the lockout guard saw a hazard.

#include <windows.h>

#include <vector>

#include "guard/Hazard.h"

namespace ui {

// Cancel is the default: Enter refuses.
inline constexpr UINT kStyleLockoutWarning = MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2;

// Shows the guard's warning text with the program's title and returns true when there was nothing to
// show or the user pressed OK.
bool ProceedDespite(const std::vector<guard::Hazard>& hazards);

}  // namespace ui
