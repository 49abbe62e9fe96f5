// An exception that escapes after all, or any other reason the C++ runtime ends the program, must not
// read as one of the program's answers: abort() exits with 3, which a script would take for "refused
// because of a hazard". The program then fails with 1. Replacing libstdc++'s verbose handler also
// keeps its demangler and printf out of the program, as src/app/Terminate.cpp does for the window.
#include <windows.h>

#include "console/Reports.h"

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __verbose_terminate_handler() { ExitProcess(static_cast<UINT>(console::kExitFailed)); }
}  // namespace __gnu_cxx
#endif
