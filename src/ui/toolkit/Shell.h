#pragma once
// Outside effects of the program besides the registry and message boxes: opening an address with the
// shell and ending the program. Each is a seam so tests can record it instead.

#include <windows.h>

#include "ui/toolkit/Seam.h"

namespace toolkit {

// ShellExecuteA exactly: owner, verb, file, parameters, directory, show command.
using ShellExecuteSeam = Seam<HINSTANCE(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)>;
ShellExecuteSeam& ShellExecuteCall();

// Ends the program at once: no further handler of any window runs.
using EndProgramSeam = Seam<void(int exitCode)>;
EndProgramSeam& EndProgramCall();

}  // namespace toolkit
