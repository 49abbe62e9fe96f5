#pragma once
// Outside effects of the program besides the registry and message boxes: opening an address with the
// shell and ending the program. Each is a seam so tests can record it instead.

#include <windows.h>

#include "base/Seam.h"

namespace toolkit {

// ShellExecuteA exactly: owner, verb, file, parameters, directory, show command.
using ShellExecuteSeam = base::Seam<HINSTANCE(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)>;
ShellExecuteSeam& ShellExecuteCall();

// Ends the program at once: no further handler of any window runs.
using EndProgramSeam = base::Seam<void(int exitCode)>;
EndProgramSeam& EndProgramCall();

}  // namespace toolkit
