#pragma once
// Started with no arguments, the console program starts the windowed program next to it and returns
// at once: typed as "rdpport" in a console, Windows finds rdpport.com first.

#include <windows.h>

#include <string>

#include "base/Seam.h"

namespace console {

// rdpport.exe in the folder of the running program.
std::wstring WindowProgramPath();

// Starts a program with the shell's "open" verb, so its own manifest decides about elevation; the
// Windows error code, 0 when it was started.
using StartProgramSeam = base::Seam<DWORD(const std::wstring& path)>;
StartProgramSeam& StartProgramCall();

}  // namespace console
