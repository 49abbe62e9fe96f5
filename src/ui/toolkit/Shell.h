#pragma once
// Outside effects of the program besides the registry and message boxes: opening an address with the
// shell and ending the program. Each is a seam so tests can record it instead.

#include <windows.h>

#include <string>

#include "base/Seam.h"

namespace toolkit {

// ShellExecuteA exactly: owner, verb, file, parameters, directory, show command.
using ShellExecuteSeam = base::Seam<HINSTANCE(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)>;
ShellExecuteSeam& ShellExecuteCall();

// The same request handed to the desktop's own shell (file, verb, show command; no parameters, no
// folder), so what it starts runs with the signed-in user's unelevated token rather than this elevated
// program's; S_OK once the shell took it, a failure when there is no desktop shell to ask.
using DesktopShellSeam = base::Seam<HRESULT(const std::wstring& file, const std::wstring& verb, int show)>;
DesktopShellSeam& DesktopShellExecuteCall();

// Ends the program at once: no further handler of any window runs.
using EndProgramSeam = base::Seam<void(int exitCode)>;
EndProgramSeam& EndProgramCall();

}  // namespace toolkit
