#pragma once
// The RDP-Tcp connection's own switch, fEnableWinStation: with 0 Windows starts no listener for it, so
// Remote Desktop listens on no port whatever the port and the deny flag say. Win32_Terminal's
// fEnableTerminal reports it (0 disabled, 1 enabled: https://learn.microsoft.com/windows/win32/termserv/win32-terminal),
// and Microsoft's RDP troubleshooting reads it the same way ("If the command returns 0, the RDP listener is
// disabled": https://learn.microsoft.com/troubleshoot/azure/virtual-machines/troubleshoot-rdp-general-error).

#include <optional>

#include "settings/RegistryApi.h"

namespace settings {

inline constexpr const wchar_t* kListenerSwitchValue = L"fEnableWinStation";

// Whether the RDP-Tcp connection is switched on: false for a REG_DWORD 0, true for any other number.
// A missing value reads as on: Windows ships it as 1, and no page documents a missing value as off, so
// the guard does not claim a lockout it cannot show. Nothing when the key cannot be opened or the value
// is of another type. Read with query rights only, through the caller's registry table.
std::optional<bool> ReadListenerEnabled(const RegistryApi& api);

}  // namespace settings
