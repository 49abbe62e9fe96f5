#include "settings/ListenerSwitch.h"

#include "settings/SettingsCore.h"

namespace settings {

std::optional<bool> ReadListenerEnabled(const RegistryApi& api) {
    const DwordReading read = ReadDwordValue(api, kRdpTcpKey, kListenerSwitchValue);
    if (!read.keyOpened) return std::nullopt;
    if (read.Missing()) return true;
    if (!read.number) return std::nullopt;
    return *read.number != 0;
}

}  // namespace settings
