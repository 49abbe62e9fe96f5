#pragma once
// The message loop, "let pending events run" and the pause.

#include <windows.h>

#include "base/Seam.h"

namespace toolkit {

// Handles one message: through the dialog manager when it belongs to one of our windows.
void DispatchOne(MSG& msg);

// Handles every queued window message (painting included), then returns.
void DoEvents();

// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();

// A pause by the program's clock (base/Clock.h).
void Pause(unsigned milliseconds);

}  // namespace toolkit
