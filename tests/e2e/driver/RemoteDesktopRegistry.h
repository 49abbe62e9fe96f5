#pragma once
// The three Remote Desktop values under HKEY_LOCAL_MACHINE, seeded and read by the driver itself
// (the driver runs in the same Wine prefix and wineserver as the program), and the two real registry
// failures the cases need: a key that refuses non-volatile children and a key nobody may open.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace e2e {

inline constexpr const wchar_t* kTerminalServerKey = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server";
inline constexpr const wchar_t* kRdpTcpKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp";
inline constexpr const wchar_t* kWdsKey = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds";
inline constexpr const wchar_t* kRdpwdTcpKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp";
inline constexpr const wchar_t* kPortValue = L"PortNumber";
inline constexpr const wchar_t* kDenyValue = L"fDenyTSConnections";

struct StoredValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    bool IsDword(DWORD expected) const;
};

// The value as stored (type and bytes), or nothing when the key or the value is missing.
std::optional<StoredValue> ReadStored(const std::wstring& keyPath, const std::wstring& valueName);

// Writes one REG_DWORD, creating the key; the Win32 status.
LSTATUS WriteDword(const std::wstring& keyPath, const std::wstring& valueName, DWORD value);

// Both port keys at `port` and the deny flag at `deny`, repairing what an interrupted earlier case may
// have left (a volatile Wds key, an empty DACL on the Terminal Server key). The Win32 status.
LSTATUS SeedRemoteDesktop(DWORD port, DWORD deny);

// Replaces the Wds key by a volatile one for the object's life: the program can then no longer create
// the non-volatile rdpwd\Tds\tcp key below it (ERROR_CHILD_MUST_BE_VOLATILE).
class ScopedVolatileWdsKey {
public:
    ScopedVolatileWdsKey();
    ~ScopedVolatileWdsKey();
    ScopedVolatileWdsKey(const ScopedVolatileWdsKey&) = delete;
    ScopedVolatileWdsKey& operator=(const ScopedVolatileWdsKey&) = delete;

    LSTATUS Status() const { return m_status; }

private:
    LSTATUS m_status = ERROR_SUCCESS;
};

// Puts an empty DACL on a key for the object's life, so every open of it is refused (access denied)
// while this wineserver runs; the key's owner can still reset the DACL, which the destructor does.
class ScopedEmptyDacl {
public:
    explicit ScopedEmptyDacl(std::wstring keyPath);
    ~ScopedEmptyDacl();
    ScopedEmptyDacl(const ScopedEmptyDacl&) = delete;
    ScopedEmptyDacl& operator=(const ScopedEmptyDacl&) = delete;

    DWORD Status() const { return m_status; }
    DWORD Restore();  // the Win32 status of putting the original DACL back

private:
    std::wstring m_keyPath;
    std::vector<BYTE> m_original;  // self-relative security descriptor holding the original DACL
    DWORD m_status = ERROR_SUCCESS;
    bool m_applied = false;
};

}  // namespace e2e
