// The Remote Desktop service (TermService) as the service manager reports it: its status and process.
// Least rights throughout: connect to the service manager, then query the one service's status. What is read is taken as it is: a service that is starting or
// stopping is not waited for.

#include <windows.h>

#include "base/Handles.h"
#include "guard/Probes.h"

namespace guard {
namespace {

constexpr const wchar_t* kServiceName = L"TermService";

inline void CloseServiceHandleNoThrow(SC_HANDLE handle) noexcept { CloseServiceHandle(handle); }
using UniqueScHandle = base::UniqueHandle<SC_HANDLE, &CloseServiceHandleNoThrow>;

UniqueScHandle OpenRemoteDesktopService(DWORD rights) {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return UniqueScHandle();
    return UniqueScHandle(OpenServiceW(manager.Get(), kServiceName, rights));
}

std::optional<ServiceStatus> ReadStatus() {
    const UniqueScHandle service = OpenRemoteDesktopService(SERVICE_QUERY_STATUS);
    if (!service) return std::nullopt;
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed))
        return std::nullopt;
    return ServiceStatus{status.dwCurrentState, status.dwProcessId};
}

}  // namespace

ServiceStatusSeam& RemoteDesktopStatusCall() {
    static ServiceStatusSeam seam(&ReadStatus);
    return seam;
}

}  // namespace guard
