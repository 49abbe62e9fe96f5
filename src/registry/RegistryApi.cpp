#include "registry/RegistryApi.h"

namespace RegTable {

RegistryApi RealRegistryApi() {
    return RegistryApi{&RegCreateKeyExA, &RegOpenKeyExA, &RegQueryValueExA, &RegSetValueExA, &RegCloseKey};
}

RegistryApi& Registry() {
    static RegistryApi api = RealRegistryApi();
    return api;
}

}  // namespace RegTable
