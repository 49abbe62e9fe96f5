#pragma once
// The console's own words (Simplified Chinese, like the windows) for what the commands report.

#include <cstdint>
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

// What `help` prints.
std::wstring UsageText();

}  // namespace console
