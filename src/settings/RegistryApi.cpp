#include "settings/RegistryApi.h"

namespace settings {

RegistryApi RealRegistryApi() {
    return RegistryApi{&RegCreateKeyExA, &RegOpenKeyExA, &RegQueryValueExA, &RegSetValueExA, &RegCloseKey};
}

RegistryApi& Registry() {
    static RegistryApi api = RealRegistryApi();
    return api;
}

}  // namespace settings
