#pragma once
// The five ANSI registry functions the program uses, behind one replaceable table so tests can record
// every call, forward it to the real registry, or make it fail. The program calls advapi32 through it.

#include <windows.h>

#include <functional>

#include "base/Handles.h"

namespace settings {

struct RegistryApi {
    std::function<LONG(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD)> CreateKeyEx;
    std::function<LONG(HKEY, LPCSTR, DWORD, REGSAM, PHKEY)> OpenKeyEx;
    std::function<LONG(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)> QueryValueEx;
    std::function<LONG(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD)> SetValueEx;
    std::function<LONG(HKEY)> CloseKey;
};

// The advapi32 functions themselves.
RegistryApi RealRegistryApi();

// The table in use; tests assign to it and put RealRegistryApi() back.
RegistryApi& Registry();

// A key is closed through the table it was opened with, so a recorder sees every close, and a read made
// through another table (the guard's, with the real functions) closes through that one.
struct KeyCloser {
    const RegistryApi* api = &Registry();
    void operator()(HKEY key) const noexcept { api->CloseKey(key); }
};
using ScopedKey = base::OwnedHandle<HKEY, KeyCloser>;

}  // namespace settings
