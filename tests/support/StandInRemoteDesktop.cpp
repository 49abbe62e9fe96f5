#include "support/StandInRemoteDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <vector>

#include "support/ServiceKit.h"

namespace testkit {
namespace {

using namespace std::chrono_literals;
constexpr auto kServiceWait = 10s;
constexpr const wchar_t* kStandInImage = L"rdpport_standin.exe";

DWORD Reconfigure(const wchar_t* name, DWORD type, DWORD startType, const std::wstring& binaryPath,
                  const wchar_t* displayName) {
    const OpenedService service(name, SERVICE_CHANGE_CONFIG);
    if (!service.Get()) return service.Error();
    if (!ChangeServiceConfigW(service.Get(), type, startType, SERVICE_NO_CHANGE, binaryPath.c_str(), nullptr, nullptr,
                              nullptr, nullptr, nullptr, displayName))
        return GetLastError();
    return ERROR_SUCCESS;
}

DWORD CreateDependent(const std::wstring& standInPath) {
    const ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager.Get()) return GetLastError();
    const std::wstring binaryPath = L"\"" + standInPath + L"\" --no-listen";
    const wchar_t dependencies[] = L"TermService\0";  // a list of names, ended by an empty one
    const ScHandle service(CreateServiceW(manager.Get(), kRemoteDesktopDependent,
                                          L"Remote Desktop Services UserMode Port Redirector", SERVICE_QUERY_STATUS,
                                          SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                          binaryPath.c_str(), nullptr, nullptr, dependencies, nullptr, nullptr));
    return service.Get() ? ERROR_SUCCESS : GetLastError();
}

// Stops the service and marks it for deletion; the service manager removes it once no handle is open.
DWORD RemoveService(const wchar_t* name) {
    StopAndWait(name, kServiceWait);
    const OpenedService service(name, DELETE);
    if (!service.Get()) return service.Error();
    return DeleteService(service.Get()) ? ERROR_SUCCESS : GetLastError();
}

// Wine's own TermService as its prefix is made (see the header).
constexpr const wchar_t* kWineDisplayName = L"Terminal Services";
constexpr const wchar_t* kWineDescription = L"Remote desktop access";

std::wstring DescriptionOf(const wchar_t* name) {
    const OpenedService service(name, SERVICE_QUERY_CONFIG);
    DWORD needed = 0;
    if (!service.Get()) return {};
    QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed + sizeof(SERVICE_DESCRIPTIONW));
    auto* description = reinterpret_cast<SERVICE_DESCRIPTIONW*>(buffer.data());
    if (!QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &needed) ||
        !description->lpDescription)
        return {};
    return description->lpDescription;
}

// Makes the service again as LocalSystem with this configuration and description.
DWORD CreateAgain(const ServiceConfig& config, const std::wstring& description) {
    const ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager.Get()) return GetLastError();
    const ScHandle service(CreateServiceW(manager.Get(), kRemoteDesktopService, config.displayName.c_str(),
                                          SERVICE_CHANGE_CONFIG, config.type, config.startType, SERVICE_ERROR_NORMAL,
                                          config.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service.Get()) return GetLastError();
    SERVICE_DESCRIPTIONW text{const_cast<wchar_t*>(description.c_str())};
    return ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, &text) ? ERROR_SUCCESS : GetLastError();
}

bool Exists(const wchar_t* name) {
    return OpenedService(name, SERVICE_QUERY_STATUS).Error() != ERROR_SERVICE_DOES_NOT_EXIST;
}

}  // namespace

ScopedMissingRemoteDesktop::ScopedMissingRemoteDesktop()
    : m_found(ConfigOf(kRemoteDesktopService)), m_description(DescriptionOf(kRemoteDesktopService)) {
    m_status = m_found ? RemoveService(kRemoteDesktopService) : ERROR_SERVICE_DOES_NOT_EXIST;
    if (m_status == ERROR_SUCCESS && !WaitUntilGone()) m_status = ERROR_SERVICE_MARKED_FOR_DELETE;
}

bool ScopedMissingRemoteDesktop::WaitUntilGone() {
    for (int i = 0; i < 100; ++i) {
        if (!Exists(kRemoteDesktopService)) return true;
        Sleep(50);
    }
    return false;
}

ScopedMissingRemoteDesktop::~ScopedMissingRemoteDesktop() {
    if (!m_found) return;
    EXPECT_EQ(CreateAgain(*m_found, m_description), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ConfigOf(kRemoteDesktopService), m_found) << "TermService was not made again as it was";
}

ScopedStandInRemoteDesktop::ScopedStandInRemoteDesktop(const std::wstring& standInPath, Dependent dependent) {
    RepairLeftoverStandIn();
    m_found = ConfigOf(kRemoteDesktopService);
    m_foundState = StateOf(kRemoteDesktopService);
    m_status = Take(standInPath, dependent);
}

DWORD ScopedStandInRemoteDesktop::Take(const std::wstring& standInPath, Dependent dependent) {
    if (!m_found || !m_foundState) return ERROR_SERVICE_DOES_NOT_EXIST;
    if (const DWORD error = StopAndWait(kRemoteDesktopService, kServiceWait)) return error;
    // Its own process, as the stand-in reports itself to the service manager.
    m_reconfigured = true;
    if (const DWORD error = Reconfigure(kRemoteDesktopService, SERVICE_WIN32_OWN_PROCESS, SERVICE_NO_CHANGE,
                                        L"\"" + standInPath + L"\"", nullptr))
        return error;
    if (dependent == Dependent::UmRdpService) {
        if (const DWORD error = CreateDependent(standInPath)) return error;
        m_dependentMade = true;
    }
    if (const DWORD error = StartAndWait(kRemoteDesktopService, kServiceWait)) return error;
    return m_dependentMade ? StartAndWait(kRemoteDesktopDependent, kServiceWait) : ERROR_SUCCESS;
}

ScopedStandInRemoteDesktop::~ScopedStandInRemoteDesktop() { PutBack(); }

void ScopedStandInRemoteDesktop::PutBack() {
    if (m_dependentMade) {
        EXPECT_EQ(RemoveService(kRemoteDesktopDependent), static_cast<DWORD>(ERROR_SUCCESS));
    }
    if (!m_found || !m_foundState) return;
    if (m_reconfigured) {
        EXPECT_EQ(StopAndWait(kRemoteDesktopService, kServiceWait), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(Reconfigure(kRemoteDesktopService, m_found->type, m_found->startType, m_found->binaryPath,
                              m_found->displayName.c_str()),
                  static_cast<DWORD>(ERROR_SUCCESS));
    }
    if (*m_foundState == SERVICE_RUNNING) StartAndWait(kRemoteDesktopService, kServiceWait);
    EXPECT_EQ(ConfigOf(kRemoteDesktopService), m_found) << "TermService's configuration was not put back";
    EXPECT_EQ(StateOf(kRemoteDesktopService), m_foundState) << "TermService was not put back running or stopped";
}

bool RunsTheStandIn(const wchar_t* service) {
    const std::optional<ServiceConfig> config = ConfigOf(service);
    if (!config) return false;
    std::wstring path = config->binaryPath;
    std::transform(path.begin(), path.end(), path.begin(), [](wchar_t c) { return std::towlower(c); });
    return path.find(kStandInImage) != std::wstring::npos;
}

void RepairLeftoverStandIn() {
    if (!Exists(kRemoteDesktopService)) {
        CreateAgain({kWineRemoteDesktopType, SERVICE_DEMAND_START, kWineRemoteDesktopBinary, kWineDisplayName},
                    kWineDescription);
    }
    if (RunsTheStandIn(kRemoteDesktopDependent)) RemoveService(kRemoteDesktopDependent);
    if (!RunsTheStandIn(kRemoteDesktopService)) return;
    StopAndWait(kRemoteDesktopService, kServiceWait);
    Reconfigure(kRemoteDesktopService, kWineRemoteDesktopType, SERVICE_NO_CHANGE, kWineRemoteDesktopBinary, nullptr);
}

}  // namespace testkit
