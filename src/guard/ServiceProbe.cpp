// The Remote Desktop service (TermService) as the service manager reports it: its status and process,
// and its start type. Least rights throughout: connect to the service manager, then query the one
// service's status or its configuration. What is read is taken as it is: a service that is starting or
// stopping is not waited for.

#include <windows.h>

#include <vector>

#include "base/Handles.h"
#include "guard/Probes.h"
#include "guard/ServiceHandle.h"

namespace guard {
namespace {

UniqueScHandle OpenRemoteDesktopService(DWORD rights) { return OpenNamedService(kRemoteDesktopServiceName, rights); }

std::optional<ServiceStatus> ReadStatus() {
    const std::optional<SERVICE_STATUS_PROCESS> status = QueryNamedService(kRemoteDesktopServiceName);
    if (!status) return std::nullopt;
    return ServiceStatus{status->dwCurrentState, status->dwProcessId};
}

// QueryServiceConfigW: asked for the size first, then into a buffer of that size (the configuration
// carries its strings after the QUERY_SERVICE_CONFIGW).
std::optional<DWORD> ReadStartType() {
    const UniqueScHandle service = OpenRemoteDesktopService(SERVICE_QUERY_CONFIG);
    if (!service) return std::nullopt;
    DWORD needed = 0;
    if (QueryServiceConfigW(service.Get(), nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return std::nullopt;
    std::vector<std::uint64_t> buffer(needed / sizeof(std::uint64_t) + 1);  // 8-byte elements keep it aligned
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t));
    if (!QueryServiceConfigW(service.Get(), config, size, &needed)) return std::nullopt;
    return config->dwStartType;
}

}  // namespace

ServiceStatusSeam& RemoteDesktopStatusCall() {
    static ServiceStatusSeam seam(&ReadStatus);
    return seam;
}

ServiceStartTypeSeam& RemoteDesktopStartTypeCall() {
    static ServiceStartTypeSeam seam(&ReadStartType);
    return seam;
}

}  // namespace guard
