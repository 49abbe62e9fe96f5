#include "console/LocalSettings.h"

#include "base/DecimalText.h"

namespace console {

std::optional<std::uint32_t> StoredDword(const settings::TypedReading& read) {
    const std::optional<std::int32_t> number = read.Number();
    if (!number) return std::nullopt;
    return static_cast<std::uint32_t>(*number);
}

PortKeyState ReadPortKey(settings::PortKey which) {
    const settings::TypedReading read =
        settings::ReadTypedValue(settings::PathOf(which), settings::kPortValue, settings::kReadAccess);
    PortKeyState state;
    state.key = which;
    state.status = read.status;
    if (!read.Ok()) {
        state.error = FailureOf(read.status);
        return state;
    }
    const std::optional<std::uint32_t> number = StoredDword(read);
    state.isDword = number.has_value();
    state.value = number ? base::DecimalText64(*number) : read.Text();
    if (number && *number <= 65535) state.port = static_cast<std::uint16_t>(*number);
    return state;
}

settings::TypedReading ReadLocalDenyFlag() {
    return settings::ReadTypedValue(settings::kTerminalServerKey, settings::kDenyValue, settings::kReadAccess);
}

bool AllowedBy(const settings::TypedReading& denyFlag) {
    return settings::DenyReading{denyFlag.status, denyFlag.Text()}.Allowed();
}

bool IsReadFailure(long status) {
    return status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && status != settings::kUnreadType;
}

}  // namespace console
