#pragma once
// Wine's real registry, worked directly (never through the program's registry table) by both test
// programs: the in-process tests and the end-to-end driver run in the same prefix and wineserver as
// the program. Seeding and reading raw values, and the real failures the cases need: a key nobody may
// open, a key that refuses non-volatile children, Group Policy's flag for one scope.
//
// Paths are under HKEY_LOCAL_MACHINE and in ANSI, as the program names them to the registry. The key
// paths are written out here as Windows names them, not taken from the program, so a wrong path in
// the program fails the tests instead of being shared by them.
//
// Whatever the kit is asked to do and cannot do is reported to the running test (key, value, Win32
// status); the status is returned as well, so a case can stop at once.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace testkit {

inline constexpr const char* kTerminalServer = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server";
inline constexpr const char* kRdpTcp = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp";
inline constexpr const char* kWds = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds";
inline constexpr const char* kRdpwdTcp = "SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp";
// Group Policy's copy of the deny flag, which overrides the local one.
inline constexpr const char* kPolicyKey = "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Terminal Services";
inline constexpr const char* kPortValue = "PortNumber";
inline constexpr const char* kDenyValue = "fDenyTSConnections";
// Network Level Authentication: 1 requires it. Under kRdpTcp locally; under kPolicyKey, Group Policy's.
inline constexpr const char* kNlaValue = "UserAuthentication";
// The RDP-Tcp connection's own switch: 0 leaves Remote Desktop without a listener.
inline constexpr const char* kListenerSwitchValue = "fEnableWinStation";
// Scratch keys of the registry routines' own tests.
inline constexpr const char* kTestRoot = "SOFTWARE\\RdpPortTests";

struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;

    bool IsDword(DWORD expected) const;
};

// Writes one value, creating the key (and missing keys along the path).
LSTATUS WriteRaw(const std::string& path, const std::string& name, DWORD type, const std::vector<BYTE>& bytes);
LSTATUS WriteDword(const std::string& path, const std::string& name, DWORD value);
LSTATUS WriteString(const std::string& path, const std::string& name, const std::string& text, DWORD type = REG_SZ);
LSTATUS DeleteValue(const std::string& path, const std::string& name);

// The value as stored (type and bytes), or nothing when the key or the value is missing.
std::optional<RawValue> ReadRaw(const std::string& path, const std::string& name);
// The value when it is a REG_DWORD.
std::optional<DWORD> ReadDword(const std::string& path, const std::string& name);
bool KeyExists(const std::string& path);
std::string KeyClass(const std::string& path);  // "<missing>" when the key cannot be opened
// When the key was last written; nothing when it cannot be opened.
std::optional<FILETIME> LastWriteTime(const std::string& path);
// Deletes the key with everything below it; a missing key is no failure.
void DeleteTree(const std::string& path);

// The value is a REG_DWORD holding `expected`; the failure says what is there instead.
testing::AssertionResult DwordAt(const std::string& path, const std::string& name, DWORD expected);
// Both port keys hold `port` as a REG_DWORD.
testing::AssertionResult BothPortKeysHold(DWORD port);

// The Remote Desktop values as a server holds them: both port keys at `port`, the deny flag at
// `deny`. Repairs first what an interrupted earlier case may have left behind (a key with an empty
// DACL, a volatile Wds key).
LSTATUS SeedRemoteDesktop(DWORD port, DWORD deny);

// The two port values, the deny flag and the local NLA value as they were when taken, put back (or
// deleted again when they were missing) by Restore and by the destructor.
class RemoteDesktopSnapshot {
public:
    RemoteDesktopSnapshot();
    ~RemoteDesktopSnapshot();
    RemoteDesktopSnapshot(const RemoteDesktopSnapshot&) = delete;
    RemoteDesktopSnapshot& operator=(const RemoteDesktopSnapshot&) = delete;

    LSTATUS Restore() const;  // the first failing status, 0 when all was put back

private:
    struct Saved {
        const char* path;
        const char* name;
        std::optional<RawValue> value;
    };
    std::vector<Saved> m_saved;
};

// Replaces the DACL of an existing key for the object's life (Wine enforces it while this wineserver
// runs); the key's owner can still reset the DACL, which Restore and the destructor do.
class ScopedDacl {
public:
    ~ScopedDacl();
    ScopedDacl(const ScopedDacl&) = delete;
    ScopedDacl& operator=(const ScopedDacl&) = delete;

    DWORD Status() const { return m_status; }  // of putting the new DACL on
    DWORD Restore();                           // of putting the original DACL back

protected:
    ScopedDacl(std::string path, const ACL* dacl);

private:
    std::string m_path;
    std::vector<BYTE> m_original;  // self-relative security descriptor holding the original DACL
    DWORD m_status = ERROR_SUCCESS;
    bool m_applied = false;
};

// An empty DACL: every open of the key is refused (access denied, 5).
class ScopedEmptyDacl : public ScopedDacl {
public:
    explicit ScopedEmptyDacl(std::string path);
};

// A DACL that grants everyone KEY_READ and nothing else, as a user who is no administrator meets the
// Remote Desktop keys: opening for reading works, opening with any write right is refused (5).
class ScopedReadOnlyDacl : public ScopedDacl {
public:
    explicit ScopedReadOnlyDacl(std::string path);
};

// Replaces a key by a volatile one for the object's life: no non-volatile key can then be created
// below it (ERROR_CHILD_MUST_BE_VOLATILE, 1021). The key is deleted again afterwards.
class ScopedVolatileKey {
public:
    explicit ScopedVolatileKey(std::string path);
    ~ScopedVolatileKey();
    ScopedVolatileKey(const ScopedVolatileKey&) = delete;
    ScopedVolatileKey& operator=(const ScopedVolatileKey&) = delete;

    LSTATUS Status() const { return m_status; }

private:
    std::string m_path;
    LSTATUS m_status = ERROR_SUCCESS;
};

// One value for one scope: written as given, or deleted when given nothing; put back as it was found
// (or deleted again) after, also when the case fails on the way.
class ScopedValue {
public:
    ScopedValue(std::string path, std::string name, const std::optional<RawValue>& value);
    ~ScopedValue();
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

    LSTATUS Status() const { return m_status; }

private:
    std::string m_path;
    std::string m_name;
    std::optional<RawValue> m_before;
    LSTATUS m_status = ERROR_SUCCESS;
};

// One Group Policy value (under kPolicyKey) for one scope. The registry is left as it was found: the
// keys the scope had to create are deleted again, a value that was there is put back.
class ScopedPolicyValue {
public:
    ScopedPolicyValue(std::string name, const RawValue& value);
    ~ScopedPolicyValue();
    ScopedPolicyValue(const ScopedPolicyValue&) = delete;
    ScopedPolicyValue& operator=(const ScopedPolicyValue&) = delete;

    LSTATUS Status() const { return m_status; }

private:
    std::string m_name;
    std::string m_createdRoot;         // the outermost key this scope created, empty when none
    std::optional<RawValue> m_before;  // the value as it was, when the key was there
    LSTATUS m_status = ERROR_SUCCESS;
};

// Group Policy's deny flag as a REG_DWORD for one scope.
class ScopedPolicyFlag : public ScopedPolicyValue {
public:
    explicit ScopedPolicyFlag(DWORD deny);
};

// A REG_DWORD as stored.
RawValue DwordValue(DWORD value);
// A REG_SZ (with its terminating zero) as stored.
RawValue StringValue(const std::string& text);

bool PolicyKeyExists();
// Deletes the policy key with its values: nothing but the tests writes it in the test prefix, so one
// that is there was left by a case that could not clean up (its program was killed).
void RemoveLeftoverPolicyKey();

}  // namespace testkit
