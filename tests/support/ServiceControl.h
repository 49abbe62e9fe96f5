#pragma once
// Any service of the test prefix, worked through the service manager directly: an open service closed
// with its owner, its state and configuration, and stops and starts that wait a bounded time.

#include <windows.h>

#include <chrono>
#include <ostream>
#include <optional>
#include <string>

namespace testkit {

// A handle of the service manager or of a service, closed with the object.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle = nullptr) : m_handle(handle) {}
    ~ScHandle() {
        if (m_handle) CloseServiceHandle(m_handle);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;

    SC_HANDLE Get() const { return m_handle; }

private:
    SC_HANDLE m_handle;
};

// The service opened with `rights` (and the service manager it came from), closed with the object.
class OpenedService {
public:
    OpenedService(const wchar_t* name, DWORD rights);

    SC_HANDLE Get() const { return m_service.Get(); }
    DWORD Error() const { return m_error; }  // of the open, 0 when open

private:
    ScHandle m_manager;
    ScHandle m_service;
    DWORD m_error = ERROR_SUCCESS;
};

// What ChangeServiceConfigW sets and the cases put back.
struct ServiceConfig {
    DWORD type = 0;
    DWORD startType = 0;
    std::wstring binaryPath;
    std::wstring displayName;
    bool operator==(const ServiceConfig&) const = default;
};
void PrintTo(const ServiceConfig& config, std::ostream* out);  // for the cases' failure messages

// Nothing when the service cannot be opened or read.
std::optional<ServiceConfig> ConfigOf(const wchar_t* name);
std::optional<SERVICE_STATUS> StatusOf(const wchar_t* name);
std::optional<DWORD> StateOf(const wchar_t* name);

// Waits until the service reports `state`; false at the timeout.
bool WaitForState(const wchar_t* name, DWORD state, std::chrono::milliseconds timeout);

// Ask for the stop (start) and wait for the service to get there: 0 when it did (or was there
// already), else the error of the request or WAIT_TIMEOUT. A service that stops again while starting has
// failed to start: ERROR_SERVICE_NOT_ACTIVE, at once.
DWORD StopAndWait(const wchar_t* name, std::chrono::milliseconds timeout);
DWORD StartAndWait(const wchar_t* name, std::chrono::milliseconds timeout);

}  // namespace testkit
