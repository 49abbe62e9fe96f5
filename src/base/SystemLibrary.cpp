#include "base/SystemLibrary.h"

namespace base {

FARPROC SystemFunction(const wchar_t* dll, const char* name) {
    // A module loaded here is never freed: the functions taken from it live in statics.
    HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? GetProcAddress(module, name) : nullptr;
}

}  // namespace base
