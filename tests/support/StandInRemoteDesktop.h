#pragma once
// A Remote Desktop service that really listens, for the cases of `--apply`: for a scope the prefix's
// TermService runs the stand-in (tests/standin) instead of Wine's own, which listens nowhere.
//
// Wine 8's own TermService, as QueryServiceConfigW shows it in a fresh prefix: type
// SERVICE_WIN32_SHARE_PROCESS, start type SERVICE_DEMAND_START, error control normal, binary path
// C:\windows\system32\termsv.exe, display name "Terminal Services" (description "Remote desktop
// access", account LocalSystem), no dependencies, stopped. termsv.exe starts and stops on request and
// listens on no port. Wine has no UmRdpService.
//
// Wine does not keep dependencies: a UmRdpService made with a dependency on TermService is listed by
// neither EnumDependentServicesW (always none) nor its own QueryServiceConfigW (no dependencies), and
// TermService stops while it runs (Windows refuses that, ERROR_DEPENDENT_SERVICES_RUNNING), leaving it
// running. Under Wine `--apply` therefore restarts TermService alone, the dependent or not.
//
// The stand-in takes TermService's place by a change of its binary path and type
// (ChangeServiceConfigW), not by deleting and creating it: so the description, the account and the rest
// of Wine's entry are never touched, and the change is undone by one more call. Measured on this
// machine (Wine 8, 2 cores, 60 starts): a start of the stand-in takes 45 to 130 ms (0.1 s on average),
// a stop 5 to 17 ms; the whole scope, Wine's service stopped, the stand-in and UmRdpService made and
// started, 0.1 to 0.3 s.

#include <windows.h>

#include <optional>
#include <string>

#include "support/ServiceControl.h"

namespace testkit {

inline constexpr const wchar_t* kWineRemoteDesktopBinary = L"C:\\windows\\system32\\termsv.exe";
inline constexpr DWORD kWineRemoteDesktopType = SERVICE_WIN32_SHARE_PROCESS;
// The service Windows runs next to TermService (the redirector of a session's devices), which depends
// on it.
inline constexpr const wchar_t* kRemoteDesktopDependent = L"UmRdpService";

// For the object's life TermService is the stand-in at `standInPath` (a Windows path), running, and
// listening on the port RDP-Tcp's PortNumber holds when it is made. With Dependent::UmRdpService a
// service UmRdpService is made too (the stand-in only running, depending on TermService) and runs.
// Afterwards TermService is put back exactly as it was found (binary path, type, start type, display
// name, running or stopped) and UmRdpService removed, also when the case fails on the way.
class ScopedStandInRemoteDesktop {
public:
    enum class Dependent { None, UmRdpService };

    explicit ScopedStandInRemoteDesktop(const std::wstring& standInPath, Dependent dependent = Dependent::None);
    ~ScopedStandInRemoteDesktop();
    ScopedStandInRemoteDesktop(const ScopedStandInRemoteDesktop&) = delete;
    ScopedStandInRemoteDesktop& operator=(const ScopedStandInRemoteDesktop&) = delete;

    // 0 when the stand-in runs as TermService (and its dependent); else the first error on the way, such
    // as ERROR_SERVICE_NOT_ACTIVE when the stand-in stopped again because it could not listen.
    DWORD Status() const { return m_status; }

private:
    DWORD Take(const std::wstring& standInPath, Dependent dependent);
    void PutBack();

    std::optional<ServiceConfig> m_found;
    std::optional<DWORD> m_foundState;
    bool m_reconfigured = false;
    bool m_dependentMade = false;
    DWORD m_status = ERROR_SUCCESS;
};

// For the object's life the prefix has no TermService at all, for the cases of a service that cannot be
// controlled: Wine enforces no rights on its services, but a service that is not there cannot be
// restarted either. Afterwards Wine's own is made again as it was found (configuration and
// description), also when the case fails on the way.
class ScopedMissingRemoteDesktop {
public:
    ScopedMissingRemoteDesktop();
    ~ScopedMissingRemoteDesktop();
    ScopedMissingRemoteDesktop(const ScopedMissingRemoteDesktop&) = delete;
    ScopedMissingRemoteDesktop& operator=(const ScopedMissingRemoteDesktop&) = delete;

    DWORD Status() const { return m_status; }  // 0 when TermService is gone

private:
    static bool WaitUntilGone();
    std::optional<ServiceConfig> m_found;
    std::wstring m_description;
    DWORD m_status = ERROR_SUCCESS;
};

// Whether the service's binary is the stand-in.
bool RunsTheStandIn(const wchar_t* service);

// A TermService that runs the stand-in, or none at all, can only have been left by a run that was
// killed: it is stopped and given Wine's own binary path and type again (or made again as Wine's own),
// and a leftover UmRdpService of the stand-in is removed.
void RepairLeftoverStandIn();

}  // namespace testkit
