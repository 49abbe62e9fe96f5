#include "driver/ProgramProcess.h"

#include <vector>

namespace e2e {

std::wstring WindowsPathOfUnixPath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (const char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

std::string EnvironmentVariable(const char* name) {
    const DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
    if (needed == 0) return {};
    std::vector<char> value(needed, '\0');
    return std::string(value.data(), GetEnvironmentVariableA(name, value.data(), needed));
}

std::wstring ProgramPath() {
    const std::string unixPath = EnvironmentVariable("RDPPORT_EXE");
    return unixPath.empty() ? std::wstring() : WindowsPathOfUnixPath(unixPath);
}

std::wstring StandInProgramPath() {
    const std::string unixPath = EnvironmentVariable("RDPPORT_STANDIN");
    return unixPath.empty() ? std::wstring() : WindowsPathOfUnixPath(unixPath);
}

ProgramProcess::~ProgramProcess() {
    Terminate();
    if (m_info.hThread) CloseHandle(m_info.hThread);
    if (m_info.hProcess) CloseHandle(m_info.hProcess);
}

bool ProgramProcess::Start(const std::wstring& exePath, DWORD& error) {
    std::wstring commandLine = L"\"" + exePath + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    // Under load Wine's own process creation now and then fails with ERROR_INTERNAL_ERROR before the
    // program has run at all; that says nothing about the program, so it is tried again (bounded).
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &m_info)) {
            error = ERROR_SUCCESS;
            return true;
        }
        error = GetLastError();
        m_info = {};
        if (error != ERROR_INTERNAL_ERROR || attempt == 3) return false;
        Sleep(200);
    }
}

bool ProgramProcess::Running() const {
    return m_info.hProcess && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ProgramProcess::WaitForExit(std::chrono::milliseconds timeout) const {
    if (!m_info.hProcess) return std::nullopt;
    if (WaitForSingleObject(m_info.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(m_info.hProcess, &code)) return std::nullopt;
    return code;
}

void ProgramProcess::Terminate() {
    if (!Running()) return;
    TerminateProcess(m_info.hProcess, 1);
    WaitForSingleObject(m_info.hProcess, 5000);
}

}  // namespace e2e
