#pragma once
// The five ANSI registry functions the program uses, behind one replaceable table so tests can record
// every call, forward it to the real registry, or make it fail. The program calls advapi32 through it.

#include <windows.h>

#include <functional>

#include "base/Handles.h"

namespace RegTable {

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

// Keys are closed through the table too, so a recorder sees every close.
inline void CloseKeyThroughTable(HKEY key) noexcept { Registry().CloseKey(key); }
using ScopedKey = base::UniqueHandle<HKEY, &CloseKeyThroughTable>;

}  // namespace RegTable
