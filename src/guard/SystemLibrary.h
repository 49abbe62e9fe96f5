#pragma once
// Winsock and the IP helper are only needed when a command is checked: they are loaded then, from
// System32 only, and kept for the rest of the run. Start-up does not pay for them, and the exe's
// import table stays as it was.

#include <windows.h>

namespace guard {

// The function of a System32 DLL, or null when the DLL or the function is not there.
FARPROC SystemFunction(const wchar_t* dll, const char* name);

template <class F>
F* SystemFunctionAs(const wchar_t* dll, const char* name) {
    return reinterpret_cast<F*>(reinterpret_cast<void*>(SystemFunction(dll, name)));
}

}  // namespace guard
