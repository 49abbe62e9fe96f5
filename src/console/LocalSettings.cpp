#include "console/LocalSettings.h"

#include "base/AnsiText.h"
#include "registry/RegistryApi.h"

namespace console {

std::optional<std::int32_t> LocalValue::Number() const {
    if (!Ok()) return std::nullopt;
    if (const auto* number = std::get_if<std::int32_t>(&value)) return *number;
    return std::nullopt;
}

LocalValue ReadLocalValue(std::wstring_view keyPath, std::wstring_view valueName) {
    LocalValue read;
    const std::string path = base::ToAnsi(keyPath);
    RegTable::ScopedKey key;
    // The rights the tool has always asked for (settings::kKeyAccess), so the console reads exactly
    // what the window can read.
    read.status = RegTable::Registry().OpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, settings::kKeyAccess, key.Put());
    if (read.status == ERROR_SUCCESS) read.status = settings::QueryValue(key.Get(), valueName, read.value);
    return read;
}

PortKeyState ReadPortKey(settings::PortKey which) {
    const LocalValue read = ReadLocalValue(settings::PathOf(which), settings::kPortValue);
    PortKeyState state;
    state.key = which;
    state.status = read.status;
    if (!read.Ok()) {
        state.error = FailureOf(read.status);
        return state;
    }
    state.value = settings::TextForm(read.value);
    state.isDword = read.Number().has_value();
    if (const std::optional<std::int32_t> number = read.Number(); number && *number >= 0 && *number <= 65535)
        state.port = static_cast<std::uint16_t>(*number);
    return state;
}

LocalValue ReadLocalDenyFlag() { return ReadLocalValue(settings::kTerminalServerKey, settings::kDenyValue); }

bool AllowedBy(const LocalValue& denyFlag) {
    return settings::DenyReading{denyFlag.status, settings::TextForm(denyFlag.value)}.Allowed();
}

bool IsReadFailure(long status) {
    return status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != settings::kUnreadType;
}

}  // namespace console
