#pragma once
// The Remote Desktop values themselves, read and written with the registry's own status codes and
// nothing else: no message box, no pending error, no locale. The windows' registry routines (RegTable)
// are built on it, and so are the lockout guard and the console program, which links no window code. Every call goes through the
// registry table (RegistryApi.h), so tests can record calls and make them fail.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "settings/RegistryApi.h"

namespace settings {

// Every key the windows open or create, and every key a write opens, asks for all key rights but
// delete, write-DAC and write-owner. Deliberate: it is what the tool has always asked for, so the
// windows' reads need write rights on the key too, and a read that fails for lack of them counts as
// unreadable.
inline constexpr REGSAM kKeyAccess = 0x2003F;
// Reading a value needs nothing more than the right to query it (RegOpenKeyEx).
inline constexpr REGSAM kReadAccess = KEY_QUERY_VALUE;
// A value of a type that is not read.
inline constexpr long kUnreadType = -1;
inline constexpr DWORD kReadBufferBytes = 1024;

inline constexpr const wchar_t* kRdpTcpKey = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp";
inline constexpr const wchar_t* kRdpwdTcpKey = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp";
inline constexpr const wchar_t* kTerminalServerKey = L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server";
// Group Policy's copy of the deny flag; when it holds a value, Windows ignores the local one.
inline constexpr const wchar_t* kPolicyKey = L"SOFTWARE\\Policies\\Microsoft\\Windows NT\\Terminal Services";
inline constexpr const wchar_t* kPortValue = L"PortNumber";
inline constexpr const wchar_t* kDenyValue = L"fDenyTSConnections";
// Network Level Authentication of the RDP-Tcp connection (under kRdpTcpKey): 1 requires it. Group
// Policy's value of the same name under kPolicyKey overrides it.
inline constexpr const wchar_t* kNlaValue = L"UserAuthentication";

// Nothing, a 32-bit signed integer, or a text.
using TypedValue = std::variant<std::monostate, std::int32_t, std::wstring>;
// "" for nothing, the decimal digits (leading "-" when negative) for a number, the text itself.
std::wstring TextForm(const TypedValue& value);

// ---- General routines ------------------------------------------------------------------------

struct DwordWrite {
    long keyStatus = ERROR_SUCCESS;    // of creating or opening the key
    long valueStatus = ERROR_SUCCESS;  // of the write, made only once the key is open
    bool KeyOpened() const { return keyStatus == ERROR_SUCCESS; }
    long Status() const { return keyStatus != ERROR_SUCCESS ? keyStatus : valueStatus; }
};
// Creates or opens the key (missing keys along the path are created) and writes a REG_DWORD.
[[nodiscard]] DwordWrite WriteDword(HKEY root, std::wstring_view keyPath, std::wstring_view valueName, std::uint32_t bits);

struct ValueText {
    long status = ERROR_SUCCESS;  // 0, the registry's code, or kUnreadType
    std::wstring text;            // "" unless status is 0
};
// Reads a value into a 1024-byte buffer: REG_SZ and REG_EXPAND_SZ (unexpanded) as their text,
// REG_DWORD as its decimal digits; other types give kUnreadType.
[[nodiscard]] ValueText ReadValueText(HKEY root, std::wstring_view keyPath, std::wstring_view valueName);

// Reads a REG_DWORD or REG_SZ value of a key the caller opened. The out value is written only when
// the read succeeds (or a string read fails, which empties it).
[[nodiscard]] long QueryValue(HKEY key, std::wstring_view valueName, TypedValue& out);

// A value read with its type kept, so "already set" can mean the exact REG_DWORD.
struct TypedReading {
    long status = ERROR_SUCCESS;  // 0, the registry's code, or kUnreadType
    TypedValue value;
    bool Ok() const { return status == ERROR_SUCCESS; }
    std::wstring Text() const { return TextForm(value); }
    // The number when the value is a REG_DWORD that was read.
    std::optional<std::int32_t> Number() const;
};
// Opens the key and reads the value, keeping the open's own status: a missing key reads as missing (2)
// rather than as a query on no key. Used by both programs wherever the type matters. The windows keep
// the rights they have always asked for (kKeyAccess); the console program reads with kReadAccess, so
// a user who is no administrator can still see the settings.
[[nodiscard]] TypedReading ReadTypedValue(std::wstring_view keyPath, std::wstring_view valueName,
                                          REGSAM access = kKeyAccess);

// ---- The Remote Desktop settings -------------------------------------------------------------

enum class PortKey { RdpTcp, RdpwdTcp };
std::wstring_view PathOf(PortKey key);

using PortReading = TypedReading;
// The port at one of the two keys (the first is the one Remote Desktop listens on). As the windows have
// always read it: a key that cannot be opened shows as the failing query on no key.
[[nodiscard]] PortReading ReadPort(PortKey key = PortKey::RdpTcp);

// Writes the port at one of the two keys as a REG_DWORD (creating the key when it is missing).
[[nodiscard]] long WritePortAt(PortKey key, std::int32_t port);

struct DenyReading {
    long status = ERROR_SUCCESS;
    std::wstring text;  // as read: "1" refuses connections
    // Only a flag that reads exactly "1" refuses: every failure to read counts as allowed.
    bool Allowed() const { return text != L"1"; }
};
[[nodiscard]] DenyReading ReadDenyFlag();
// 1 refuses connections, 0 allows them.
[[nodiscard]] long WriteDenyFlag(bool deny);

// The local Network Level Authentication value as stored, read with query rights only.
[[nodiscard]] TypedReading ReadNlaFlag();
// 1 requires Network Level Authentication, 0 does not.
[[nodiscard]] long WriteNlaFlag(bool require);

// A value read with query rights only through a registry table of the caller's (the key is closed
// through it too). Whatever its type, a value that is there is set.
struct DwordReading {
    long status = ERROR_FILE_NOT_FOUND;   // 0 when set; 2 when the key or the value is missing; else the failure
    bool keyOpened = false;               // the key was there to be read
    std::optional<std::uint32_t> number;  // when it is a REG_DWORD (four bytes)
    bool Set() const { return status == ERROR_SUCCESS; }
    bool Missing() const { return status == ERROR_FILE_NOT_FOUND; }
};
[[nodiscard]] DwordReading ReadDwordValue(const RegistryApi& api, std::wstring_view keyPath,
                                          std::wstring_view valueName);

// A Group Policy value under kPolicyKey: Windows decides by one that is set, not by the local value.
using PolicyReading = DwordReading;
[[nodiscard]] PolicyReading ReadPolicyValue(std::wstring_view valueName);
// The same read through a registry table of the caller's (the key is closed through it too).
[[nodiscard]] PolicyReading ReadPolicyValue(const RegistryApi& api, std::wstring_view valueName);

// The policy's deny flag when Group Policy sets one (a REG_DWORD under kPolicyKey); nothing when the
// key or the value is missing or is not a number. Read with query rights only.
std::optional<std::uint32_t> ReadPolicyDenyFlag();
// The same read through a registry table of the caller's (the key is closed through it too): the
// lockout guard reads with the real functions, so its checks never show among the commands' own calls.
std::optional<std::uint32_t> ReadPolicyDenyFlag(const RegistryApi& api);

}  // namespace settings
