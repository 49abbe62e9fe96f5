#pragma once
// The Remote Desktop values as the console reports them, from the settings' typed read. Every read
// asks for the right to query values only: status then works for any user who may read the keys
// (monitoring agents, help desks), and a change still needs the rights its write asks for.

#include "console/Reports.h"
#include "settings/SettingsCore.h"

namespace console {

// A REG_DWORD as Windows stores it, unsigned (the settings' read keeps it as a signed 32-bit number);
// nothing when the value is not a REG_DWORD that was read.
std::optional<std::uint32_t> StoredDword(const settings::TypedReading& read);

PortKeyState ReadPortKey(settings::PortKey key);
settings::TypedReading ReadLocalDenyFlag();
// Connections are allowed by the flag as read, by the windows' own rule (only "1" refuses).
bool AllowedBy(const settings::TypedReading& denyFlag);

// Missing values and values of a type that is not read are reported as such; any other failure to read
// (access denied, above all) fails the command.
bool IsReadFailure(long status);

}  // namespace console
