// Times rdpport.com set-port --apply against the stand-in Remote Desktop service (tests/standin), under
// Wine, next to the same change without --apply in the same rounds: the difference is what the restart
// and the wait for the new listener cost.
//
//   rdpport_bench_apply --com PATH --standin PATH --runs N
//
// For its run it makes TermService the stand-in (its binary path and type, ChangeServiceConfigW) and
// puts Wine's own back after. Each round runs `set-port 3390 --apply`, `set-port 3389 --apply`,
// `set-port 3390` and `set-port 3389` (--force: the stand-in holds the port being left), and checks each
// exits 0. One line per run: "sample apply|plain MS"; the exit code is 0 only when every run succeeded.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Service {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceW(manager, L"TermService", SERVICE_ALL_ACCESS) : nullptr;
    ~Service() {
        if (service) CloseServiceHandle(service);
        if (manager) CloseServiceHandle(manager);
    }
};

void StopAndWait(SC_HANDLE service) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
        Sleep(50);
}

bool StartAndWait(SC_HANDLE service) {
    StartServiceW(service, 0, nullptr);
    SERVICE_STATUS status{};
    for (int i = 0; i < 100 && QueryServiceStatus(service, &status); ++i) {
        if (status.dwCurrentState == SERVICE_RUNNING) return true;
        Sleep(50);
    }
    return false;
}

double RunMs(const std::wstring& com, const std::wstring& arguments, DWORD& exitCode) {
    std::wstring line = L"\"" + com + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        exitCode = GetLastError();
        return 0;
    }
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    QueryPerformanceCounter(&end);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring com, standIn;
    int runs = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--com") com = argv[i + 1];
        if (name == L"--standin") standIn = argv[i + 1];
        if (name == L"--runs") runs = static_cast<int>(std::wcstol(argv[i + 1], nullptr, 10));
    }
    if (com.empty() || standIn.empty() || runs < 1) {
        std::fprintf(stderr, "usage: rdpport_bench_apply --com PATH --standin PATH --runs N\n");
        return 2;
    }
    const Service termService;
    if (!termService.service) {
        std::printf("fail TermService cannot be opened (error %lu)\n", GetLastError());
        return 1;
    }
    // Wine's own entry, to put back exactly.
    DWORD needed = 0;
    QueryServiceConfigW(termService.service, nullptr, 0, &needed);
    std::wstring buffer(needed / sizeof(wchar_t) + 1, L'\0');
    auto* found = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(termService.service, found, needed, &needed)) {
        std::printf("fail TermService's configuration cannot be read (error %lu)\n", GetLastError());
        return 1;
    }
    const std::wstring wineBinary = found->lpBinaryPathName;
    const DWORD wineType = found->dwServiceType;
    StopAndWait(termService.service);
    const std::wstring standInLine = L"\"" + standIn + L"\"";
    bool ok = ChangeServiceConfigW(termService.service, SERVICE_WIN32_OWN_PROCESS, SERVICE_NO_CHANGE,
                                   SERVICE_NO_CHANGE, standInLine.c_str(), nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr) &&
              StartAndWait(termService.service);
    if (!ok) std::printf("fail the stand-in does not run as TermService (error %lu)\n", GetLastError());
    for (int round = 0; ok && round < runs; ++round) {
        for (const auto& [label, arguments] :
             {std::pair{"apply", L"set-port 3390 --apply --force"}, std::pair{"apply", L"set-port 3389 --apply --force"},
              std::pair{"plain", L"set-port 3390 --force"}, std::pair{"plain", L"set-port 3389 --force"}}) {
            DWORD exitCode = 0;
            const double ms = RunMs(com, arguments, exitCode);
            if (exitCode != 0) {
                std::printf("fail %s exit %lu: %ls\n", label, exitCode, arguments);
                ok = false;
                break;
            }
            std::printf("sample %s %.0f\n", label, ms);
        }
    }
    StopAndWait(termService.service);
    ChangeServiceConfigW(termService.service, wineType, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, wineBinary.c_str(),
                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    return ok ? 0 : 1;
}
