#pragma once
// rdpport.com as a script runs it: a child process with its standard output and error redirected to
// files, waited for, its bytes read back exactly as written.

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// rdpport.com as ctest names it in RDPPORT_COM (a unix path); empty when the variable is not set.
std::wstring ConsoleProgramPath();

// The command line as the C runtime splits it back into these arguments (empty ones included).
std::wstring CommandLineOf(const std::wstring& program, const std::vector<std::wstring>& args);

struct ConsoleOutcome {
    std::optional<DWORD> exitCode;  // nothing when it could not be started or did not end in time
    DWORD startError = ERROR_SUCCESS;
    std::string out;  // the bytes written to standard output
    std::string err;  // the bytes written to standard error
};

// A console program started with its output redirected, left running until Finish (or the end of the
// object, which ends it): for a case that works with it while it runs.
class ConsoleChild {
public:
    ConsoleChild(const std::wstring& program, const std::vector<std::wstring>& args);
    ~ConsoleChild();
    ConsoleChild(const ConsoleChild&) = delete;
    ConsoleChild& operator=(const ConsoleChild&) = delete;

    // Waits for it to end (it is ended after the timeout) and gives what it wrote.
    ConsoleOutcome Finish(std::chrono::milliseconds timeout);

private:
    struct Files;
    std::unique_ptr<Files> m_files;
    PROCESS_INFORMATION m_process{};
    DWORD m_startError = ERROR_SUCCESS;
};

// Runs rdpport.com with the arguments and waits for it to end (it is ended after the timeout).
ConsoleOutcome RunConsoleProgram(const std::vector<std::wstring>& args,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Text from UTF-8 bytes; nothing when the bytes are not valid UTF-8.
std::optional<std::wstring> FromUtf8(const std::string& bytes);

}  // namespace e2e
