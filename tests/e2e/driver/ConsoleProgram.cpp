#include "driver/ConsoleProgram.h"

#include <vector>

#include "driver/ProgramProcess.h"

namespace e2e {
namespace {

// CommandLineToArgvW's rules: backslashes are literal unless they come before a quote.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

class TempFile {
public:
    TempFile() {
        wchar_t folder[MAX_PATH] = {};
        wchar_t name[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"rdp", 0, name);
        m_path = name;
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        m_handle = CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~TempFile() {
        Close();
        DeleteFileW(m_path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    HANDLE Handle() const { return m_handle; }
    void Close() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }
    std::string Bytes() const {
        HANDLE file = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return {};
        std::string bytes;
        char chunk[4096];
        DWORD read = 0;
        while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) bytes.append(chunk, read);
        CloseHandle(file);
        return bytes;
    }

private:
    std::wstring m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace

std::wstring ConsoleProgramPath() {
    const std::string unixPath = EnvironmentVariable("RDPPORT_COM");
    return unixPath.empty() ? std::wstring() : WindowsPathOfUnixPath(unixPath);
}

std::wstring CommandLineOf(const std::wstring& program, const std::vector<std::wstring>& args) {
    std::wstring line = L"\"" + program + L"\"";
    for (const std::wstring& arg : args) line += L" " + Quoted(arg);
    return line;
}

struct ConsoleChild::Files {
    TempFile out;
    TempFile err;
};

ConsoleChild::ConsoleChild(const std::wstring& program, const std::vector<std::wstring>& args)
    : m_files(std::make_unique<Files>()) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = m_files->out.Handle();
    startup.hStdError = m_files->err.Handle();
    std::wstring line = CommandLineOf(program, args);
    if (program.empty() || !CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                           nullptr, nullptr, &startup, &m_process)) {
        m_startError = program.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
        m_process = {};
    }
}

ConsoleChild::~ConsoleChild() { (void)Finish(std::chrono::milliseconds(0)); }

ConsoleOutcome ConsoleChild::Finish(std::chrono::milliseconds timeout) {
    ConsoleOutcome outcome;
    outcome.startError = m_startError;
    if (!m_process.hProcess) return outcome;
    if (WaitForSingleObject(m_process.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(m_process.hProcess, &code)) outcome.exitCode = code;
    } else {
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, 5000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
    m_process = {};
    m_files->out.Close();
    m_files->err.Close();
    outcome.out = m_files->out.Bytes();
    outcome.err = m_files->err.Bytes();
    return outcome;
}

ConsoleOutcome RunConsoleProgram(const std::vector<std::wstring>& args, std::chrono::milliseconds timeout) {
    return ConsoleChild(ConsoleProgramPath(), args).Finish(timeout);
}

std::optional<std::wstring> FromUtf8(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int size = static_cast<int>(bytes.size());
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (wide == 0) return std::nullopt;
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), wide);
    return text;
}

}  // namespace e2e
