#pragma once
// rdpport.com as a script runs it: a child process with its standard output and error redirected to
// files, waited for, its bytes read back exactly as written. Plus what the console cases need of the
// registry: the keys' last-write times, and a snapshot that puts the three values back afterwards.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "driver/RemoteDesktopRegistry.h"

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

// Runs rdpport.com with the arguments and waits for it to end (it is ended after the timeout).
ConsoleOutcome RunConsoleProgram(const std::vector<std::wstring>& args,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Text from UTF-8 bytes; nothing when the bytes are not valid UTF-8.
std::optional<std::wstring> FromUtf8(const std::string& bytes);

// When the key was last written (RegQueryInfoKey); nothing when it cannot be opened.
std::optional<FILETIME> LastWriteTime(const std::wstring& keyPath);

// The port keys' and the deny flag's values as they were when the snapshot was taken, put back (or
// deleted again, when they were missing) by Restore and by the destructor.
class RemoteDesktopSnapshot {
public:
    RemoteDesktopSnapshot();
    ~RemoteDesktopSnapshot();
    RemoteDesktopSnapshot(const RemoteDesktopSnapshot&) = delete;
    RemoteDesktopSnapshot& operator=(const RemoteDesktopSnapshot&) = delete;

    LSTATUS Restore() const;  // the first failing status, 0 when all was put back

private:
    struct Saved {
        const wchar_t* key;
        const wchar_t* value;
        std::optional<StoredValue> stored;
    };
    std::vector<Saved> m_saved;
};

}  // namespace e2e
