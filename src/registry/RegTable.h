#pragma once
// Registry access of the windows: three general routines over the ANSI registry functions, and the
// four Remote Desktop settings built on them, all on the settings core (SettingsCore.h) with the
// port text converted as the user's locale reads it. Only the port read talks to the user (a warning).

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>

#include "settings/SettingsCore.h"

namespace RegTable {

using settings::kKeyAccess;
using settings::kReadBufferBytes;
using settings::kUnreadType;
using settings::kDenyValue;
using settings::kPortValue;
using settings::kRdpTcpKey;
using settings::kRdpwdTcpKey;
using settings::kTerminalServerKey;
inline constexpr const wchar_t* kPortReadFailed = L"远程端口获取失败！";

using settings::TypedValue;
// "" for nothing, the decimal digits (leading "-" when negative) for a number, the text itself.
std::wstring TextForm(const TypedValue& value);

// Writes the value text, converted like a typed port, as a REG_DWORD; creates missing keys.
// An empty text is replaced by " " in the caller's variable. True when the key could be created or
// opened and the value was written.
[[nodiscard]] bool SetDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& valueText);

// The value as text (REG_SZ, REG_EXPAND_SZ unexpanded, REG_DWORD as decimal); "" when unreadable.
std::wstring GetValueText(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);

// Reads a REG_DWORD or REG_SZ value of a key the caller opened; returns the registry's status,
// or kUnreadType. The out value is written only when the read succeeds (or a string read fails).
[[nodiscard]] long QueryValueVariant(HKEY key, const std::wstring& valueName, TypedValue& out);

// The Remote Desktop listening port as decimal text; "" after a warning when it cannot be read.
std::wstring GetRemotePort();
// Writes the port at both port keys, the second also when the first failed; true when both succeeded.
[[nodiscard]] bool SetRemotePort(std::wstring& portText);
// False only when the deny flag reads exactly "1": every failure to read counts as allowed.
bool IsRemoteEnabled();
[[nodiscard]] bool SetRemoteEnabled(bool allow);

}  // namespace RegTable
