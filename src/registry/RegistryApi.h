#pragma once
// The five ANSI registry functions the program uses, behind one replaceable table so tests can record
// every call, forward it to the real registry, or make it fail. The program calls advapi32 through it.

#include <windows.h>

#include <functional>

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

// Closes a key through the table at the end of a scope.
class ScopedKey {
public:
    ScopedKey() = default;
    ~ScopedKey() {
        if (m_key) Registry().CloseKey(m_key);
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    HKEY* Put() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

}  // namespace RegTable
