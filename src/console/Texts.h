#pragma once
// The console's own words (Simplified Chinese, like the windows) for what the commands report.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "console/Reports.h"
#include "guard/Guard.h"
#include "settings/SettingsCore.h"

namespace console {

// "WinStations\RDP-Tcp" and "Wds\rdpwd\Tds\tcp": the part of the path that tells the two keys apart.
std::wstring ShortKeyName(settings::PortKey key);
// The whole path, as "HKLM\SYSTEM\...".
std::wstring FullKeyName(settings::PortKey key);


std::wstring FirewallPortUnknownText();
std::wstring FirewallFailureText(std::uint16_t port, const guard::FirewallOpening& opening);
// What set-port did at each key, once a write failed.
std::wstring PortWriteFailureText(std::int32_t port, const std::vector<PortKeyWrite>& writes);

// set-port --apply: why the restart cannot be made (nothing written), why it failed after the write,
// and a service that runs again but is not seen listening on the port.
std::wstring RestartRefusedText(const guard::RestartPlan& plan);
std::wstring RestartFailureText(std::uint16_t port, const guard::RestartOutcome& outcome);
std::wstring NotListeningText(std::uint16_t port, const std::optional<std::vector<std::uint16_t>>& seen);
// What every --apply says before it restarts anything.
std::wstring RestartDropsConnectionsText();

// What `help` prints.
std::wstring UsageText();

}  // namespace console
