#include "support/ServiceKit.h"

#include <gtest/gtest.h>

#include "support/ServiceControl.h"

namespace testkit {
namespace {

DWORD SetStartType(DWORD startType) {
    const OpenedService service(kRemoteDesktopService, SERVICE_CHANGE_CONFIG);
    if (!service.Get()) return service.Error();
    if (!ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr))
        return GetLastError();
    return ERROR_SUCCESS;
}

}  // namespace

std::optional<DWORD> ServiceState() { return StateOf(kRemoteDesktopService); }

ScopedServiceState::~ScopedServiceState() {
    if (!m_before || ServiceState() == m_before) return;
    using namespace std::chrono_literals;
    if (*m_before == SERVICE_STOPPED) {
        StopAndWait(kRemoteDesktopService, 10s);
    } else {
        StartAndWait(kRemoteDesktopService, 10s);
    }
    EXPECT_EQ(ServiceState(), m_before) << "TermService was not put back as it was found";
}

std::optional<DWORD> ServiceStartType() {
    const std::optional<ServiceConfig> config = ConfigOf(kRemoteDesktopService);
    if (!config) return std::nullopt;
    return config->startType;
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
