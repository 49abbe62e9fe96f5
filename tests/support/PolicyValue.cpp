#include "support/PolicyValue.h"

namespace testkit {

ScopedPolicyFlag::ScopedPolicyFlag(DWORD deny) {
    // The outermost missing key along the path is the one to delete afterwards.
    const std::string path = kPolicyKey;
    for (size_t end = path.find('\\'); m_createdRoot.empty(); end = path.find('\\', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (!KeyExists(prefix)) m_createdRoot = prefix;
        if (end == std::string::npos) break;
    }
    if (m_createdRoot.empty()) m_before = ReadRaw(kPolicyKey, "fDenyTSConnections");
    WriteDword(kPolicyKey, "fDenyTSConnections", deny);
}

ScopedPolicyFlag::~ScopedPolicyFlag() {
    if (!m_createdRoot.empty()) {
        DeleteTree(m_createdRoot);
    } else if (m_before) {
        WriteRaw(kPolicyKey, "fDenyTSConnections", m_before->type, m_before->bytes);
    } else {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueA(key, "fDenyTSConnections");
        RegCloseKey(key);
    }
}

}  // namespace testkit
