#pragma once
// The service manager's handles (SC_HANDLE), closed with CloseServiceHandle by their owner.

#include <windows.h>

#include <optional>

#include "base/Handles.h"

namespace guard {

// The Remote Desktop Services service, by its service (not display) name.
inline constexpr const wchar_t* kRemoteDesktopServiceName = L"TermService";

inline void CloseServiceHandleNoThrow(SC_HANDLE handle) noexcept { CloseServiceHandle(handle); }
using UniqueScHandle = base::UniqueHandle<SC_HANDLE, &CloseServiceHandleNoThrow>;

// The named service opened with `rights` (after connecting to the service manager with the least
// right); empty on failure, GetLastError() then says why.
inline UniqueScHandle OpenNamedService(const wchar_t* name, DWORD rights) {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return UniqueScHandle();
    return UniqueScHandle(OpenServiceW(manager.Get(), name, rights));
}

// The named service's state and process (QueryServiceStatusEx), opened with query rights only;
// nothing when the service cannot be opened or asked.
inline std::optional<SERVICE_STATUS_PROCESS> QueryNamedService(const wchar_t* name) {
    const UniqueScHandle service = OpenNamedService(name, SERVICE_QUERY_STATUS);
    if (!service) return std::nullopt;
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed))
        return std::nullopt;
    return status;
}

}  // namespace guard
