#pragma once
// The one way the program takes a function from a system DLL at run time: for DLLs needed only by some
// commands (Winsock, the IP helper, the shell), which are then loaded from System32 only and kept for the
// rest of the run, so start-up does not pay for them and the import table stays small; and for entry
// points newer than the oldest Windows the program runs on (user32's DPI functions).

#include <windows.h>

namespace base {

// The function of a System32 DLL, or null when the DLL or the function is not there.
FARPROC SystemFunction(const wchar_t* dll, const char* name);

template <class F>
F* SystemFunctionAs(const wchar_t* dll, const char* name) {
    return reinterpret_cast<F*>(reinterpret_cast<void*>(SystemFunction(dll, name)));
}

}  // namespace base
