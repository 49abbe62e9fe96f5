#include "support/ServiceKit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace testkit {
namespace {

class ServiceHandle {
public:
    explicit ServiceHandle(DWORD rights) {
        m_manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (m_manager) m_service = OpenServiceW(m_manager, kRemoteDesktopService, rights);
    }
    ~ServiceHandle() {
        if (m_service) CloseServiceHandle(m_service);
        if (m_manager) CloseServiceHandle(m_manager);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE Get() const { return m_service; }

private:
    SC_HANDLE m_manager = nullptr;
    SC_HANDLE m_service = nullptr;
};

DWORD SetStartType(DWORD startType) {
    const ServiceHandle service(SERVICE_CHANGE_CONFIG);
    if (!service.Get()) return GetLastError();
    if (!ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr))
        return GetLastError();
    return ERROR_SUCCESS;
}

}  // namespace

std::optional<DWORD> ServiceState() {
    const ServiceHandle service(SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    if (!service.Get() || !QueryServiceStatus(service.Get(), &status)) return std::nullopt;
    return status.dwCurrentState;
}

ScopedServiceState::~ScopedServiceState() {
    if (!m_before || ServiceState() == m_before) return;
    const ServiceHandle service(SERVICE_STOP | SERVICE_START);
    SERVICE_STATUS status{};
    if (*m_before == SERVICE_STOPPED) {
        ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
    } else {
        StartServiceW(service.Get(), 0, nullptr);
    }
    for (int i = 0; i < 100 && ServiceState() != m_before; ++i) Sleep(100);
    EXPECT_EQ(ServiceState(), m_before) << "TermService was not put back as it was found";
}

std::optional<DWORD> ServiceStartType() {
    const ServiceHandle service(SERVICE_QUERY_CONFIG);
    if (!service.Get()) return std::nullopt;
    DWORD needed = 0;
    QueryServiceConfigW(service.Get(), nullptr, 0, &needed);
    std::vector<std::uint64_t> buffer(needed / sizeof(std::uint64_t) + 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service.Get(), config, static_cast<DWORD>(buffer.size() * sizeof(std::uint64_t)), &needed))
        return std::nullopt;
    return config->dwStartType;
}

ScopedServiceStartType::ScopedServiceStartType(DWORD startType) : m_before(ServiceStartType()) {
    m_status = m_before ? SetStartType(startType) : ERROR_SERVICE_DOES_NOT_EXIST;
    EXPECT_EQ(m_status, static_cast<DWORD>(ERROR_SUCCESS)) << "cannot set TermService's start type to " << startType;
}

ScopedServiceStartType::~ScopedServiceStartType() {
    if (m_before && m_status == ERROR_SUCCESS) {
        EXPECT_EQ(SetStartType(*m_before), static_cast<DWORD>(ERROR_SUCCESS)) << "TermService's start type not put back";
    }
}

void RepairLeftoverDisabledService() {
    if (ServiceStartType() == static_cast<DWORD>(SERVICE_DISABLED)) SetStartType(SERVICE_DEMAND_START);
}

}  // namespace testkit
