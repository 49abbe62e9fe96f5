#pragma once
// The Remote Desktop service (TermService) of the test prefix, worked through the service manager
// directly: Wine's prefix has a TermService of its own, start type manual and stopped, which the
// cases set to disabled for one scope.

#include <windows.h>

#include <optional>

namespace testkit {

inline constexpr const wchar_t* kRemoteDesktopService = L"TermService";

// The service's start type now; nothing when it cannot be read.
std::optional<DWORD> ServiceStartType();

// Gives the service another start type for the object's life and puts the one it had back after, also
// when the case fails on the way.
class ScopedServiceStartType {
public:
    explicit ScopedServiceStartType(DWORD startType);
    ~ScopedServiceStartType();
    ScopedServiceStartType(const ScopedServiceStartType&) = delete;
    ScopedServiceStartType& operator=(const ScopedServiceStartType&) = delete;

    DWORD Status() const { return m_status; }  // of the change, 0 when made

private:
    std::optional<DWORD> m_before;
    DWORD m_status = ERROR_SUCCESS;
};

// The service's state now (SERVICE_RUNNING, SERVICE_STOPPED, ...); nothing when it cannot be read.
std::optional<DWORD> ServiceState();

// Puts the service back running or stopped, as it was found, when the object goes (also when the case
// fails on the way): for cases that restart it. Waits at most 10 s for it to get there.
class ScopedServiceState {
public:
    ScopedServiceState() : m_before(ServiceState()) {}
    ~ScopedServiceState();
    ScopedServiceState(const ScopedServiceState&) = delete;
    ScopedServiceState& operator=(const ScopedServiceState&) = delete;

    std::optional<DWORD> Before() const { return m_before; }

private:
    std::optional<DWORD> m_before;
};

// A disabled service can only have been left by a case that could not clean up (its program was
// killed): it is set back to manual, Wine's own start type for it.
void RepairLeftoverDisabledService();

}  // namespace testkit
