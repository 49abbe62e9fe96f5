#pragma once
// The service manager's handles (SC_HANDLE), closed with CloseServiceHandle by their owner.

#include <windows.h>

#include "base/Handles.h"

namespace guard {

inline void CloseServiceHandleNoThrow(SC_HANDLE handle) noexcept { CloseServiceHandle(handle); }
using UniqueScHandle = base::UniqueHandle<SC_HANDLE, &CloseServiceHandleNoThrow>;

// The named service opened with `rights` (after connecting to the service manager with the least
// right); empty on failure, GetLastError() then says why.
inline UniqueScHandle OpenNamedService(const wchar_t* name, DWORD rights) {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return UniqueScHandle();
    return UniqueScHandle(OpenServiceW(manager.Get(), name, rights));
}

}  // namespace guard
