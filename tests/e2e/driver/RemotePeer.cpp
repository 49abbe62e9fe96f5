#include "driver/RemotePeer.h"

#include <windows.h>

#include "driver/ProgramProcess.h"
#include "driver/Wait.h"

namespace e2e {
namespace {

// The script's own bound (5 s for a connection) and a margin for starting it under a busy Wine.
constexpr auto kScriptTimeout = 15s;

class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle) : m_handle(handle) {}
    ~KernelHandle() {
        if (m_handle && m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string ReadSmallFile(const std::wstring& path) {
    const KernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[512];
    DWORD read = 0;
    if (file.Get() == INVALID_HANDLE_VALUE || !ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr)) return {};
    std::string text(buffer, read);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::string RemotePeer::Run(const std::wstring& arguments) {
    const std::string script = EnvironmentVariable("RDPPORT_PEER_SCRIPT");
    if (script.empty()) return "failed RDPPORT_PEER_SCRIPT is not set";
    // Wine's process ids are small and repeat across prefixes: the time keeps two runs apart.
    const std::string statusFile = "/tmp/rdpport-peer-" + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(GetTickCount64()) + ".status";
    const std::wstring statusPath = WindowsPathOfUnixPath(statusFile);
    DeleteFileW(statusPath.c_str());
    std::wstring line = L"/bin/bash " + Wide(script) + L" " + Wide(statusFile) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return "failed cannot start peer.sh: error " + std::to_string(GetLastError());
    const KernelHandle process(info.hProcess);
    const KernelHandle thread(info.hThread);
    std::string status;
    WaitUntil([&] { return !(status = ReadSmallFile(statusPath)).empty(); }, kScriptTimeout, 20ms);
    DeleteFileW(statusPath.c_str());
    return status.empty() ? "failed peer.sh gave no answer" : status;
}

RemotePeer::State RemotePeer::Up() {
    const std::string status = Run(L"up");
    m_why = status;
    m_state = status == "ok" ? State::Up : StartsWith(status, "skip") ? State::Unavailable : State::Failed;
    return m_state;
}

void RemotePeer::Down() {
    // A failed start may have left half a pair: that is removed too.
    if (m_state == State::Up || m_state == State::Failed) Run(L"down");
    m_state = State::Down;
}

bool RemotePeer::Connect(std::uint16_t port, int seconds) {
    const std::string status = Run(L"connect " + std::to_wstring(port) + L" " + std::to_wstring(seconds));
    if (status != "ok") m_why = status;
    return status == "ok";
}

}  // namespace e2e
