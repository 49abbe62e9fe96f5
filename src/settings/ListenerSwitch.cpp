#include "settings/ListenerSwitch.h"

#include <string>

#include "base/AnsiText.h"
#include "settings/SettingsCore.h"

namespace settings {

std::optional<bool> ReadListenerEnabled(const RegistryApi& api) {
    const std::string path = base::ToAnsi(kRdpTcpKey);
    ScopedKey key{KeyCloser{&api}};
    if (api.OpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS) {
        key.Release();  // a failed open hands back no key to close
        return std::nullopt;
    }
    const std::string name = base::ToAnsi(kListenerSwitchValue);
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG status = api.QueryValueEx(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return std::nullopt;
    return value != 0;
}

}  // namespace settings
