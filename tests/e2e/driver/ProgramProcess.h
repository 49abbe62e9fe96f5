#pragma once
// The program under test as a child process. The destructor ends it if it is still running, so a
// failed case never leaves a window behind for the next one.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

namespace e2e {

// "Z:" + the unix path with "/" turned into "\": how Wine's Z: drive maps the root file system.
std::wstring WindowsPathOfUnixPath(const std::string& unixPath);

// An environment variable that ctest sets; empty when it is not set.
std::string EnvironmentVariable(const char* name);

// rdpport.exe as ctest names it in RDPPORT_EXE (a unix path); empty when the variable is not set.
std::wstring ProgramPath();

// The stand-in Remote Desktop service (tests/standin) as ctest names it in RDPPORT_STANDIN (a unix
// path); empty when the variable is not set.
std::wstring StandInProgramPath();

class ProgramProcess {
public:
    ProgramProcess() = default;
    ~ProgramProcess();
    ProgramProcess(const ProgramProcess&) = delete;
    ProgramProcess& operator=(const ProgramProcess&) = delete;

    // Starts the program; false (with the Win32 error in `error`) when CreateProcessW fails.
    bool Start(const std::wstring& exePath, DWORD& error);

    DWORD Id() const { return m_info.dwProcessId; }
    bool Running() const;
    // The exit code once the process has ended within the timeout.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout) const;
    void Terminate();

private:
    PROCESS_INFORMATION m_info{};
};

}  // namespace e2e
