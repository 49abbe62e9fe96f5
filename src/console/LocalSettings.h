#pragma once
// The Remote Desktop values as the console reads them: through the settings core's registry table and
// its value reader, keeping the open's own status, so a missing key reads as missing (2) rather than as
// a query on no key, and keeping the value's type, so "already set" means the exact REG_DWORD.

#include <cstdint>
#include <optional>
#include <string_view>

#include "console/Reports.h"
#include "registry/SettingsCore.h"

namespace console {

struct LocalValue {
    long status = ERROR_SUCCESS;
    settings::TypedValue value;
    bool Ok() const { return status == ERROR_SUCCESS; }
    // The REG_DWORD's number, when that is what was read.
    std::optional<std::int32_t> Number() const;
};

LocalValue ReadLocalValue(std::wstring_view keyPath, std::wstring_view valueName);

PortKeyState ReadPortKey(settings::PortKey key);
LocalValue ReadLocalDenyFlag();
// Connections are allowed by the flag as read, by the windows' own rule (only "1" refuses).
bool AllowedBy(const LocalValue& denyFlag);

// Missing values and values of a type that is not read are reported as such; any other failure to read
// (access denied, above all) fails the command.
bool IsReadFailure(long status);

}  // namespace console
