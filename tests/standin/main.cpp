// A stand-in for the Remote Desktop service, for the end-to-end cases: run by the service manager as
// TermService (its own process), it reads the port Remote Desktop reads, listens there and holds every
// connection, as the real service does, and stops within a moment when told. Wine's own TermService is
// a stub that listens nowhere, so without this nothing in the prefix shows what `--apply` does to a
// working server.
//
//   rdpport_standin.exe               listen on RDP-Tcp's PortNumber
//   rdpport_standin.exe --no-listen   only run (a dependent service, such as UmRdpService)
//
// When it cannot listen it stops with ERROR_SERVICE_SPECIFIC_ERROR and a code of its own: 1 when
// PortNumber is missing or no TCP port, otherwise the Winsock error of the failed bind or listen (10048
// when another program holds the port).

#include <winsock2.h>

#include <cwchar>
#include <optional>

#include "HoldingServer.h"

namespace {

constexpr DWORD kNoPortNumber = 1;
constexpr DWORD kPendingHintMs = 3000;
constexpr const wchar_t* kRdpTcpKey = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp";

// Shared by the service's thread and the control handler, which the dispatcher calls on its own thread:
// both only report a status and signal the event, and everything is set before the dispatcher starts.
struct Service {
    bool listen = true;
    HANDLE stop = nullptr;  // owned by wmain's Event
    SERVICE_STATUS_HANDLE status = nullptr;
    volatile LONG checkPoint = 0;
};
Service g_service;

void Report(DWORD state, DWORD ownExitCode = 0) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = ownExitCode ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
    status.dwServiceSpecificExitCode = ownExitCode;
    const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? static_cast<DWORD>(InterlockedIncrement(&g_service.checkPoint)) : 0;
    status.dwWaitHint = pending ? kPendingHintMs : 0;
    SetServiceStatus(g_service.status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_service.stop);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

std::optional<std::uint16_t> ConfiguredPort() {
    DWORD port = 0;
    DWORD size = sizeof(port);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kRdpTcpKey, L"PortNumber", RRF_RT_REG_DWORD, nullptr, &port, &size) !=
            ERROR_SUCCESS ||
        port == 0 || port > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

void WINAPI ServiceMain(DWORD argc, wchar_t** argv) {
    g_service.status = RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"", &Control, nullptr);
    if (!g_service.status) return;
    Report(SERVICE_START_PENDING);
    {
        standin::HoldingServer server;
        if (g_service.listen) {
            const std::optional<std::uint16_t> port = ConfiguredPort();
            if (!port) {
                Report(SERVICE_STOPPED, kNoPortNumber);
                return;
            }
            if (const int error = server.Listen(*port)) {
                Report(SERVICE_STOPPED, static_cast<DWORD>(error));
                return;
            }
        }
        Report(SERVICE_RUNNING);
        server.Serve(g_service.stop);
    }  // every socket is closed before the service says it has stopped, so the port is free by then
    Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_service.listen = !(argc > 1 && std::wcscmp(argv[1], L"--no-listen") == 0);
    WSADATA winsock{};
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return 1;
    const standin::Event stop;
    g_service.stop = stop.Get();
    // Its own process: the service manager ignores the name here (it must not be null).
    wchar_t anyName[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{anyName, &ServiceMain}, {nullptr, nullptr}};
    const int result = StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
    WSACleanup();
    return result;
}
