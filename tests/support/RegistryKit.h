#pragma once
// Helpers that work on Wine's real registry directly (not through the program's registry table):
// seeding and reading raw values, making real failures, and recording the program's registry calls.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/RegistryApi.h"

namespace testkit {

inline constexpr const char* kTestRoot = "SOFTWARE\\RdpPortTests";
inline constexpr const char* kTerminalServer = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server";
inline constexpr const char* kRdpTcp = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp";
inline constexpr const char* kRdpwdTcp = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp";

struct RawValue {
    DWORD type;
    std::vector<BYTE> bytes;
};

void WriteRaw(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& bytes);
void WriteDword(const std::string& path, const std::string& name, DWORD value);
void WriteString(const std::string& path, const std::string& name, const std::string& text, DWORD type = REG_SZ);
std::optional<RawValue> ReadRaw(const std::string& path, const std::string& name);
std::optional<DWORD> ReadDword(const std::string& path, const std::string& name);
bool KeyExists(const std::string& path);
std::string KeyClass(const std::string& path);
void DeleteTree(const std::string& path);

// The Remote Desktop values as a server holds them: both port keys and the deny flag.
void SeedRemoteDesktop(DWORD port, DWORD deny);

// Makes a key unopenable (access denied, 5) for as long as the object lives and this wineserver runs.
class ScopedEmptyDacl {
public:
    explicit ScopedEmptyDacl(const std::string& path);
    ~ScopedEmptyDacl();
    ScopedEmptyDacl(const ScopedEmptyDacl&) = delete;
    ScopedEmptyDacl& operator=(const ScopedEmptyDacl&) = delete;

private:
    std::string m_path;
    std::vector<BYTE> m_original;  // self-relative descriptor with the original DACL
};

// Replaces a key by a volatile one: a non-volatile key below it cannot be created (1021).
class ScopedVolatileKey {
public:
    explicit ScopedVolatileKey(const std::string& path);
    ~ScopedVolatileKey();
    ScopedVolatileKey(const ScopedVolatileKey&) = delete;
    ScopedVolatileKey& operator=(const ScopedVolatileKey&) = delete;

private:
    std::string m_path;
};

// One call the program made through its registry table.
struct RegCall {
    std::string function;  // "Create", "Open", "Query", "Set", "Close"
    HKEY key = nullptr;    // the key used, or for Create/Open the key obtained
    HKEY root = nullptr;   // Create/Open: the key the path starts from
    std::string path;      // sub-key path for Create/Open, value name for Query/Set
    DWORD reserved = 0;
    std::string keyClass;
    DWORD options = 0;
    REGSAM access = 0;
    bool hasAttributes = false;
    SECURITY_ATTRIBUTES attributes{};
    bool hasData = false;
    DWORD size = 0;
    DWORD type = 0;
    std::vector<BYTE> data;
    LONG status = 0;
};

// Records every registry call and forwards it to the real registry, unless `fail` returns a status
// other than 0 for it: then that status is returned and nothing reaches the registry.
class RegistryRecorder {
public:
    RegistryRecorder();
    ~RegistryRecorder();
    RegistryRecorder(const RegistryRecorder&) = delete;
    RegistryRecorder& operator=(const RegistryRecorder&) = delete;

    std::function<LONG(const RegCall&)> fail;
    // Replaces the answer of a forwarded query (type and size), after the real call.
    std::function<void(RegCall&, LPDWORD type, LPDWORD size)> alterQuery;
    std::vector<RegCall> calls;

    std::vector<RegCall> Of(const std::string& function) const;
    int OpenedKeys() const;  // successful creates and opens
    int ClosedKeys() const;

private:
    settings::RegistryApi m_real;
};

}  // namespace testkit
